#pragma once
// Titles, bodies and every text the data files hold are counted byte strings in
// code page 932. Lengths are byte counts; nothing here knows about characters.
#include <string>
#include <string_view>

using TByteString = std::string;
using TByteView = std::string_view;

// The value of a hexadecimal digit, either case, or -1 for any other byte.
constexpr int HexDigitValue(char Byte) noexcept {
    if (Byte >= '0' && Byte <= '9')
        return Byte - '0';
    if (Byte >= 'A' && Byte <= 'F')
        return Byte - 'A' + 10;
    if (Byte >= 'a' && Byte <= 'f')
        return Byte - 'a' + 10;
    return -1;
}
