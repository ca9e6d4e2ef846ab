#pragma once
// Conversions between code page 932 byte strings and Unicode, through glibc iconv.
//
// Code page 932 is not a bijection (87 90 and 81 E0 both read as U+2252), so the
// UI keeps the original bytes of a field the user did not touch; these functions
// only guarantee that bytes which do not decode at all survive a round trip.
#include "ByteString.h"

#include <cstddef>
#include <string>
#include <string_view>

class TCodePage932 {
public:
    // Only bytes 0x80-0xFF can fail to decode; such a byte b is carried as the lone
    // surrogate U+DC00+b, that is U+DC80..U+DCFF.
    static constexpr char16_t EscapeBase = 0xDC00;
    static constexpr bool IsEscape(char16_t Unit) noexcept {
        return Unit >= EscapeBase + 0x80 && Unit <= EscapeBase + 0xFF;
    }

    static bool IsLeadByte(unsigned char Byte) noexcept {
        return (Byte >= 0x81 && Byte <= 0x9F) || (Byte >= 0xE0 && Byte <= 0xFC);
    }

    // Decodes Bytes to UTF-16. A byte that does not start a valid character becomes
    // the lone surrogate U+DC00+byte (U+DC80..U+DCFF).
    static std::u16string Decode(TByteView Bytes);
    // Appends to Out the first MaxUnits UTF-16 units of Decode(Bytes) (all of them when
    // there are fewer), decoding only as far as needed. Through a table built from the
    // converter on first use, so the heads of many short strings cost no conversion each.
    static void DecodeHead(TByteView Bytes, std::size_t MaxUnits, std::u16string& Out);

    struct TEncoded {
        TByteString Bytes;
        std::size_t Unencodable = 0;         // characters replaced by '?'
        std::size_t FirstUnencodable = npos; // index in the UTF-16 text of the first of them
        static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    };
    // Encodes UTF-16 to code page 932. U+DC00+b gives back the byte b; a character
    // with no code page 932 form becomes '?' and is counted.
    static TEncoded Encode(std::u16string_view Text);

    // Appends the UTF-8 form of one code point.
    static void AppendUtf8(std::string& Out, char32_t Code);

    // Decodes to UTF-8 for other programs: undecodable bytes become U+FFFD.
    static std::string ToUtf8Lossy(TByteView Bytes);

    // True when Bytes decodes completely and encodes back to the very same bytes.
    static bool RoundTrips(TByteView Bytes);

    // Encodes UTF-8 text. Returns false, with the byte offset of the first character that
    // is not valid UTF-8 or has no code page 932 form, when the text cannot be represented.
    static bool FromUtf8(std::string_view Utf8, TByteString& Out, std::size_t& BadOffset);
};
