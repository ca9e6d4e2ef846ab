#include "CodePage932.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace {

// One iconv conversion descriptor, reset for every call. Each kind is opened once per
// thread: the tree view decodes a title for every row it paints.
class TIconv {
public:
    TIconv(const char* To, const char* From) : FHandle(iconv_open(To, From)) {
        if (FHandle == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + From + " to " + To);
    }
    ~TIconv() { iconv_close(FHandle); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    // Converts as much as possible; returns 0 on success, else errno (EILSEQ, EINVAL),
    // with In/InLeft advanced to the offending input.
    int Convert(const char*& In, std::size_t& InLeft, std::string& Out) {
        iconv(FHandle, nullptr, nullptr, nullptr, nullptr);
        char Buffer[4096];
        while (InLeft > 0) {
            char* OutPtr = Buffer;
            std::size_t OutLeft = sizeof Buffer;
            const std::size_t Result = iconv(FHandle, const_cast<char**>(&In), &InLeft, &OutPtr, &OutLeft);
            Out.append(Buffer, static_cast<std::size_t>(OutPtr - Buffer));
            if (Result == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                return errno;
            }
        }
        char* OutPtr = Buffer;
        std::size_t OutLeft = sizeof Buffer;
        iconv(FHandle, nullptr, nullptr, &OutPtr, &OutLeft);
        Out.append(Buffer, static_cast<std::size_t>(OutPtr - Buffer));
        return 0;
    }

private:
    iconv_t FHandle;
};

std::u16string FromUtf16Bytes(const std::string& Bytes) {
    std::u16string Text(Bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < Text.size(); ++i)
        Text[i] = static_cast<char16_t>(static_cast<unsigned char>(Bytes[2 * i]) |
                                        (static_cast<unsigned char>(Bytes[2 * i + 1]) << 8));
    return Text;
}

bool IsHighSurrogate(char16_t Unit) {
    return Unit >= 0xD800 && Unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t Unit) {
    return Unit >= 0xDC00 && Unit <= 0xDFFF;
}

// What each single byte and each lead/trail pair decodes to on its own, as the converter
// says; NoUnit where it is not one character (code page 932 has no U+FFFF).
constexpr char16_t NoUnit = 0xFFFF;
struct TDecodeTable {
    char16_t Single[256];
    std::vector<char16_t> Pair; // by lead * 256 + trail; NoUnit unless the lead is a lead byte
};

char16_t OneCharacter(const std::u16string& Text) {
    return Text.size() == 1 && !IsHighSurrogate(Text[0]) && !IsLowSurrogate(Text[0]) ? Text[0] : NoUnit;
}

const TDecodeTable& DecodeTable() {
    static const TDecodeTable Table = [] {
        TDecodeTable Result;
        Result.Pair.assign(65536, NoUnit);
        for (unsigned Lead = 0; Lead < 256; ++Lead) {
            const char Bytes[2] = {static_cast<char>(Lead), 0};
            Result.Single[Lead] = OneCharacter(TCodePage932::Decode(TByteView(Bytes, 1)));
            if (!TCodePage932::IsLeadByte(static_cast<unsigned char>(Lead)))
                continue;
            for (unsigned Trail = 0; Trail < 256; ++Trail) {
                const char Pair[2] = {static_cast<char>(Lead), static_cast<char>(Trail)};
                Result.Pair[Lead * 256 + Trail] = OneCharacter(TCodePage932::Decode(TByteView(Pair, 2)));
            }
        }
        return Result;
    }();
    return Table;
}

} // namespace

void TCodePage932::DecodeHead(TByteView Bytes, std::size_t MaxUnits, std::u16string& Out) {
    const TDecodeTable& Table = DecodeTable();
    std::size_t At = 0;
    for (std::size_t Units = 0; Units < MaxUnits && At < Bytes.size(); ++Units) {
        const auto Byte = static_cast<unsigned char>(Bytes[At]);
        if (At + 1 < Bytes.size()) {
            const char16_t Unit = Table.Pair[Byte * 256u + static_cast<unsigned char>(Bytes[At + 1])];
            if (Unit != NoUnit) {
                Out += Unit;
                At += 2;
                continue;
            }
        }
        // As Decode does: a byte that starts no character travels as its escape.
        const char16_t Unit = Table.Single[Byte];
        Out += Unit != NoUnit ? Unit : static_cast<char16_t>(EscapeBase + Byte);
        ++At;
    }
}

void TCodePage932::AppendUtf8(std::string& Out, char32_t Code) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

std::u16string TCodePage932::Decode(TByteView Bytes) {
    thread_local TIconv Converter("UTF-16LE", "CP932");
    std::u16string Text;
    const char* In = Bytes.data();
    std::size_t InLeft = Bytes.size();
    while (InLeft > 0) {
        std::string Wide;
        const int Error = Converter.Convert(In, InLeft, Wide);
        Text += FromUtf16Bytes(Wide);
        if (Error == 0)
            break;
        // The byte at In starts no valid character: carry it as an escape and go on after it.
        Text += static_cast<char16_t>(EscapeBase + static_cast<unsigned char>(*In));
        ++In;
        --InLeft;
    }
    return Text;
}

TCodePage932::TEncoded TCodePage932::Encode(std::u16string_view Text) {
    thread_local TIconv Converter("CP932", "UTF-16LE");
    TEncoded Result;
    std::size_t Start = 0;
    while (Start < Text.size()) {
        // Convert the run up to the next escape or lone surrogate on its own.
        std::size_t End = Start;
        while (End < Text.size()) {
            if (IsHighSurrogate(Text[End]) && End + 1 < Text.size() && IsLowSurrogate(Text[End + 1]))
                End += 2; // a pair, even when its second half looks like an escape
            else if (IsEscape(Text[End]))
                break;
            else
                ++End;
        }
        std::string Units;
        Units.reserve((End - Start) * 2);
        for (std::size_t i = Start; i < End; ++i) {
            Units += static_cast<char>(Text[i] & 0xFF);
            Units += static_cast<char>(Text[i] >> 8);
        }
        const char* In = Units.data();
        std::size_t InLeft = Units.size();
        while (InLeft > 0) {
            const int Error = Converter.Convert(In, InLeft, Result.Bytes);
            if (Error == 0)
                break;
            // A character with no code page 932 form: one UTF-16 unit, or a surrogate pair.
            const std::size_t Index = Start + static_cast<std::size_t>(In - Units.data()) / 2;
            std::size_t Skip = 2;
            const char16_t Unit = Text[Index];
            if (IsHighSurrogate(Unit) && InLeft >= 4 && IsLowSurrogate(Text[Index + 1]))
                Skip = 4;
            Result.Bytes += '?';
            if (Result.Unencodable++ == 0)
                Result.FirstUnencodable = Index;
            In += Skip;
            InLeft -= Skip;
        }
        if (End < Text.size()) {
            Result.Bytes += static_cast<char>(Text[End] - EscapeBase);
            ++End;
        }
        Start = End;
    }
    return Result;
}

std::string TCodePage932::ToUtf8Lossy(TByteView Bytes) {
    thread_local TIconv Converter("UTF-8", "CP932");
    std::string Out;
    const char* In = Bytes.data();
    std::size_t InLeft = Bytes.size();
    while (InLeft > 0) {
        if (Converter.Convert(In, InLeft, Out) == 0)
            break;
        AppendUtf8(Out, 0xFFFD);
        ++In;
        --InLeft;
    }
    return Out;
}

bool TCodePage932::RoundTrips(TByteView Bytes) {
    const std::u16string Text = Decode(Bytes);
    for (const char16_t Unit : Text)
        if (IsEscape(Unit))
            return false;
    const TEncoded Back = Encode(Text);
    return Back.Unencodable == 0 && Back.Bytes == Bytes;
}

bool TCodePage932::FromUtf8(std::string_view Utf8, TByteString& Out, std::size_t& BadOffset) {
    thread_local TIconv Converter("CP932", "UTF-8");
    Out.clear();
    const char* In = Utf8.data();
    std::size_t InLeft = Utf8.size();
    if (Converter.Convert(In, InLeft, Out) != 0) {
        BadOffset = static_cast<std::size_t>(In - Utf8.data());
        return false;
    }
    return true;
}
