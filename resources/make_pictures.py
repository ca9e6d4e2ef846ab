#!/usr/bin/env python3
"""Writes the program's two pictures byte by byte, so they can be rebuilt exactly:

  Credits.bmp  31 x 29, 24 bits per pixel, bottom-up rows padded to 4 bytes: a small
               portrait on pure green (the green is the button's transparent colour).
  Quorvel.ico  32 x 32, 16 colours (4 bits per pixel) with a 1-bit mask: a notebook
               with an outline on its page.

Run from anywhere: python3 resources/make_pictures.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Portrait: G green (transparent), K black, W white, R grey 127, M magenta.
PORTRAIT = [
    "GGGGGGGGGGGGGGGGGGGGGGGGGGGGGGG",
    "GGGGGGGGGGGKKKKKKKKKGGGGGGGGGGG",
    "GGGGGGGGGKKKKKKKKKKKKKGGGGGGGGG",
    "GGGGGGGGKKKKKKKKKKKKKKKGGGGGGGG",
    "GGGGGGGKKKKKKKKKKKKKKKKKGGGGGGG",
    "GGGGGGGKKKKWWWWWWWWWKKKKGGGGGGG",
    "GGGGGGKKKWWWWWWWWWWWWWKKKGGGGGG",
    "GGGGGGKKWWWWWWWWWWWWWWWKKGGGGGG",
    "GGGGGGKWWWKKKWWWWWKKKWWWKGGGGGG",
    "GGGGGGKWWWWWWWWWWWWWWWWWKGGGGGG",
    "GGGGGGKWWWWKKWWWWWKKWWWWKGGGGGG",
    "GGGGGKWWWWWKKWWWWWKKWWWWWKGGGGG",
    "GGGGGKWWWWWWWWWRWWWWWWWWWKGGGGG",
    "GGGGGGKWMMWWWWWRWWWWWMMWKGGGGGG",
    "GGGGGGKWWWWWWWWWWWWWWWWWKGGGGGG",
    "GGGGGGGKWWWWWMMMMMWWWWWKGGGGGGG",
    "GGGGGGGKWWWWWWWWWWWWWWWKGGGGGGG",
    "GGGGGGGGKWWWWWWWWWWWWWKGGGGGGGG",
    "GGGGGGGGGKKWWWWWWWWWKKGGGGGGGGG",
    "GGGGGGGGGGGKKWWWWWKKGGGGGGGGGGG",
    "GGGGGGGGGGGGKWWWWWKGGGGGGGGGGGG",
    "GGGGGGGKKKKKKWWWWWKKKKKKGGGGGGG",
    "GGGGGKKRRRRRKKWWWKKRRRRRKKGGGGG",
    "GGGGKRRRRRRRRKKWKKRRRRRRRRKGGGG",
    "GGGKRRRRRRRRRRKKKRRRRRRRRRRKGGG",
    "GGKRRRRRRRRRRRRKRRRRRRRRRRRRKGG",
    "GKRRRRRRRRRRRRRKRRRRRRRRRRRRRKG",
    "GKRRRRRRRRRRRRRKRRRRRRRRRRRRRKG",
    "GKRRRRRRRRRRRRRKRRRRRRRRRRRRRKG",
]
PORTRAIT_COLOURS = {  # (R, G, B)
    "G": (0, 255, 0),
    "K": (0, 0, 0),
    "W": (255, 255, 255),
    "R": (127, 127, 127),
    "M": (255, 0, 255),
}


def write_bmp(path):
    height = len(PORTRAIT)
    width = len(PORTRAIT[0])
    assert (width, height) == (31, 29)
    assert all(len(row) == width for row in PORTRAIT)
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(PORTRAIT):  # bottom-up
        line = bytearray()
        for ch in row:
            r, g, b = PORTRAIT_COLOURS[ch]
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    assert len(pixels) == 2784
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


# The 16 standard colours, by index.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, NAVY, SILVER, GREY, RED, BLUE, FUCHSIA, WHITE = 0, 4, 7, 8, 9, 12, 13, 15
CLEAR = None


def draw_icon():
    size = 32
    img = [[CLEAR] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):  # inclusive corners
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = colour

    def frame(x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            img[y0][x] = img[y1][x] = colour
        for y in range(y0, y1 + 1):
            img[y][x0] = img[y][x1] = colour

    # The page and the cover's spine on its left.
    fill(7, 2, 28, 29, WHITE)
    frame(7, 2, 28, 29, BLACK)
    fill(3, 2, 8, 29, NAVY)
    frame(3, 2, 8, 29, BLACK)
    # Rings through the spine.
    for y in range(5, 29, 4):
        fill(5, y, 10, y, SILVER)
        img[y][10] = GREY
    # An outline: (row, level, colour) with a text line after each item.
    items = [(6, 0, RED), (11, 1, BLUE), (15, 1, BLUE), (19, 2, FUCHSIA), (24, 0, RED)]
    for y, level, colour in items:
        x = 12 + 4 * level
        fill(x, y - 1, x + 2, y + 1, colour)
        fill(x + 4, y, 26, y, GREY)
    # Connectors from each parent down to its children.
    fill(13, 8, 13, 15, SILVER)
    fill(14, 11, 15, 11, SILVER)
    fill(14, 15, 15, 15, SILVER)
    fill(17, 17, 17, 19, SILVER)
    fill(18, 19, 19, 19, SILVER)
    # A bookmark ribbon standing out above the page.
    fill(23, 0, 25, 6, RED)
    img[6][24] = WHITE  # the ribbon's notch
    return img


def write_ico(path):
    img = draw_icon()
    size = len(img)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(img):  # bottom-up
        line = bytearray()
        for x in range(0, size, 2):
            a = row[x] if row[x] is not None else 0
            b = row[x + 1] if row[x + 1] is not None else 0
            line.append((a << 4) | b)
        xor += line
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        mask += struct.pack(">I", bits)
    assert len(xor) == 512 and len(mask) == 128
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE16)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = info + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    write_bmp(os.path.join(HERE, "Credits.bmp"))
    write_ico(os.path.join(HERE, "Quorvel.ico"))
