#include "StringList.h"

#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using StorageTest::LinesOf;

namespace {

using TLines = std::vector<std::string>;

TStringList MakeList(const TLines& Lines) {
    TStringList List;
    for (const auto& Line : Lines)
        List.Add(Line);
    return List;
}

struct TSplitCase {
    const char* Name;
    TByteString Text;
    TLines Lines;
};

class TextToLinesSplits : public testing::TestWithParam<TSplitCase> {};

TEST_P(TextToLinesSplits, IntoTheExpectedLines) {
    TStringList List = MakeList({"left over", "from before"});
    TextToLines(List, GetParam().Text);
    EXPECT_EQ(LinesOf(&List), GetParam().Lines);
}

TEST_P(TextToLinesSplits, IntoTheSameLinesThroughAnArena) {
    TLineArena Arena;
    TStringList List = MakeList({"left over", "from before"});
    Arena.TextToLines(List, GetParam().Text);
    EXPECT_EQ(LinesOf(&List), GetParam().Lines);
    EXPECT_EQ(List.TextLength(), LinesToText(MakeList(GetParam().Lines)).size());
    EXPECT_TRUE(List == MakeList(GetParam().Lines));
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToLinesSplits,
    testing::Values(
        TSplitCase{"Empty", "", {}}, TSplitCase{"CrLfIsOneEmptyLine", "\r\n", {""}},
        TSplitCase{"TwoCrLfAreTwoEmptyLines", "\r\n\r\n", {"", ""}},
        TSplitCase{"CrLfPairs", "ab\r\ncd\r\n", {"ab", "cd"}}, TSplitCase{"LoneLf", "a\nb", {"a", "b"}},
        TSplitCase{"LoneCr", "a\rb", {"a", "b"}}, TSplitCase{"CrLf", "a\r\nb", {"a", "b"}},
        TSplitCase{"LfCrIsTwoEnds", "a\n\rb", {"a", "", "b"}}, TSplitCase{"CrCrIsTwoEnds", "a\r\rb", {"a", "", "b"}},
        TSplitCase{"CrLfCrLf", "a\r\n\r\nb", {"a", "", "b"}}, TSplitCase{"FinalLineEndAddsNoLine", "a\r\n", {"a"}},
        TSplitCase{"NoLineEnd", "a", {"a"}}, TSplitCase{"NulEndsTheText", "a\0b\r\nz"s, {"a"}},
        TSplitCase{"LeadingNulGivesNoLines", "\0a\r\n"s, {}}, TSplitCase{"NulAfterLineEnd", "\r\n\0a"s, {""}},
        TSplitCase{"TrailingEmptyLineKept", "a\r\n\r\n", {"a", ""}},
        TSplitCase{"SpacesNotTrimmed", "  a \t\r\n", {"  a \t"}},
        // Bytes after a lead byte are not special: 0x81 0x0A still ends a line.
        TSplitCase{"NoDoubleByteCharacters", "\x81\n\x82\xA0", {"\x81", "\x82\xA0"}},
        TSplitCase{"LongLinesCrossWordSteps",
                   std::string(21, 'x') + "\n" + std::string(8, 'y') + "\r",
                   {std::string(21, 'x'), std::string(8, 'y')}},
        TSplitCase{"StopInEveryWordPosition", "0123456\n89\r\nabcdefgh\0ignored"s, {"0123456", "89", "abcdefgh"}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct TJoinCase {
    const char* Name;
    TLines Lines;
    TByteString Text;
};

class LinesToTextJoins : public testing::TestWithParam<TJoinCase> {};

TEST_P(LinesToTextJoins, EveryLineFollowedByCrLf) {
    EXPECT_EQ(LinesToText(MakeList(GetParam().Lines)), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinesToTextJoins,
                         testing::Values(TJoinCase{"NoLines", {}, ""}, TJoinCase{"OneEmptyLine", {""}, "\r\n"},
                                         TJoinCase{"TwoLines", {"ab", "cd"}, "ab\r\ncd\r\n"},
                                         TJoinCase{"EmptyLinesAnywhere", {"", "a", "", ""}, "\r\na\r\n\r\n\r\n"},
                                         TJoinCase{"BytesKept", {"\x82\xA0\x81"}, "\x82\xA0\x81\r\n"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(StringList, BodyToTextToBodyKeepsEveryLine) {
    const std::vector<TLines> Bodies = {
        {}, {""}, {"", ""}, {"a", "", "b", ""}, {std::string(1000, 'z'), "x"}, {"\x81\x40", " ", "\t"}};
    for (const auto& Lines : Bodies) {
        TStringList Back;
        TextToLines(Back, LinesToText(MakeList(Lines)));
        EXPECT_EQ(LinesOf(&Back), Lines);
    }
}

TEST(StringList, AddKeepsOrderAndCountAcrossGrowth) {
    TStringList List;
    TLines Expected;
    for (int I = 0; I < 1000; ++I) {
        Expected.push_back(std::string(static_cast<std::size_t>(I % 37), static_cast<char>('a' + I % 26)));
        List.Add(Expected.back());
    }
    EXPECT_EQ(List.Count(), 1000);
    EXPECT_EQ(LinesOf(&List), Expected);
}

TEST(StringList, AddingOwnLineWhileGrowingCopiesIt) {
    TStringList List;
    List.Add(std::string(40, 'q'));
    for (int I = 0; I < 10; ++I)
        List.Add(List.Strings(0)); // the view points into the list's own storage
    ASSERT_EQ(List.Count(), 11);
    for (int I = 0; I < List.Count(); ++I)
        EXPECT_EQ(List.Strings(I), std::string(40, 'q'));
}

TEST(StringList, ClearRemovesEveryLine) {
    TStringList List = MakeList({"a", "b"});
    List.Clear();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(LinesToText(List), "");
    List.Add("c");
    EXPECT_EQ(LinesOf(&List), TLines{"c"});
}

TEST(StringList, CopiesAreIndependent) {
    TStringList A = MakeList({"one", "two"});
    TStringList B = A;
    B.Add("three");
    TStringList C;
    C = B;
    A.Clear();
    EXPECT_EQ(LinesOf(&B), (TLines{"one", "two", "three"}));
    EXPECT_TRUE(B == C);
    EXPECT_FALSE(A == B);
    TStringList D = std::move(C);
    EXPECT_EQ(C.Count(), 0);
    EXPECT_EQ(LinesOf(&D), (TLines{"one", "two", "three"}));
}

TEST(StringList, EmptyBodyDiffersFromOneEmptyLine) {
    EXPECT_FALSE(MakeList({}) == MakeList({""}));
    EXPECT_NE(LinesToText(MakeList({})), LinesToText(MakeList({""})));
}

TEST(StringList, TextCutShortByNulKeepsLittleMemory) {
    // A body whose text is mostly ignored must not hold on to room for all of it.
    TStringList List;
    TextToLines(List, "a\0"s + std::string(1 << 20, 'x'));
    EXPECT_EQ(LinesOf(&List), TLines{"a"});
    EXPECT_LT(List.Capacity(), 64u);
}

} // namespace

namespace {

// Lists filled through one arena share its blocks; each must still behave as a list of its own.
TEST(LineArena, ListsChangeIndependentlyAndOutliveTheArena) {
    std::vector<TStringList> Lists(300);
    {
        TLineArena Arena;
        for (std::size_t I = 0; I < Lists.size(); ++I)
            Arena.TextToLines(Lists[I], "line " + std::to_string(I) + "\r\nsecond " + std::string(I * 37, 'x') + "\n");
    }
    // Every kind of change on one list leaves its neighbours alone.
    Lists[1].Add("third");
    Lists[2].Reserve(10, 1000);
    Lists[3].ShrinkToFit();
    TextToLines(Lists[4], "replaced");
    TStringList Copy = Lists[5];
    Copy.Add("only in the copy");
    TStringList Moved = std::move(Lists[6]);
    Lists[7].Clear();
    Lists[8] = Lists[9];
    for (std::size_t I = 0; I < Lists.size(); ++I) {
        TLines Expected{"line " + std::to_string(I), "second " + std::string(I * 37, 'x')};
        if (I == 1)
            Expected.push_back("third");
        if (I == 4)
            Expected = {"replaced"};
        if (I == 6) {
            EXPECT_EQ(LinesOf(&Moved), Expected);
        }
        if (I == 6 || I == 7)
            Expected.clear();
        if (I == 8)
            Expected = {"line 9", "second " + std::string(9 * 37, 'x')};
        EXPECT_EQ(LinesOf(&Lists[I]), Expected) << "list " << I;
    }
    EXPECT_EQ(LinesOf(&Copy), (TLines{"line 5", "second " + std::string(5 * 37, 'x'), "only in the copy"}));
    // Adding one of its own lines to a shared list copies the line before the block is left.
    Lists[10].Add(Lists[10].Strings(0));
    EXPECT_EQ(LinesOf(&Lists[10]), (TLines{"line 10", "second " + std::string(370, 'x'), "line 10"}));
}

TEST(LineArena, TextTooLargeForItsBlocksStillSplits) {
    TLineArena Arena;
    TStringList Small, Large;
    Arena.TextToLines(Small, "a\r\n");
    const std::string Long(3 << 20, 'w');
    Arena.TextToLines(Large, Long + "\r\nend");
    EXPECT_EQ(LinesOf(&Large), (TLines{Long, "end"}));
    EXPECT_EQ(LinesOf(&Small), (TLines{"a"}));
}

} // namespace
