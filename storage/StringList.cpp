#include "StringList.h"

#include "Errors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace {
constexpr std::size_t MaxField = std::numeric_limits<std::uint32_t>::max();
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
    ::operator delete(FBlock);
    FBlock = nullptr;
    FCount = FLineCap = FSize = FByteCap = 0;
}

std::uint32_t* TStringList::Grow(std::size_t Lines, std::size_t ByteCount) {
    if (Lines > MaxField || ByteCount > MaxField)
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
    if (Lines > FLineCap || ByteCount > FByteCap)
        ::operator delete(Grow(std::max<std::size_t>(Lines, FLineCap), std::max<std::size_t>(ByteCount, FByteCap)));
}

void TStringList::ShrinkToFit() {
    if (FLineCap > FCount || FByteCap > FSize) {
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
    if (NeedLines > FLineCap || NeedBytes > FByteCap) {
        // Doubling keeps a long run of Add linear; TextToLines reserves the bytes up front.
        const std::size_t Lines = NeedLines > FLineCap
                                      ? std::max({NeedLines, 2 * std::size_t{FLineCap}, std::size_t{4}})
                                      : std::size_t{FLineCap};
        const std::size_t ByteCount =
            NeedBytes > FByteCap ? std::max(NeedBytes, 2 * std::size_t{FByteCap}) : std::size_t{FByteCap};
        Old = Grow(std::min(Lines, std::max(NeedLines, MaxField)), std::min(ByteCount, std::max(NeedBytes, MaxField)));
    }
    // Line may point into the old block (adding one of our own lines): copy before freeing it.
    if (!Line.empty())
        std::memcpy(Bytes() + FSize, Line.data(), Line.size());
    ::operator delete(Old);
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
// True when any of the 8 bytes of Word is CR, LF or NUL.
inline bool HasLineStop(std::uint64_t Word) noexcept {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t Highs = 0x8080808080808080ULL;
    const auto HasZero = [](std::uint64_t W) { return (W - Ones) & ~W & Highs; };
    return (HasZero(Word) | HasZero(Word ^ (Ones * '\r')) | HasZero(Word ^ (Ones * '\n'))) != 0;
}
} // namespace

void TextToLines(TStringList& Lines, TByteView Text) {
    Lines.Clear();
    if (Text.empty())
        return;
    const char* Cursor = Text.data();
    const char* const End = Cursor + Text.size();
    // The lines' bytes never exceed the text, so one block of that size holds them all
    // (a body of a few lines needs no second allocation).
    Lines.Reserve(4, std::min(Text.size(), MaxField));
    while (Cursor != End && *Cursor != '\0') {
        const char* Stop = Cursor;
        // Bodies are mostly plain text: skip eight bytes at a time to the next line stop.
        std::uint64_t Word;
        while (End - Stop >= 8 && (std::memcpy(&Word, Stop, 8), !HasLineStop(Word)))
            Stop += 8;
        while (Stop != End && *Stop != '\r' && *Stop != '\n' && *Stop != '\0')
            ++Stop;
        Lines.Add(TByteView(Cursor, static_cast<std::size_t>(Stop - Cursor)));
        Cursor = Stop;
        if (Cursor != End && *Cursor == '\r')
            ++Cursor;
        if (Cursor != End && *Cursor == '\n')
            ++Cursor;
    }
    // A NUL early in a long text would otherwise leave most of the reserved block unused.
    if (Lines.TextLength() < Text.size() / 2)
        Lines.ShrinkToFit();
}
