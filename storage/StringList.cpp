#include "StringList.h"

#include "Errors.h"
#include "LargeBlock.h"
#include "NodePool.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

namespace {
constexpr std::size_t MaxField = std::numeric_limits<std::uint32_t>::max();
// Count() is an int; the top bit of the line capacity marks a shared block.
constexpr std::size_t MaxLines = std::numeric_limits<std::int32_t>::max();

// A block of TLineArena: this header, then the lists' blocks back to back. It is aligned to
// its size, so a list finds the header from its own block's address; it is freed when the
// last list (or the arena) lets go.
constexpr std::size_t SharedBlockSize = LargeBlock::Size;
struct TSharedBlock {
    std::atomic<std::uint32_t> Users;
};
constexpr std::size_t SharedHeaderSize = (sizeof(TSharedBlock) + 7) & ~std::size_t{7};

TSharedBlock* SharedBlockOf(const void* Inside) noexcept {
    return reinterpret_cast<TSharedBlock*>(reinterpret_cast<std::uintptr_t>(Inside) & ~(SharedBlockSize - 1));
}

void LetGo(TSharedBlock* Block) noexcept {
    if (Block->Users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        Block->~TSharedBlock();
        LargeBlock::Release(Block);
    }
}

// Guarded: lists may be released on any thread.
struct TListPool {
    std::mutex Lock;
    TNodePool Pool{sizeof(TStringList)};
};
TListPool& ListPool() {
    // Never destroyed: a list may be released by another object's static destructor.
    static TListPool* const Instance = new TListPool;
    return *Instance;
}
} // namespace

void* TStringList::operator new(std::size_t Size) {
    if (Size != sizeof(TStringList))
        return ::operator new(Size);
    TListPool& Pool = ListPool();
    const std::lock_guard Hold(Pool.Lock);
    return Pool.Pool.Allocate();
}

void TStringList::operator delete(void* List, std::size_t Size) noexcept {
    if (List == nullptr)
        return;
    if (Size != sizeof(TStringList)) {
        ::operator delete(List);
        return;
    }
    TListPool& Pool = ListPool();
    const std::lock_guard Hold(Pool.Lock);
    Pool.Pool.Release(List);
}

void TStringList::ReleaseBlock(std::uint32_t* Block, bool WasShared) noexcept {
    if (Block == nullptr)
        return;
    if (WasShared)
        LetGo(SharedBlockOf(Block));
    else
        ::operator delete(Block);
}

TStringList::TStringList(const TStringList& Other) {
    Reserve(Other.FCount, Other.FSize);
    if (Other.FCount > 0) {
        std::memcpy(FBlock, Other.FBlock, Other.FCount * sizeof(std::uint32_t));
        std::memcpy(Bytes(), Other.Bytes(), Other.FSize);
    }
    FCount = Other.FCount;
    FSize = Other.FSize;
}

TStringList::TStringList(TStringList&& Other) noexcept
    : FBlock(std::exchange(Other.FBlock, nullptr)), FCount(std::exchange(Other.FCount, 0)),
      FLineCap(std::exchange(Other.FLineCap, 0)), FSize(std::exchange(Other.FSize, 0)),
      FByteCap(std::exchange(Other.FByteCap, 0)) {}

TStringList& TStringList::operator=(const TStringList& Other) {
    if (this != &Other) {
        TStringList Copy(Other);
        *this = std::move(Copy);
    }
    return *this;
}

TStringList& TStringList::operator=(TStringList&& Other) noexcept {
    if (this != &Other) {
        Clear();
        std::swap(FBlock, Other.FBlock);
        std::swap(FCount, Other.FCount);
        std::swap(FLineCap, Other.FLineCap);
        std::swap(FSize, Other.FSize);
        std::swap(FByteCap, Other.FByteCap);
    }
    return *this;
}

TStringList::~TStringList() {
    Clear();
}

void TStringList::Clear() noexcept {
    ReleaseBlock(FBlock, Shared());
    FBlock = nullptr;
    FCount = FLineCap = FSize = FByteCap = 0;
}

std::uint32_t* TStringList::Grow(std::size_t Lines, std::size_t ByteCount) {
    if (Lines > MaxLines || ByteCount > MaxField)
        throw EOutOfMemory();
    void* Block = ::operator new(Lines * sizeof(std::uint32_t) + ByteCount, std::nothrow);
    if (Block == nullptr)
        throw EOutOfMemory();
    auto* NewBlock = static_cast<std::uint32_t*>(Block);
    if (FCount > 0)
        std::memcpy(NewBlock, FBlock, FCount * sizeof(std::uint32_t));
    if (FSize > 0)
        std::memcpy(reinterpret_cast<char*>(NewBlock + Lines), Bytes(), FSize);
    FLineCap = static_cast<std::uint32_t>(Lines);
    FByteCap = static_cast<std::uint32_t>(ByteCount);
    return std::exchange(FBlock, NewBlock);
}

void TStringList::Reserve(std::size_t Lines, std::size_t ByteCount) {
    if (Lines > LineCap() || ByteCount > FByteCap) {
        const bool WasShared = Shared();
        ReleaseBlock(Grow(std::max<std::size_t>(Lines, LineCap()), std::max<std::size_t>(ByteCount, FByteCap)),
                     WasShared);
    }
}

void TStringList::ShrinkToFit() {
    if (LineCap() > FCount || FByteCap > FSize) {
        if (FCount == 0) {
            Clear();
            return;
        }
        TStringList Copy(*this);
        *this = std::move(Copy);
    }
}

void TStringList::Add(TByteView Line) {
    const std::size_t NeedLines = std::size_t{FCount} + 1;
    const std::size_t NeedBytes = std::size_t{FSize} + Line.size();
    std::uint32_t* Old = nullptr;
    const bool WasShared = Shared();
    const std::size_t Cap = LineCap();
    // A shared block is full by construction, so a shared list always moves out here.
    if (NeedLines > Cap || NeedBytes > FByteCap) {
        // Doubling keeps a long run of Add linear; TextToLines reserves the bytes up front.
        const std::size_t Lines = NeedLines > Cap ? std::max({NeedLines, 2 * Cap, std::size_t{4}}) : Cap;
        const std::size_t ByteCount =
            NeedBytes > FByteCap ? std::max(NeedBytes, 2 * std::size_t{FByteCap}) : std::size_t{FByteCap};
        Old = Grow(std::min(Lines, std::max(NeedLines, MaxLines)), std::min(ByteCount, std::max(NeedBytes, MaxField)));
    }
    // Line may point into the old block (adding one of our own lines): copy before freeing it.
    if (!Line.empty())
        std::memcpy(Bytes() + FSize, Line.data(), Line.size());
    ReleaseBlock(Old, WasShared);
    FSize = static_cast<std::uint32_t>(NeedBytes);
    FBlock[FCount] = FSize;
    ++FCount;
}

TByteView TStringList::Strings(int Index) const noexcept {
    const auto I = static_cast<std::size_t>(Index);
    const std::uint32_t Begin = I == 0 ? 0 : FBlock[I - 1];
    return TByteView(Bytes() + Begin, FBlock[I] - Begin);
}

bool operator==(const TStringList& A, const TStringList& B) noexcept {
    if (A.FCount != B.FCount || A.FSize != B.FSize)
        return false;
    return (A.FCount == 0 || std::memcmp(A.FBlock, B.FBlock, A.FCount * sizeof(std::uint32_t)) == 0) &&
           (A.FSize == 0 || std::memcmp(A.Bytes(), B.Bytes(), A.FSize) == 0);
}

TByteString LinesToText(const TStringList& Lines) {
    TByteString Text;
    const std::size_t Length = Lines.TextLength();
    if (Length == 0)
        return Text;
    try {
        Text.resize(Length);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    } catch (const std::length_error&) {
        throw EOutOfMemory();
    }
    char* Out = Text.data();
    for (int I = 0; I < Lines.Count(); ++I) {
        const TByteView Line = Lines.Strings(I);
        std::memcpy(Out, Line.data(), Line.size());
        Out += Line.size();
        *Out++ = '\r';
        *Out++ = '\n';
    }
    return Text;
}

namespace {
// The high bit of each of the 8 bytes of Word that is CR, LF or NUL is set, and maybe of
// bytes after the first such one (a borrow), never of one before it.
inline std::uint64_t LineStops(std::uint64_t Word) noexcept {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t Highs = 0x8080808080808080ULL;
    const auto HasZero = [](std::uint64_t W) { return (W - Ones) & ~W & Highs; };
    return HasZero(Word) | HasZero(Word ^ (Ones * '\r')) | HasZero(Word ^ (Ones * '\n'));
}

// The first CR, LF or NUL from Stop on, or End.
inline const char* NextLineStop(const char* Stop, const char* const End) noexcept {
    // Bodies are mostly plain text: eight bytes at a time.
    std::uint64_t Word;
    while (End - Stop >= 8) {
        std::memcpy(&Word, Stop, 8);
        if (const std::uint64_t Stops = LineStops(Word); Stops != 0) {
            if constexpr (std::endian::native == std::endian::little)
                return Stop + std::countr_zero(Stops) / 8;
            break;
        }
        Stop += 8;
    }
    while (Stop != End && *Stop != '\r' && *Stop != '\n' && *Stop != '\0')
        ++Stop;
    return Stop;
}
} // namespace

namespace {
// Calls Line(Begin, End) for each line of Text by the TextToLines rules.
template <class TLine> void ForEachLine(TByteView Text, TLine&& Line) {
    const char* Cursor = Text.data();
    const char* const End = Cursor + Text.size();
    while (Cursor != End && *Cursor != '\0') {
        const char* const Stop = NextLineStop(Cursor, End);
        Line(Cursor, Stop);
        Cursor = Stop;
        if (Cursor != End && *Cursor == '\r')
            ++Cursor;
        if (Cursor != End && *Cursor == '\n')
            ++Cursor;
    }
}
} // namespace

void TextToLines(TStringList& Lines, TByteView Text) {
    Lines.Clear();
    if (Text.empty())
        return;
    // The lines' bytes never exceed the text, so one block of that size holds them all
    // (a body of a few lines needs no second allocation).
    Lines.Reserve(4, std::min(Text.size(), MaxField));
    ForEachLine(Text, [&](const char* Begin, const char* Stop) {
        Lines.Add(TByteView(Begin, static_cast<std::size_t>(Stop - Begin)));
    });
    // A NUL early in a long text would otherwise leave most of the reserved block unused.
    if (Lines.TextLength() < Text.size() / 2)
        Lines.ShrinkToFit();
}

// ---- TLineArena ----

TLineArena::~TLineArena() {
    if (FCurrent != nullptr)
        LetGo(reinterpret_cast<TSharedBlock*>(FCurrent));
}

void TLineArena::TextToLines(TStringList& Lines, TByteView Text) {
    Lines.Clear();
    // One pass over the text finds the lines; their bytes are then copied in one go each.
    FEnds.clear();
    std::size_t ByteCount = 0;
    try {
        ForEachLine(Text, [&](const char* Begin, const char* Stop) {
            FEnds.push_back(static_cast<std::size_t>(Begin - Text.data()));
            FEnds.push_back(static_cast<std::size_t>(Stop - Text.data()));
            ByteCount += static_cast<std::size_t>(Stop - Begin);
        });
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    const std::size_t Count = FEnds.size() / 2;
    if (Count == 0)
        return;
    const std::size_t Need = Count * sizeof(std::uint32_t) + ByteCount;
    if (Need > SharedBlockSize - SharedHeaderSize || Count > MaxLines) {
        ::TextToLines(Lines, Text);
        return;
    }
    // Offsets want 4-byte alignment.
    std::size_t At = (FUsed + 3) & ~std::size_t{3};
    if (FCurrent == nullptr || At + Need > SharedBlockSize) {
        void* Fresh = LargeBlock::Allocate();
        if (Fresh == nullptr)
            throw EOutOfMemory();
        if (FCurrent != nullptr)
            LetGo(reinterpret_cast<TSharedBlock*>(FCurrent));
        // The arena's own hold, given up when it moves on or ends.
        new (Fresh) TSharedBlock{1};
        FCurrent = static_cast<char*>(Fresh);
        At = SharedHeaderSize;
    }
    auto* Block = reinterpret_cast<std::uint32_t*>(FCurrent + At);
    char* Out = reinterpret_cast<char*>(Block + Count);
    std::uint32_t End = 0;
    for (std::size_t Line = 0; Line < Count; ++Line) {
        const std::size_t Length = FEnds[2 * Line + 1] - FEnds[2 * Line];
        std::memcpy(Out + End, Text.data() + FEnds[2 * Line], Length);
        End += static_cast<std::uint32_t>(Length);
        Block[Line] = End;
    }
    FUsed = At + Need;
    reinterpret_cast<TSharedBlock*>(FCurrent)->Users.fetch_add(1, std::memory_order_relaxed);
    Lines.FBlock = Block;
    Lines.FCount = static_cast<std::uint32_t>(Count);
    Lines.FLineCap = static_cast<std::uint32_t>(Count) | TStringList::SharedFlag;
    Lines.FSize = End;
    Lines.FByteCap = End;
}
