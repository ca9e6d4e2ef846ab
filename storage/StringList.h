#pragma once
// An entry's body: an ordered list of byte-string lines, and its text form (every line
// followed by CR LF).
//
// A million bodies stay in memory at once, so the list keeps one heap block: the end
// offset of every line, then all lines' bytes back to back.
#include "ByteString.h"

#include <cstddef>
#include <cstdint>

class TStringList {
public:
    TStringList() noexcept = default;
    TStringList(const TStringList& Other);
    TStringList(TStringList&& Other) noexcept;
    TStringList& operator=(const TStringList& Other);
    TStringList& operator=(TStringList&& Other) noexcept;
    ~TStringList();

    // Removes every line and releases the storage.
    void Clear() noexcept;
    // Appends Line (any bytes). Throws EOutOfMemory; the list is then unchanged.
    void Add(TByteView Line);
    int Count() const noexcept { return static_cast<int>(FCount); }
    // The line at Index, 0 <= Index < Count(). Valid until the list next changes.
    TByteView Strings(int Index) const noexcept;
    TByteView operator[](int Index) const noexcept { return Strings(Index); }
    // Length of the text form: every line's length plus 2.
    std::size_t TextLength() const noexcept { return std::size_t{FSize} + 2 * std::size_t{FCount}; }
    // Bytes of storage held, used or not.
    std::size_t Capacity() const noexcept { return std::size_t{FLineCap} * sizeof(std::uint32_t) + FByteCap; }
    // Makes room for Lines lines holding Bytes bytes in all. Throws EOutOfMemory.
    void Reserve(std::size_t Lines, std::size_t Bytes);
    // Drops unused capacity. Throws EOutOfMemory.
    void ShrinkToFit();

    friend bool operator==(const TStringList& A, const TStringList& B) noexcept;

private:
    char* Bytes() const noexcept { return reinterpret_cast<char*>(FBlock + FLineCap); }
    // Moves the contents to a block of the given capacities; returns the old block.
    std::uint32_t* Grow(std::size_t Lines, std::size_t Bytes);

    std::uint32_t* FBlock = nullptr; // FLineCap end offsets, then FByteCap bytes
    std::uint32_t FCount = 0;
    std::uint32_t FLineCap = 0;
    std::uint32_t FSize = 0;
    std::uint32_t FByteCap = 0;
};

// The text form of Lines: each line then 0D 0A; empty for no lines. Throws EOutOfMemory.
TByteString LinesToText(const TStringList& Lines);

// Replaces Lines by the lines of Text. CR LF, a lone CR and a lone LF each end a line; a
// line end at the very end adds no empty line; the first NUL ends the text. Throws
// EOutOfMemory, leaving the lines appended so far.
void TextToLines(TStringList& Lines, TByteView Text);
