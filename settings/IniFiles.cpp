#include "IniFiles.h"

#include "Errors.h"
#include "ProfileStore.h"

#include <array>
#include <charconv>
#include <optional>

namespace {

std::optional<std::int32_t> ParseInt(TByteView Text) {
    std::size_t At = 0;
    while (At < Text.size() && Text[At] == ' ')
        ++At;
    if (At == Text.size())
        return std::nullopt;

    std::size_t HexDigitsAt = TByteView::npos;
    if (Text[At] == '$' || Text[At] == 'x' || Text[At] == 'X')
        HexDigitsAt = At + 1;
    else if (Text[At] == '0' && At + 1 < Text.size() && (Text[At + 1] == 'x' || Text[At + 1] == 'X'))
        HexDigitsAt = At + 2;
    if (HexDigitsAt != TByteView::npos) {
        if (HexDigitsAt == Text.size())
            return std::nullopt;
        std::uint64_t Value = 0;
        for (std::size_t Digit = HexDigitsAt; Digit < Text.size(); ++Digit) {
            const int DigitValue = HexDigitValue(Text[Digit]);
            if (DigitValue < 0)
                return std::nullopt;
            Value = Value * 16 + static_cast<std::uint64_t>(DigitValue);
            if (Value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(Value));
    }

    const bool Negative = Text[At] == '-';
    if (Text[At] == '-' || Text[At] == '+')
        ++At;
    if (At == Text.size())
        return std::nullopt;
    const std::uint64_t Limit = Negative ? 2147483648u : 2147483647u;
    std::uint64_t Value = 0;
    for (; At < Text.size(); ++At) {
        if (Text[At] < '0' || Text[At] > '9')
            return std::nullopt;
        Value = Value * 10 + static_cast<std::uint64_t>(Text[At] - '0');
        if (Value > Limit)
            return std::nullopt;
    }
    const auto Signed = static_cast<std::int64_t>(Value);
    return static_cast<std::int32_t>(Negative ? -Signed : Signed);
}

} // namespace

std::int32_t TCustomIniFile::ReadInt(const TByteString& Section, const TByteString& Key, std::int32_t Default) const {
    TByteString Text = ReadText(Section, Key, TByteString());
    if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X'))
        Text.replace(0, 2, "$");
    return ParseInt(Text).value_or(Default);
}

void TCustomIniFile::WriteInt(const TByteString& Section, const TByteString& Key, std::int32_t Value) {
    std::array<char, 16> Digits{};
    const auto Result = std::to_chars(Digits.data(), Digits.data() + Digits.size(), Value);
    WriteText(Section, Key, TByteString(Digits.data(), Result.ptr));
}

TByteString TIniFile::ReadText(const TByteString& Section, const TByteString& Key, const TByteString& Default) const {
    std::array<char, 2048> Buffer{};
    const auto Count = GetPrivateProfileString(Section.c_str(), Key.c_str(), Default.c_str(), Buffer.data(),
                                               Buffer.size(), FileName().c_str());
    return TByteString(Buffer.data(), Count);
}

void TIniFile::WriteText(const TByteString& Section, const TByteString& Key, const TByteString& Value) {
    if (!WritePrivateProfileString(Section.c_str(), Key.c_str(), Value.c_str(), FileName().c_str()))
        throw ECannotWriteSettings(FileName());
}
