#!/usr/bin/env python3
"""Writes the desktop icons from the window icon's drawing (resources/make_pictures.py),
so they can be rebuilt exactly:

  icons/quorvel.svg      the drawing as vector rectangles on its 32 x 32 grid
  icons/quorvel-48.png   48 x 48 RGBA, each pixel the average of 8 x 8 samples
  icons/quorvel-128.png  128 x 128 RGBA, the same

Run from anywhere: python3 packaging/make_icons.py
"""
import importlib.util
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PICTURES = os.path.join(HERE, "..", "resources", "make_pictures.py")


def load_pictures():
    pictures_source = importlib.util.spec_from_file_location("make_pictures", PICTURES)
    module = importlib.util.module_from_spec(pictures_source)
    pictures_source.loader.exec_module(module)
    return module


def runs(img):
    """Horizontal runs of one colour: (x, y, length, colour index)."""
    for y, row in enumerate(img):
        x = 0
        while x < len(row):
            colour = row[x]
            end = x
            while end < len(row) and row[end] == colour:
                end += 1
            if colour is not None:
                yield x, y, end - x, colour
            x = end


def write_svg(path, img, palette):
    size = len(img)
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d"'
        ' shape-rendering="crispEdges">' % (size * 4, size * 4, size, size),
        "<title>Quorvel Notes</title>",
    ]
    for x, y, length, colour in runs(img):
        r, g, b = palette[colour]
        lines.append('<rect x="%d" y="%d" width="%d" height="1" fill="#%02x%02x%02x"/>' % (x, y, length, r, g, b))
    lines.append("</svg>")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(path, img, palette, size, samples=8):
    grid = len(img)
    rows = bytearray()
    for py in range(size):
        rows.append(0)  # no filter
        for px in range(size):
            red = green = blue = alpha = 0
            for sy in range(samples):
                gy = ((py * samples + sy + 0.5) * grid) // (size * samples)
                for sx in range(samples):
                    gx = ((px * samples + sx + 0.5) * grid) // (size * samples)
                    colour = img[int(gy)][int(gx)]
                    if colour is None:
                        continue
                    r, g, b = palette[colour]
                    red += r
                    green += g
                    blue += b
                    alpha += 1
            if alpha:
                rows += bytes((red // alpha, green // alpha, blue // alpha, alpha * 255 // (samples * samples)))
            else:
                rows += bytes(4)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    with open(path, "wb") as f:
        f.write(data + chunk(b"IEND", b""))


if __name__ == "__main__":
    pictures = load_pictures()
    image = pictures.draw_icon()
    folder = os.path.join(HERE, "icons")
    os.makedirs(folder, exist_ok=True)
    write_svg(os.path.join(folder, "quorvel.svg"), image, pictures.PALETTE16)
    for pixels in (48, 128):
        write_png(os.path.join(folder, "quorvel-%d.png" % pixels), image, pictures.PALETTE16, pixels)
