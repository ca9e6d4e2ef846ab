#include "CodePage932.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct TRoundTripCase {
    const char* Name;
    TByteString Bytes;
    bool Exact; // decodes and encodes back to the same bytes
};

class CodePage932RoundTrip : public ::testing::TestWithParam<TRoundTripCase> {};

TEST_P(CodePage932RoundTrip, DecodeThenEncodeKeepsUndecodableBytes) {
    const auto& Case = GetParam();
    const std::u16string Text = TCodePage932::Decode(Case.Bytes);
    const auto Back = TCodePage932::Encode(Text);
    EXPECT_EQ(Back.Unencodable, 0u);
    EXPECT_EQ(TCodePage932::RoundTrips(Case.Bytes), Case.Exact);
    if (Case.Exact) {
        EXPECT_EQ(Back.Bytes, Case.Bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, CodePage932RoundTrip,
    ::testing::Values(TRoundTripCase{"Ascii", "abc\r\n", true},
                      TRoundTripCase{"Kana", "\x83\x41\x83\x76\x83\x8a", true}, // アプリ
                      TRoundTripCase{"BackslashTrail", "\x95\x5c", true},       // 表
                      TRoundTripCase{"LoneHighBytes", "a\x80\xa0\xfd\xfe\xff", false},
                      TRoundTripCase{"TrailingLeadByte", "ab\x81", false},
                      TRoundTripCase{"NecDuplicate", "\x87\x90", false},  // reads as U+2252, written 81 E0
                      TRoundTripCase{"IbmDuplicate", "\xed\x40", false}), // reads as U+7E8A, written FA 5C
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(CodePage932, UndecodableBytesSurviveAnEditOfTheRest) {
    std::u16string Text = TCodePage932::Decode(TByteString("x\x80y\x81", 4));
    ASSERT_EQ(Text.size(), 4u);
    EXPECT_EQ(Text[1], char16_t(0xDC80));
    EXPECT_EQ(Text[3], char16_t(0xDC81));
    Text[0] = u'\u3042'; // あ
    EXPECT_EQ(TCodePage932::Encode(Text).Bytes, TByteString("\x82\xa0\x80y\x81", 5));
}

TEST(CodePage932, CharactersWithoutAFormAreReplacedAndCounted) {
    const auto Result = TCodePage932::Encode(u"a\U0001F600b\u00e9");
    EXPECT_EQ(Result.Bytes, "a?b?");
    EXPECT_EQ(Result.Unencodable, 2u);
    EXPECT_EQ(Result.FirstUnencodable, 1u);
}

TEST(CodePage932, LossyUtf8MarksBadBytes) {
    EXPECT_EQ(TCodePage932::ToUtf8Lossy("\x8c\xb4\x8d\x90\x80"), "原告\xEF\xBF\xBD");
}

TEST(CodePage932, FromUtf8ReportsTheFirstUnrepresentableCharacter) {
    TByteString Out;
    std::size_t Bad = 0;
    EXPECT_TRUE(TCodePage932::FromUtf8("原告", Out, Bad));
    EXPECT_EQ(Out, "\x8c\xb4\x8d\x90");
    EXPECT_FALSE(TCodePage932::FromUtf8("ab\xF0\x9F\x98\x80", Out, Bad));
    EXPECT_EQ(Bad, 2u);
}

} // namespace

namespace {

std::u16string Head(TByteView Bytes, std::size_t MaxUnits) {
    std::u16string Out = u"<"; // DecodeHead appends
    TCodePage932::DecodeHead(Bytes, MaxUnits, Out);
    return Out.substr(1);
}

} // namespace

TEST(CodePage932, DecodeHeadOfEveryByteAndPairIsTheConvertersDecoding) {
    for (unsigned First = 0; First < 256; ++First) {
        const char One[1] = {static_cast<char>(First)};
        ASSERT_EQ(Head(TByteView(One, 1), 8), TCodePage932::Decode(TByteView(One, 1))) << First;
        for (unsigned Second = 0; Second < 256; ++Second) {
            const char Two[2] = {static_cast<char>(First), static_cast<char>(Second)};
            ASSERT_EQ(Head(TByteView(Two, 2), 8), TCodePage932::Decode(TByteView(Two, 2))) << First << " " << Second;
        }
    }
}

TEST(CodePage932, DecodeHeadIsTheStartOfTheWholeDecoding) {
    // Bytes where the cases meet: lead bytes, trails that are ASCII, kana, undecodable bytes.
    const unsigned char Alphabet[] = {0x41, 0x5C, 0x61, 0x00, 0x0D, 0x81, 0x82, 0x87, 0x9F, 0xE0,
                                      0xFC, 0x40, 0xA0, 0xA1, 0xDF, 0x80, 0xFD, 0xFF, 0xED, 0x90};
    std::mt19937 Random(5);
    for (int Round = 0; Round < 20000; ++Round) {
        TByteString Bytes(Random() % 12, '\0');
        for (char& Byte : Bytes)
            Byte = static_cast<char>(Alphabet[Random() % sizeof Alphabet]);
        const std::u16string Whole = TCodePage932::Decode(Bytes);
        for (std::size_t Units = 0; Units <= Whole.size() + 1; ++Units)
            ASSERT_EQ(Head(Bytes, Units), Whole.substr(0, Units)) << Round << " " << Units;
    }
}
