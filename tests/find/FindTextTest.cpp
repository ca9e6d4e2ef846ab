#include "FindText.h"

#include "CodePage932.h"

#include <gtest/gtest.h>

#include <string>

namespace {

QString Utf8(const char* Text) {
    return QString::fromUtf8(Text);
}

TByteString Cp932(const char* Utf8Text) {
    TByteString Bytes;
    std::size_t Bad = 0;
    if (!TCodePage932::FromUtf8(Utf8Text, Bytes, Bad))
        ADD_FAILURE() << "not code page 932: " << Utf8Text;
    return Bytes;
}

struct TMatchCase {
    const char* Name;
    TByteString Text; // code page 932 bytes, as an entry holds them
    const char* Needle;
    bool Found;
};

void PrintTo(const TMatchCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class FindTextMatch : public testing::TestWithParam<TMatchCase> {};

TEST_P(FindTextMatch, FoldedTextHoldsNeedleExactlyWhenExpected) {
    const TMatchCase& Case = GetParam();
    const auto Needle = TFindText::Needle(Utf8(Case.Needle));
    ASSERT_TRUE(Needle.has_value());
    EXPECT_EQ(TFindText::Contains(TFindText::FoldBytes(Case.Text), *Needle), Case.Found);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindTextMatch,
    testing::Values(TMatchCase{"LatinCaseIgnored", Cp932("Payment Claim"), "CLAIM", true},
                    TMatchCase{"NeedleCaseIgnored", Cp932("claim"), "ClAiM", true},
                    TMatchCase{"FullWidthLatinMatchesHalfWidth", Cp932("ＣＬＡＩＭ"), "claim", true},
                    TMatchCase{"HalfWidthMatchesFullWidthNeedle", Cp932("claim"), "ｃｌａｉｍ", true},
                    TMatchCase{"FullWidthDigits", Cp932("民法第１７７条"), "第177条", true},
                    TMatchCase{"HalfWidthDigitsFullWidthNeedle", Cp932("第177条"), "第１７７条", true},
                    TMatchCase{"HalfWidthKatakana", Cp932("ｶﾀｶﾅ"), "カタカナ", true},
                    TMatchCase{"FullWidthKatakanaHalfWidthNeedle", Cp932("カタカナ"), "ｶﾀｶﾅ", true},
                    TMatchCase{"HalfWidthVoicedMarkComposes", Cp932("ｶﾞｲﾄﾞ"), "ガイド", true},
                    TMatchCase{"VoicedDiffersFromUnvoiced", Cp932("ガイド"), "カイト", false},
                    TMatchCase{"IdeographicSpaceIsASpace", Cp932("背信的　悪意者"), "背信的 悪意者", true},
                    TMatchCase{"GreekCaseIgnored", Cp932("ΑΒΓ"), "αβγ", true},
                    TMatchCase{"CyrillicCaseIgnored", Cp932("АБВ"), "абв", true},
                    TMatchCase{"JapaneseWord", Cp932("取得時効と消滅時効"), "消滅時効", true},
                    TMatchCase{"DifferentWordNotFound", Cp932("取得時効"), "消滅時効", false},
                    TMatchCase{"SplitAcrossCrLfNotMatched", Cp932("消滅\r\n時効"), "消滅時効", false},
                    TMatchCase{"SplitAcrossLoneLfNotMatched", Cp932("ab\ncd"), "abcd", false},
                    TMatchCase{"SplitAcrossLoneCrNotMatched", Cp932("ab\rcd"), "bc", false},
                    TMatchCase{"LineAfterLineEndFound", Cp932("消滅\r\n時効"), "時効", true},
                    TMatchCase{"TrailByteIsNoBackslash", Cp932("表"), "\\", false},
                    TMatchCase{"TrailByteIsNoLetter", Cp932("ア"), "A", false}, // 83 41
                    TMatchCase{"UndecodableByteSplitsText",
                               TByteString("ab\x80"
                                           "cd"),
                               "abcd", false},
                    TMatchCase{"TextBeforeUndecodableByte",
                               TByteString("ab\x80"
                                           "cd"),
                               "ab", true},
                    TMatchCase{"TextAfterUndecodableByte",
                               TByteString("ab\xFD"
                                           "cd"),
                               "cd", true},
                    TMatchCase{"ReplacementCharacterIsNoUndecodableByte", TByteString("ab\x80"), "b\xEF\xBF\xBD",
                               false},
                    TMatchCase{"LeadByteAtEnd", TByteString("ab\x82"), "ab", true},
                    TMatchCase{"LeadByteBeforeLineEnd", TByteString("ab\x82\r\ncd"), "cd", true}));

TEST(FindTextNeedle, NeedlesThatCanMatchNowhereAreRefused) {
    EXPECT_FALSE(TFindText::Needle(QString()).has_value());
    EXPECT_FALSE(TFindText::Needle(Utf8("ab\ncd")).has_value());
    EXPECT_FALSE(TFindText::Needle(Utf8("ab\rcd")).has_value());
    QString Lone = Utf8("ab");
    Lone += QChar(char16_t{0xDC80});
    EXPECT_FALSE(TFindText::Needle(Lone).has_value());
    EXPECT_EQ(TFindText::Needle(Utf8("ＡＢＣ")).value(), "abc");
}

TEST(FindTextFold, UndecodableBytesAndLineEndsBecomeMarks) {
    EXPECT_EQ(TFindText::FoldBytes(TByteString("A\x80\r\nB")), std::string("a\xFF\n\nb"));
}

struct TLocateCase {
    const char* Name;
    const char* Text;
    const char* Needle;
    qsizetype Start;
    qsizetype Length;
};

void PrintTo(const TLocateCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class FindTextLocate : public testing::TestWithParam<TLocateCase> {};

TEST_P(FindTextLocate, MarksTheFirstMatchInTheShownText) {
    const TLocateCase& Case = GetParam();
    const auto Needle = TFindText::Needle(Utf8(Case.Needle));
    ASSERT_TRUE(Needle.has_value());
    const TFindText::TRange Range = TFindText::Locate(Utf8(Case.Text), *Needle);
    EXPECT_EQ(Range.Length, Case.Length);
    if (Case.Length > 0) {
        EXPECT_EQ(Range.Start, Case.Start);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FindTextLocate,
                         testing::Values(TLocateCase{"AtStart", "claim and more", "CLAIM", 0, 5},
                                         TLocateCase{"FirstOfTwo", "xxＡＢＣ abc", "abc", 2, 3},
                                         TLocateCase{"OnLaterLine", "first\nsecond 消滅時効", "消滅時効", 13, 4},
                                         TLocateCase{"HalfWidthPairCountsBoth", "ab ｶﾞｲﾄﾞ", "ガイド", 3, 5},
                                         TLocateCase{"NotAcrossLines", "消滅\n時効", "消滅時効", 0, 0},
                                         TLocateCase{"NotThere", "abc", "abd", 0, 0}));

} // namespace

namespace {

// The block scan agrees with std::string::find on every length around its 16-byte
// blocks, matches at the very start and end included, and the byte-pair filter passes
// every text that holds the needle.
TEST(FindTextSearcher, BlockScanAndPairFilterAgreeWithPlainSearch) {
    std::uint32_t Seed = 12345;
    const auto Next = [&Seed] { return (Seed = Seed * 1103515245u + 12345u) >> 16; };
    for (std::size_t Length = 0; Length < 70; ++Length) {
        for (int Round = 0; Round < 40; ++Round) {
            std::string Text;
            for (std::size_t I = 0; I < Length; ++I)
                Text += static_cast<char>('a' + Next() % 3);
            std::string Needle;
            const std::size_t Size = 1 + Next() % 5;
            for (std::size_t I = 0; I < Size; ++I)
                Needle += static_cast<char>('a' + Next() % 3);
            const bool Expected = Text.find(Needle) != std::string::npos;
            const TFindText::TSearcher Searcher(Needle);
            ASSERT_EQ(Searcher.In(Text), Expected) << Text << " / " << Needle;
            // The byte-pair filter never rules out a text that holds the needle.
            if (Expected) {
                ASSERT_TRUE(Searcher.MayBeIn(TFindText::TBigrams::Of(Text))) << Text << " / " << Needle;
            }
        }
    }
}

} // namespace

namespace {

TEST(FindTextLocateLongLine, MarksTheMatchWhereverItLies) {
    for (const qsizetype Before : {0, 63, 64, 65, 1000, 4093}) {
        QString Line(Before, u'x');
        Line += QStringLiteral("ＡＢＣ");
        Line += QString(5000, u'y');
        const TFindText::TRange Range = TFindText::Locate(Line, "abc");
        EXPECT_EQ(Range.Start, Before);
        EXPECT_EQ(Range.Length, 3);
    }
}

} // namespace

namespace {

TEST(FindTextBigrams, RuleOutTextsLackingAPairOfTheNeedle) {
    const TFindText::TSearcher Searcher("claim");
    EXPECT_TRUE(Searcher.MayBeIn(TFindText::TBigrams::Of("a claim here")));
    EXPECT_FALSE(Searcher.MayBeIn(TFindText::TBigrams::Of("")));
    EXPECT_FALSE(Searcher.MayBeIn(TFindText::TBigrams::Of("c l a i m")));
    // A single byte has no pairs: nothing is ruled out.
    EXPECT_TRUE(TFindText::TSearcher("z").MayBeIn(TFindText::TBigrams::Of("")));
}

} // namespace
