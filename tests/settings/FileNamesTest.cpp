#include "FileNames.h"

#include "CodePage932.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

const TNameRules Windows = TNameRules::WindowsCodePage932();
const TNameRules Linux = TNameRules::Platform();

struct TDelimiterCase {
    const char* Name;
    TByteString Text;
    std::size_t Expected;
};

std::ostream& operator<<(std::ostream& Out, const TDelimiterCase& Case) {
    return Out << Case.Name;
}

class LastSeparatorCp932 : public ::testing::TestWithParam<TDelimiterCase> {};

TEST_P(LastSeparatorCp932, SkipsSecondBytesOfDoubleByteCharacters) {
    EXPECT_EQ(LastDelimiter("\\:", GetParam().Text, Windows), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileNames, LastSeparatorCp932,
    ::testing::Values(TDelimiterCase{"None", "Study.ini", NoDelimiter}, TDelimiterCase{"Empty", "", NoDelimiter},
                      TDelimiterCase{"Backslash", "C:\\Apps\\STUDY.EXE", 7}, TDelimiterCase{"Colon", "D:x.ini", 1},
                      TDelimiterCase{"TrailingSeparator", "C:\\Apps\\", 7},
                      TDelimiterCase{"HyouOnly", "\x95\x5C.ini", NoDelimiter},
                      TDelimiterCase{"HyouAfterSeparator", "a\\\x95\x5C.ini", 1},
                      TDelimiterCase{"SeparatorAfterHyou", "\x95\x5C\\x", 2},
                      // Runs of lead bytes: the byte after an odd run is a second byte.
                      TDelimiterCase{"RunOfOne", "\x81\\", NoDelimiter}, TDelimiterCase{"RunOfTwo", "\x81\x81\\", 2},
                      TDelimiterCase{"RunOfThree", "\x81\x81\x81\\", NoDelimiter},
                      TDelimiterCase{"RunOfFourAfterSeparator", "\\\xE0\xFC\x9F\x81\\", 5},
                      TDelimiterCase{"LeadByteAtEnd", "a\\\x81", 1},
                      TDelimiterCase{"ZeroByteNeverCounts", TByteString("a\\\0", 3), 1},
                      TDelimiterCase{"LeadThenZeroThenSeparator", TByteString("\x81\0\\", 3), 2},
                      TDelimiterCase{"KatakanaHalfWidthIsSingle", "\xA6\\", 1}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The rule as stated: walking back from the end, a byte is a second byte when the
// run of lead bytes directly before it is odd, and the walk then skips its lead.
std::size_t LastDelimiterByRuns(TByteView Delimiters, TByteView Name) {
    std::size_t At = Name.size();
    while (At > 0) {
        const std::size_t Index = At - 1;
        std::size_t Run = 0;
        while (Run < Index && TCodePage932::IsLeadByte(static_cast<unsigned char>(Name[Index - 1 - Run])))
            ++Run;
        if (Run % 2 == 1) {
            At = Index - 1;
            continue;
        }
        if (Name[Index] != '\0' && Delimiters.find(Name[Index]) != TByteView::npos)
            return Index;
        At = Index;
    }
    return NoDelimiter;
}

TEST(FileNames, ZeroByteNeverCountsEvenWhenSearchedFor) {
    const TByteView WithZero("\\\0", 2);
    EXPECT_EQ(LastDelimiter(WithZero, TByteView("a\0b", 3), Windows), NoDelimiter);
    EXPECT_EQ(LastDelimiter(WithZero, TByteView("a\\b\0", 4), Windows), 1u);
    EXPECT_EQ(LastDelimiter(WithZero, TByteView("/\0", 2), Linux), NoDelimiter);
}

TEST(FileNames, LastSeparatorAgreesWithTheRunRuleOnRandomNames) {
    const char Alphabet[] = {'\x81', '\x9F', '\xE0', '\x5C', ':', 'a', '.', '\0', '\xA6'};
    std::mt19937 Random(932);
    std::uniform_int_distribution<std::size_t> Pick(0, sizeof Alphabet - 1);
    std::uniform_int_distribution<std::size_t> Length(0, 12);
    for (int Round = 0; Round < 20000; ++Round) {
        TByteString Name;
        for (std::size_t Count = Length(Random); Count > 0; --Count)
            Name += Alphabet[Pick(Random)];
        ASSERT_EQ(LastDelimiter("\\:", Name, Windows), LastDelimiterByRuns("\\:", Name))
            << ::testing::PrintToString(Name);
        ASSERT_EQ(LastDelimiter(".\\:", Name, Windows), LastDelimiterByRuns(".\\:", Name))
            << ::testing::PrintToString(Name);
    }
}

struct TNameCase {
    TByteString Name;
    TByteString Directory;
    TByteString File;
};

TEST(FileNames, DirectoryAndFileParts) {
    const std::vector<TNameCase> WindowsCases = {
        {"C:\\Apps\\STUDY.EXE", "C:\\Apps\\", "STUDY.EXE"},
        {"STUDY.EXE", "", "STUDY.EXE"},
        {"D:x.ini", "D:", "x.ini"},
        {"C:\\", "C:\\", ""},
        {"", "", ""},
        {"\x95\x5C.ini", "", "\x95\x5C.ini"},
        {"C:\\\x95\x5C\\\x95\x5C.EXE", "C:\\\x95\x5C\\", "\x95\x5C.EXE"},
        {"/opt/q/quorvel", "", "/opt/q/quorvel"},
    };
    for (const auto& Case : WindowsCases) {
        EXPECT_EQ(ExtractFilePath(Case.Name, Windows), Case.Directory) << Case.Name;
        EXPECT_EQ(ExtractFileName(Case.Name, Windows), Case.File) << Case.Name;
    }
    const std::vector<TNameCase> LinuxCases = {
        {"/opt/q/quorvel", "/opt/q/", "quorvel"},
        {"quorvel", "", "quorvel"},
        {"/quorvel", "/", "quorvel"},
        {"C:\\Apps\\STUDY.EXE", "", "C:\\Apps\\STUDY.EXE"},
        // UTF-8 bytes are never lead bytes here: 表 is E8 A1 A8.
        {"/opt/表/\xE8\xA1\xA8", "/opt/表/", "表"},
    };
    for (const auto& Case : LinuxCases) {
        EXPECT_EQ(ExtractFilePath(Case.Name, Linux), Case.Directory) << Case.Name;
        EXPECT_EQ(ExtractFileName(Case.Name, Linux), Case.File) << Case.Name;
    }
}

TEST(FileNames, ChangeExtension) {
    const std::vector<std::pair<TByteString, TByteString>> WindowsCases = {
        {"STUDY.EXE", "STUDY.INI"},
        {"my.tool.exe", "my.tool.INI"},
        {"tool", "tool.INI"},
        {"", ".INI"},
        {".hidden", ".INI"},
        {"trailingdot.", "trailingdot.INI"},
        {"C:\\dir.d\\tool", "C:\\dir.d\\tool.INI"},
        {"D:x.y:z", "D:x.y:z.INI"},
        // 0x2E after a lead byte is a second byte, not a dot.
        {"\x81.EXE", "\x81.EXE.INI"},
        {"a\x81.", "a\x81..INI"},
    };
    for (const auto& [Name, Expected] : WindowsCases)
        EXPECT_EQ(ChangeFileExt(Name, ".INI", Windows), Expected) << Name;
    EXPECT_EQ(ChangeFileExt("/opt/q.d/quorvel", ".INI", Linux), "/opt/q.d/quorvel.INI");
    EXPECT_EQ(ChangeFileExt("/opt/q.d/quorvel.bin", ".INI", Linux), "/opt/q.d/quorvel.INI");
    EXPECT_EQ(ChangeFileExt("a.b\\c", ".INI", Linux), "a.INI");
}

TEST(FileNames, LowersOnlyAToZ) {
    const std::vector<std::pair<TByteString, TByteString>> Cases = {
        {"STUDY.INI", "study.ini"},
        {"My.Tool.INI", "my.tool.ini"},
        {"@AZ[`az{", "@az[`az{"},
        {"\x83\x41\x83\x76\x83\x8A.INI", "\x83\x61\x83\x76\x83\x8A.ini"},
        {"\xC0\xC9\xDA", "\xC0\xC9\xDA"},
        {"ＡＢＣ", "ＡＢＣ"},
        {"", ""},
    };
    for (const auto& [Name, Expected] : Cases)
        EXPECT_EQ(LowerAsciiLetters(Name), Expected) << Name;
}

} // namespace
