#include "OutlineText.h"

#include "CodePage932.h"
#include "DataFile.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One entry as a data file holds it: its level, title bytes and body text (lines + CR LF).
struct TRecord {
    int Level;
    std::string Title;
    std::string Body;
    friend bool operator==(const TRecord&, const TRecord&) = default;
};

void PrintTo(const TRecord& R, std::ostream* Os) {
    *Os << "{" << R.Level << ", " << testing::PrintToString(R.Title) << ", " << testing::PrintToString(R.Body) << "}";
}

void AppendInt32(std::string& Out, std::int32_t Value) {
    const auto Bits = static_cast<std::uint32_t>(Value);
    for (int Shift = 0; Shift < 32; Shift += 8)
        Out += static_cast<char>((Bits >> Shift) & 0xFF);
}

void AppendStr(std::string& Out, std::string_view Text) {
    AppendInt32(Out, static_cast<std::int32_t>(Text.size()));
    Out += Text;
}

// The bytes the program's writer produces for Records, built here by hand so that the
// round trip is checked against an independent picture of the file.
std::string DataFileBytes(const std::vector<TRecord>& Records) {
    std::string Out;
    AppendStr(Out, "Dummy");
    AppendInt32(Out, static_cast<std::int32_t>(Records.size()));
    std::vector<int> LastAtLevel;
    for (std::size_t k = 0; k < Records.size(); ++k) {
        const TRecord& R = Records[k];
        LastAtLevel.resize(static_cast<std::size_t>(R.Level));
        AppendInt32(Out, LastAtLevel.empty() ? -1 : LastAtLevel.back());
        AppendInt32(Out, static_cast<std::int32_t>(k));
        AppendStr(Out, R.Title);
        AppendStr(Out, R.Body);
        LastAtLevel.push_back(static_cast<int>(k));
    }
    return Out;
}

std::vector<TRecord> RecordsOf(TTreeNodes& Nodes) {
    std::vector<TRecord> Records;
    for (int k = 0; k < Nodes.EntryCount(); ++k) {
        TTreeNode* Entry = Nodes.EntryAtIndex(k);
        const TStringList* Body = TTreeNodes::EntryBody(Entry);
        Records.push_back({TTreeNodes::EntryLevel(Entry), Entry->Text(), Body ? LinesToText(*Body) : ""});
    }
    return Records;
}

std::vector<TRecord> Parse(std::string_view Text) {
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    ParseOutlineText(Nodes, Text, "t.txt");
    return RecordsOf(Nodes);
}

std::string Format(const std::vector<TRecord>& Records) {
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    std::vector<TTreeNode*> Path;
    for (const TRecord& R : Records) {
        auto* Body = new TStringList;
        TextToLines(*Body, R.Body);
        Path.resize(static_cast<std::size_t>(R.Level));
        Path.push_back(Nodes.AppendChild(Path.empty() ? nullptr : Path.back(), R.Title, Body));
    }
    return FormatOutlineText(Nodes);
}

class TScratchDir {
public:
    TScratchDir() {
        const auto* Info = testing::UnitTest::GetInstance()->current_test_info();
        std::string Name = std::string("quorvel-outline-text-") + std::to_string(getpid()) + "-" + Info->name();
        for (char& C : Name)
            if (C == '/')
                C = '-';
        FPath = fs::temp_directory_path() / Name;
        fs::remove_all(FPath);
        fs::create_directories(FPath);
    }
    ~TScratchDir() {
        std::error_code Ignored;
        fs::remove_all(FPath, Ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    std::string File(const std::string& Name) const { return (FPath / Name).string(); }

private:
    fs::path FPath;
};

std::string ReadFileBytes(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

void WriteFileBytes(const std::string& Path, const std::string& Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out << Bytes;
}

std::string ExportDataFile(const std::string& Path) {
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    EXPECT_EQ(ReadOutline(Nodes, Path), TReadResult::rrRead);
    return FormatOutlineText(Nodes);
}

// ---------------------------------------------------------------------------------------
// Data file -> text -> data file, through real files, byte for byte.

struct TRoundTripCase {
    const char* Name;
    std::vector<TRecord> Records;
};

void PrintTo(const TRoundTripCase& Case, std::ostream* Os) {
    *Os << Case.Name;
}

class OutlineTextRoundTrip : public testing::TestWithParam<TRoundTripCase> {};

TEST_P(OutlineTextRoundTrip, ExportThenImportGivesTheSameDataFile) {
    TScratchDir Dir;
    const std::string Original = DataFileBytes(GetParam().Records);
    WriteFileBytes(Dir.File("in.dat"), Original);

    const std::string Text = ExportDataFile(Dir.File("in.dat"));
    ImportOutlineText(Text, "in.txt", Dir.File("out.dat"));

    EXPECT_EQ(ReadFileBytes(Dir.File("out.dat")), Original) << Text;
    // The text is plain UTF-8 that can be handed on: exporting the result gives it again.
    EXPECT_EQ(ExportDataFile(Dir.File("out.dat")), Text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OutlineTextRoundTrip,
    testing::Values(
        TRoundTripCase{"EmptyOutline", {}},
        TRoundTripCase{"EmptyTitlesAndBodies", {{0, "", ""}, {1, "", ""}, {0, "", "\r\n"}, {1, "", "\r\n\r\n"}}},
        TRoundTripCase{"EmptyLinesInsideAndAtTheEnd", {{0, "a", "\r\nx\r\n\r\n\r\n"}, {0, "b", "x\r\n\r\n"}}},
        TRoundTripCase{"LeadingAndTrailingSpaces",
                       {{0, "  two leading", "x\r\n"}, {0, "trailing  ", "  \r\n a \r\n"}, {0, " ", " \r\n"}}},
        TRoundTripCase{"Backslashes",
                       {{0, "\\", "\\\r\n\\\\x41\\\r\n"}, {0, "C:\\x41\\\\", "\\x\r\n"}, {0, "end\\", "\\\\\r\n"}}},
        TRoundTripCase{
            "FormatMarksInsideText",
            {{0, "# not a comment", "# x\r\n* y\r\n| z\r\n"}, {1, "* star", "|\r\n"}, {1, "| bar", "*\r\n"}}},
        TRoundTripCase{"CharactersWithASecondCode",
                       {{0, "\x87\x90", "\x87\x90\x81\xE0\r\n"},
                        {0, "\xED\x40\xFA\x5C", "\xED\x40\r\n"},
                        {0, "\xEE\xEF\xFA\x40", "\x87\x40\r\n"}}},
        TRoundTripCase{"UndecodableBytes",
                       {{0, "\x80", "\xA0\r\n"},
                        {0, "\xFD\xFE\xFF", "\x82\r\n"},
                        {0, "a\x82", "\x81 \r\n"},
                        {0, "\x81\x7F", "b\x81\r\n"}}},
        TRoundTripCase{"ControlBytes",
                       {{0, "a\rb", "tab\there\r\n"},
                        {0, "a\nb\r\n", "\x01\x1F\x7F\r\n"},
                        {0, std::string("a\0b", 3), "\x1B[0m\r\n"},
                        {0, "\t\x7F", ""}}},
        TRoundTripCase{"JapaneseAndHalfWidthKatakana",
                       {{0, "\x82\xA0\x81\x40\xB1", "\x82\xA0\x81\x60\r\n\x81\x40\r\n"}, {1, "\xDF\xA1", ""}}},
        TRoundTripCase{"DeepLevelsAndBackToTheTop",
                       {{0, "0", ""},
                        {1, "1", "x\r\n"},
                        {2, "2", ""},
                        {3, "3", ""},
                        {4, "4", ""},
                        {5, "5", "y\r\n"},
                        {2, "2b", ""},
                        {0, "0b", ""},
                        {1, "1b", ""}}}),
    [](const testing::TestParamInfo<TRoundTripCase>& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------------------------------
// The text of an outline, both ways: readable where it can be, escaped where it must be.

struct TCanonicalCase {
    const char* Name;
    std::vector<TRecord> Records;
    const char* Text;
};

void PrintTo(const TCanonicalCase& Case, std::ostream* Os) {
    *Os << Case.Name;
}

class OutlineTextCanonical : public testing::TestWithParam<TCanonicalCase> {};

TEST_P(OutlineTextCanonical, FormatsToTheText) {
    EXPECT_EQ(Format(GetParam().Records), GetParam().Text);
}

TEST_P(OutlineTextCanonical, ParsesBackToTheEntries) {
    EXPECT_EQ(Parse(GetParam().Text), GetParam().Records);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OutlineTextCanonical,
    testing::Values(
        TCanonicalCase{"TwoLevels", {{0, "A", "ab\r\ncd\r\n"}, {1, "B", ""}}, "* A\n  | ab\n  | cd\n  * B\n"},
        TCanonicalCase{"EmptyTitleAndEmptyLine", {{0, "", "\r\n"}, {0, "", ""}}, "*\n  |\n*\n"},
        TCanonicalCase{"Japanese", {{0, "\x82\xA0", "\x81\x40\xB1\r\n"}}, "* あ\n  | 　ｱ\n"},
        TCanonicalCase{"Backslash", {{0, "a\\b", "\\x41\r\n"}}, "* a\\\\b\n  | \\\\x41\n"},
        TCanonicalCase{"SecondCodeEscapedWhole", {{0, "\x87\x90\xED\x40", ""}}, "* \\x87\\x90\\xED\\x40\n"},
        TCanonicalCase{"PreferredCodeLiteral", {{0, "\x81\xE0\xFA\x5C", ""}}, "* ≒纊\n"},
        TCanonicalCase{"BadTrailEscapesTheLeadAlone", {{0, "\x81 x", ""}}, "* \\x81 x\n"},
        TCanonicalCase{"LeadByteAtTheEnd", {{0, "a\x82", ""}}, "* a\\x82\n"},
        TCanonicalCase{"ControlBytes", {{0, "\r\t\x7F", ""}}, "* \\x0D\\x09\\x7F\n"},
        TCanonicalCase{"Deeper",
                       {{0, "a", ""}, {1, "b", "x\r\n"}, {2, "c", ""}, {0, "d", ""}},
                       "* a\n  * b\n    | x\n    * c\n* d\n"}),
    [](const testing::TestParamInfo<TCanonicalCase>& Info) { return std::string(Info.param.Name); });

// Texts written by hand in other accepted shapes read as their canonical form.
struct TVariantCase {
    const char* Name;
    std::string Text;
    std::string Canonical;
};

void PrintTo(const TVariantCase& Case, std::ostream* Os) {
    *Os << Case.Name;
}

class OutlineTextVariants : public testing::TestWithParam<TVariantCase> {};

TEST_P(OutlineTextVariants, ReadsLikeTheCanonicalText) {
    EXPECT_EQ(Format(Parse(GetParam().Text)), GetParam().Canonical);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, OutlineTextVariants,
    testing::Values(TVariantCase{"StarSpaceIsAnEmptyTitle", "* \n  * \n", "*\n  *\n"},
                    TVariantCase{"CommentsAndBlankLines", "# head\n\n* a\n   \n# mid\n  | x\n\n  * b\n#\n",
                                 "* a\n  | x\n  * b\n"},
                    TVariantCase{"WindowsLineEnds", "* a\r\n  | x\r\n  |\r\n", "* a\n  | x\n  |\n"},
                    TVariantCase{"ByteOrderMark", "\xEF\xBB\xBF* a\n", "* a\n"},
                    TVariantCase{"NoFinalLineEnd", "* a\n  | x", "* a\n  | x\n"},
                    TVariantCase{"LowerCaseHex", "* \\x0d\\xff\n", "* \\x0D\\xFF\n"},
                    TVariantCase{"EscapedPrintableByte", "* \\x41\\x5c\n", "* A\\\\\n"},
                    TVariantCase{"LiteralTab", "* a\tb\n", "* a\\x09b\n"},
                    TVariantCase{"EscapedCharacterThatReadsBack", "* \\x81\\xE0\\x82\\xA0\n", "* ≒あ\n"},
                    TVariantCase{"OnlyComments", "# nothing\n\n", ""}),
    [](const testing::TestParamInfo<TVariantCase>& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------------------------------
// Refusals: the line is named and the outline is left as it was.

struct TErrorCase {
    const char* Name;
    std::string Text;
    int Line;
    const char* Fragment; // part of the message
};

void PrintTo(const TErrorCase& Case, std::ostream* Os) {
    *Os << Case.Name;
}

class OutlineTextErrors : public testing::TestWithParam<TErrorCase> {};

TEST_P(OutlineTextErrors, RefusesWithTheLineAndAddsNothing) {
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    Nodes.AppendChild(nullptr, "kept", new TStringList);
    try {
        ParseOutlineText(Nodes, GetParam().Text, "youken.txt");
        FAIL() << "accepted";
    } catch (const EOutlineTextError& Error) {
        EXPECT_EQ(Error.Line(), GetParam().Line);
        const std::string Message = Error.Message();
        EXPECT_TRUE(Message.starts_with("youken.txt:" + std::to_string(GetParam().Line) + ": ")) << Message;
        EXPECT_NE(Message.find(GetParam().Fragment), std::string::npos) << Message;
    }
    ASSERT_EQ(Nodes.EntryCount(), 1);
    EXPECT_EQ(Nodes.EntryAtIndex(0)->Text(), "kept");
}

INSTANTIATE_TEST_SUITE_P(Texts, OutlineTextErrors,
                         testing::Values(TErrorCase{"CharacterOutsideTheCodePage",
                                                    "# c\n* a\n  | ok\n  | smile 😀 here\n", 4, "\"😀\"(U+1F600)"},
                                         TErrorCase{"EuroSign", "* price €\n", 1, "U+20AC"},
                                         TErrorCase{"InvalidUtf8", "* a\n* b\xFF\n", 2, "UTF-8"},
                                         TErrorCase{"OverlongUtf8", "* \xC0\xAF\n", 1, "UTF-8"},
                                         TErrorCase{"EncodedSurrogate", "* \xED\xA0\x80\n", 1, "UTF-8"},
                                         TErrorCase{"UnknownEscape", "* a\n  | C:\\temp\n", 2, "\\xHH"},
                                         TErrorCase{"ShortHexEscape", "* \\x4\n", 1, "\\xHH"},
                                         TErrorCase{"NonHexEscape", "* \\xZZ\n", 1, "\\xHH"},
                                         TErrorCase{"BackslashAtTheEnd", "* a\\\n", 1, "\\xHH"},
                                         TErrorCase{"RawControlCharacter", "* a\x01\n", 1, "\\x01"},
                                         TErrorCase{"RawCarriageReturnInsideALine", "* a\rb\n", 1, "\\x0D"},
                                         TErrorCase{"TabIndentation", "* a\n\t* b\n", 2, "タブ"},
                                         TErrorCase{"OddIndentation", "* a\n   * b\n", 2, "2 文字"},
                                         TErrorCase{"TwoLevelsDeeper", "* a\n  * b\n\n      * c\n", 4, "深すぎ"},
                                         TErrorCase{"FirstEntryIndented", "# x\n  * a\n", 2, "最初の項目"},
                                         TErrorCase{"BodyLineBeforeAnyEntry", "\n  | orphan\n* a\n", 2, "\"*\""},
                                         TErrorCase{"BodyLineWrongIndentation", "* a\n  * b\n  | x\n", 3,
                                                    "空白 4 文字"},
                                         TErrorCase{"NoSpaceAfterStar", "* a\n*b\n", 2, "\"*\" の後"},
                                         TErrorCase{"NoSpaceAfterBar", "* a\n  |x\n", 2, "\"|\" の後"},
                                         TErrorCase{"IndentedComment", "* a\n  # x\n", 2, "\"#\""},
                                         TErrorCase{"PlainTextLine", "* a\nsome text\n", 2, "\"|\""},
                                         TErrorCase{"CarriageReturnInABodyLine", "* a\n  | x\\x0Dy\n", 2, "CR"},
                                         TErrorCase{"NulInABodyLine", "* a\n  | \\x00\n", 2, "NUL"}),
                         [](const testing::TestParamInfo<TErrorCase>& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------------------------------
// Import writes nothing on a refusal.

TEST(OutlineTextImport, RefusedTextLeavesNoFile) {
    TScratchDir Dir;
    EXPECT_THROW(ImportOutlineText("* a\n* 😀\n", "bad.txt", Dir.File("new.dat")), EOutlineTextError);
    EXPECT_FALSE(fs::exists(Dir.File("new.dat")));
}

TEST(OutlineTextImport, RefusedTextKeepsTheExistingFile) {
    TScratchDir Dir;
    const std::string Before = DataFileBytes({{0, "mine", "x\r\n"}});
    WriteFileBytes(Dir.File("youken.dat"), Before);
    EXPECT_THROW(ImportOutlineText("* a\n    * b\n", "bad.txt", Dir.File("youken.dat")), EOutlineTextError);
    EXPECT_EQ(ReadFileBytes(Dir.File("youken.dat")), Before);
}

// A data file in another shape than the program writes (a foreign header, a body without
// its final line end) comes back the way loading and saving it in the program would.
TEST(OutlineTextImport, ForeignShapeIsNormalisedLikeLoadAndSave) {
    TScratchDir Dir;
    std::string Foreign;
    AppendStr(Foreign, "Other header");
    AppendInt32(Foreign, 1);
    AppendInt32(Foreign, -1);
    AppendInt32(Foreign, 7);
    AppendStr(Foreign, "t");
    AppendStr(Foreign, "a\nb");
    WriteFileBytes(Dir.File("foreign.dat"), Foreign);

    ImportOutlineText(ExportDataFile(Dir.File("foreign.dat")), "f.txt", Dir.File("out.dat"));

    EXPECT_EQ(ReadFileBytes(Dir.File("out.dat")), DataFileBytes({{0, "t", "a\r\nb\r\n"}}));
}

} // namespace

namespace {

// Characters are encoded through tables built once; they must agree with the converter for
// every character it accepts, the one-way mappings included.
TEST(OutlineTextCharacters, EveryCharacterReadsAsTheConverterEncodesIt) {
    std::string Text;
    std::vector<std::string> Expected;
    for (char32_t Code = 0x20; Code <= 0xFFFF; ++Code) {
        if (Code == 0x7F || Code == '\\' || (Code >= 0xD800 && Code <= 0xDFFF))
            continue;
        std::string Utf8;
        if (Code < 0x80) {
            Utf8 += static_cast<char>(Code);
        } else if (Code < 0x800) {
            Utf8 += static_cast<char>(0xC0 | (Code >> 6));
            Utf8 += static_cast<char>(0x80 | (Code & 0x3F));
        } else {
            Utf8 += static_cast<char>(0xE0 | (Code >> 12));
            Utf8 += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
            Utf8 += static_cast<char>(0x80 | (Code & 0x3F));
        }
        std::string Bytes;
        std::size_t Bad = 0;
        if (!TCodePage932::FromUtf8(Utf8, Bytes, Bad))
            continue;
        Text += "* " + Utf8 + "\n";
        Expected.push_back(Bytes);
    }
    ASSERT_GT(Expected.size(), 7000u); // the whole repertoire, not a handful

    const std::vector<TRecord> Records = Parse(Text);

    ASSERT_EQ(Records.size(), Expected.size());
    for (std::size_t k = 0; k < Records.size(); ++k)
        ASSERT_EQ(Records[k].Title, Expected[k]) << "entry " << k;
}

} // namespace
