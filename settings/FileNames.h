#pragma once
// Byte-wise file-name rules of the settings component.
//
// Names are byte strings in the system's code page. Two things come from the
// platform: the bytes that separate directories, and which bytes lead a
// double-byte character (none under a single-byte or UTF-8 code page). The
// running program uses TNameRules::Platform(); the Windows rules with code page
// 932 are kept so that names written for that system keep their meaning.
#include "ByteString.h"

#include <cstddef>
#include <string>

struct TNameRules {
    // Separator inserted when a directory and a name are joined.
    char PathDelimiter = '/';
    // Every byte that ends a directory part.
    TByteView Delimiters = "/";
    // Null when the code page has no double-byte characters.
    bool (*LeadByte)(unsigned char Byte) = nullptr;

    bool IsLeadByte(unsigned char Byte) const { return LeadByte != nullptr && LeadByte(Byte); }

    // Linux: "/" only, UTF-8, no lead bytes.
    static TNameRules Platform();
    // Windows with code page 932: "\" and ":", lead bytes 0x81-0x9F and 0xE0-0xFC.
    static TNameRules WindowsCodePage932();
};

inline constexpr std::size_t NoDelimiter = static_cast<std::size_t>(-1);

// Position of the last byte of Name that is one of Delimiters and not the second
// byte of a double-byte character; a zero byte never counts. NoDelimiter when none.
std::size_t LastDelimiter(TByteView Delimiters, TByteView Name, const TNameRules& Rules);

// The bytes of Name up to and including its last separator; empty when it has none.
TByteString ExtractFilePath(TByteView Name, const TNameRules& Rules);

// The bytes of Name after its last separator; all of Name when it has none.
TByteString ExtractFileName(TByteView Name, const TNameRules& Rules);

// Name with the extension after its last "." (if that dot lies in the file-name
// part) replaced by Extension, or Extension appended when it has none.
TByteString ChangeFileExt(TByteView Name, TByteView Extension, const TNameRules& Rules);

// Name with every byte A-Z lowered; other bytes, the second bytes of double-byte
// characters included, are left as they are.
TByteString LowerAsciiLetters(TByteView Name);
