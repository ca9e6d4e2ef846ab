#pragma once
// An entry's body: an ordered list of byte-string lines, and its text form (every line
// followed by CR LF).
//
// A million bodies stay in memory at once, so the list keeps one block: the end offset of
// every line, then all lines' bytes back to back. A list filled by TLineArena keeps that
// block inside a larger one shared with other lists; it behaves the same, and takes a
// block of its own the first time it changes.
#include "ByteString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TLineArena;

class TStringList {
public:
    TStringList() noexcept = default;
    TStringList(const TStringList& Other);
    TStringList(TStringList&& Other) noexcept;
    TStringList& operator=(const TStringList& Other);
    TStringList& operator=(TStringList&& Other) noexcept;
    ~TStringList();
    // Lists made with new come from one pool of blocks: a million bodies then cost neither
    // a million allocations nor an allocation header each. Throws std::bad_alloc.
    static void* operator new(std::size_t Size);
    static void operator delete(void* List, std::size_t Size) noexcept;

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
    std::size_t Capacity() const noexcept { return std::size_t{LineCap()} * sizeof(std::uint32_t) + FByteCap; }
    // Makes room for Lines lines holding Bytes bytes in all. Throws EOutOfMemory.
    void Reserve(std::size_t Lines, std::size_t Bytes);
    // Drops unused capacity. Throws EOutOfMemory.
    void ShrinkToFit();

    friend bool operator==(const TStringList& A, const TStringList& B) noexcept;

private:
    friend class TLineArena;
    // Set in FLineCap while the block lies in a TLineArena block.
    static constexpr std::uint32_t SharedFlag = 0x80000000u;

    std::uint32_t LineCap() const noexcept { return FLineCap & ~SharedFlag; }
    bool Shared() const noexcept { return (FLineCap & SharedFlag) != 0; }
    char* Bytes() const noexcept { return reinterpret_cast<char*>(FBlock + LineCap()); }
    // Moves the contents to a block of its own with the given capacities; returns the old
    // block, for ReleaseBlock once nothing refers to it any more.
    std::uint32_t* Grow(std::size_t Lines, std::size_t Bytes);
    static void ReleaseBlock(std::uint32_t* Block, bool WasShared) noexcept;

    std::uint32_t* FBlock = nullptr; // LineCap() end offsets, then FByteCap bytes
    std::uint32_t FCount = 0;
    std::uint32_t FLineCap = 0; // with SharedFlag
    std::uint32_t FSize = 0;
    std::uint32_t FByteCap = 0;
};

// The text form of Lines: each line then 0D 0A; empty for no lines. Throws EOutOfMemory.
TByteString LinesToText(const TStringList& Lines);

// Replaces Lines by the lines of Text. CR LF, a lone CR and a lone LF each end a line; a
// line end at the very end adds no empty line; the first NUL ends the text. Throws
// EOutOfMemory, leaving the lines appended so far.
void TextToLines(TStringList& Lines, TByteView Text);

// Fills many lists at once, as a data file is loaded: the lines of each list go into large
// blocks shared by many lists, instead of one allocation per list. A block lives as long as
// any list still uses it, so the lists may outlive the arena. Not for use from several
// threads at once; the lists it fills may be used and released on any thread.
class TLineArena {
public:
    TLineArena() noexcept = default;
    ~TLineArena();
    TLineArena(const TLineArena&) = delete;
    TLineArena& operator=(const TLineArena&) = delete;

    // Exactly as ::TextToLines(Lines, Text), the lines kept in the arena's blocks (a text
    // too large for them gets a block of its own). Throws EOutOfMemory; Lines is then empty.
    void TextToLines(TStringList& Lines, TByteView Text);

private:
    char* FCurrent = nullptr;       // the block being filled
    std::size_t FUsed = 0;          // bytes of it taken, its header included
    std::vector<std::size_t> FEnds; // scratch: where each line of the text begins and ends
};
