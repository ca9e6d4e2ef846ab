#include "IniFiles.h"

#include "Errors.h"
#include "TempFiles.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using SettingsTest::ReadFileText;
using SettingsTest::TTempDir;
using SettingsTest::WriteFileText;

namespace {

// A store whose text reads return one fixed text, or the given default when the
// value counts as missing, and which records every text write.
class TTextIniFile : public TCustomIniFile {
public:
    TTextIniFile() : TCustomIniFile("fixed.ini") {}

    TByteString ReadText(const TByteString& Section, const TByteString& Key,
                         const TByteString& Default) const override {
        Reads.emplace_back(Section, Key, Default);
        return Present ? Text : Default;
    }
    void WriteText(const TByteString& Section, const TByteString& Key, const TByteString& Value) override {
        Writes.emplace_back(Section, Key, Value);
    }

    bool Present = true;
    TByteString Text;
    mutable std::vector<std::tuple<TByteString, TByteString, TByteString>> Reads;
    std::vector<std::tuple<TByteString, TByteString, TByteString>> Writes;
};

constexpr std::int32_t DefaultA = 123456789;
constexpr std::int32_t DefaultB = -987654321;

struct TIntTextCase {
    const char* Name;
    TByteString Text;
    bool Valid;
    std::int32_t Value;
};

std::ostream& operator<<(std::ostream& Out, const TIntTextCase& Case) {
    return Out << Case.Name;
}

TIntTextCase Gives(const char* Name, TByteString Text, std::int32_t Value) {
    return {Name, std::move(Text), true, Value};
}
TIntTextCase Rejects(const char* Name, TByteString Text) {
    return {Name, std::move(Text), false, 0};
}

class IntegerText : public ::testing::TestWithParam<TIntTextCase> {};

TEST_P(IntegerText, GivesItsValueOrTheCallersDefault) {
    const auto& Case = GetParam();
    for (const std::int32_t Default : {DefaultA, DefaultB}) {
        TTextIniFile Store;
        Store.Text = Case.Text;
        const auto Result = Store.ReadInt("form", "form1.top", Default);
        EXPECT_EQ(Result, Case.Valid ? Case.Value : Default) << "default " << Default;
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReadInt, IntegerText,
    ::testing::Values(
        // Hexadecimal prefixes.
        Gives("Decimal31", "31", 31), Gives("ZeroXUpperDigits", "0x1F", 31), Gives("ZeroXMixed", "0X1f", 31),
        Gives("LowerX", "x1F", 31), Gives("UpperX", "X1F", 31), Gives("Dollar", "$1f", 31),
        Gives("SpacedZeroX", "  0x1F", 31), Gives("SpacedDollar", "  $5", 5), Gives("ZeroXZero", "0x0", 0),
        Gives("DollarZero", "$0", 0), Gives("MixedCaseDigits", "$fFfF", 65535),
        // Blanks.
        Gives("LeadingSpaces", "   42", 42), Rejects("TrailingSpace", "42 "), Rejects("LeadingTab", "\t42"),
        Rejects("LeadingNewline", "\n42"), Rejects("TrailingNewline", "42\n"), Rejects("SpaceAfterPrefix", "$ 1F"),
        Rejects("SpaceInsideZeroX", "0x 1F"), Rejects("SpaceAfterSign", "- 5"), Gives("SpacesThenMinus", " -5", -5),
        // Signs and leading zeros.
        Gives("Plus", "+7", 7), Gives("MinusZero", "-0", 0), Gives("LeadingZeroIsNotOctal", "012", 12),
        Gives("Zero", "0", 0), Gives("ManyLeadingZeros", "00000000000000000000000042", 42),
        Rejects("DoubleMinus", "--5"), Rejects("PlusMinus", "+-5"),
        // Decimal range.
        Gives("Max", "2147483647", INT_MAX), Gives("PlusMax", "+2147483647", INT_MAX),
        Gives("Min", "-2147483648", INT_MIN), Gives("MinWithZeros", "-00000000002147483648", INT_MIN),
        Rejects("AboveMax", "2147483648"), Rejects("PlusAboveMax", "+2147483648"), Rejects("BelowMin", "-2147483649"),
        Rejects("FarTooLong", "99999999999999999999999"),
        // Hexadecimal range.
        Gives("AllOnes", "$FFFFFFFF", -1), Gives("ZeroXAllOnes", "0xFFFFFFFF", -1),
        Gives("HighBit", "$80000000", INT_MIN), Gives("ZeroXHighBit", "0X80000000", INT_MIN),
        Gives("HexMax", "$7FFFFFFF", INT_MAX), Gives("MinusTwo", "$FFFFFFFE", -2),
        Gives("NineDigitsWithLeadingZero", "$000000001", 1), Gives("LongLeadingZeros", "$0000000000000000FFFFFFFF", -1),
        Rejects("NineSignificantDigits", "$123456789"), Rejects("ThirtyThreeBits", "$100000000"),
        // No sign before a prefix.
        Rejects("MinusZeroX", "-0x10"), Rejects("MinusDollar", "-$10"), Rejects("PlusDollar", "+$10"),
        Rejects("SpacePlusDollar", " +$5"), Rejects("ZeroXMinus", "0x-1"),
        // Nothing but a prefix or a sign.
        Rejects("ZeroXAlone", "0x"), Rejects("ZeroUpperXAlone", "0X"), Rejects("DollarAlone", "$"),
        Rejects("XAlone", "x"), Rejects("PlusAlone", "+"), Rejects("MinusAlone", "-"), Rejects("Empty", ""),
        Rejects("SpacesOnly", "   "),
        // Other bytes.
        Rejects("Letters", "abc"), Rejects("HexDigitsWithoutPrefix", "1F"), Rejects("Exponent", "1e3"),
        Rejects("TrailingLetter", "12a"), Rejects("BadHexDigit", "$1G"), Rejects("BinaryPrefix", "0b101"),
        Rejects("HashPrefix", "#10"), Rejects("Separator", "1_000"), Rejects("Comma", "1,000"),
        Rejects("FullWidthDigit", "\xEF\xBC\x91"),
        Rejects("EmbeddedZeroByte", TByteString("4\0"
                                                "2",
                                                3)),
        Rejects("ZeroXTwice", "0x0x1")),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ReadInt, AsksForTheTextWithAnEmptyDefault) {
    // A missing value must reach the integer conversion as the empty text, which
    // is invalid, so the caller's default comes back.
    for (const std::int32_t Default : {0, 80, -1, INT_MIN}) {
        TTextIniFile Store;
        Store.Present = false;
        EXPECT_EQ(Store.ReadInt("form", "form1.width", Default), Default);
        ASSERT_EQ(Store.Reads.size(), 1u);
        EXPECT_EQ(Store.Reads[0], std::make_tuple(TByteString("form"), TByteString("form1.width"), TByteString()));
    }
}

TEST(WriteInt, WritesPlainDecimalText) {
    const std::vector<std::pair<std::int32_t, TByteString>> Cases = {
        {0, "0"},
        {7, "7"},
        {-7, "-7"},
        {80, "80"},
        {1000, "1000"},
        {-100, "-100"},
        {INT_MAX, "2147483647"},
        {INT_MIN, "-2147483648"},
    };
    for (const auto& [Value, Text] : Cases) {
        TTextIniFile Store;
        Store.WriteInt("form", "form1.left", Value);
        ASSERT_EQ(Store.Writes.size(), 1u);
        EXPECT_EQ(Store.Writes[0], std::make_tuple(TByteString("form"), TByteString("form1.left"), Text));
    }
}

// The real store on a scratch folder.
class IniFileOnDisk : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string Path = Dir.Path("Quorvel.ini");
};

TEST_F(IniFileOnDisk, EveryValueReadsBackWhateverTheDefault) {
    std::vector<std::int32_t> Values = {0,   1,   -1,   80,    700,   INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1,
                                        255, 256, -256, 65535, 65536, -65536,  0x7FFF,  -0x8000};
    std::mt19937 Random(20240611);
    std::uniform_int_distribution<std::int32_t> Any(INT_MIN, INT_MAX);
    for (int Count = 0; Count < 2000; ++Count)
        Values.push_back(Any(Random));

    TIniFile Writer(Path);
    for (const auto Value : Values) {
        Writer.WriteInt("form", "form1.top", Value);
        // A store of its own, so nothing is carried over from the writer.
        const TIniFile Reader(Path);
        std::int32_t Default = Any(Random);
        if (Default == Value)
            Default = ~Value;
        ASSERT_EQ(Reader.ReadInt("form", "form1.top", Default), Value);
        ASSERT_EQ(Reader.ReadInt("form", "form1.top", Value ^ 1), Value);
    }
    EXPECT_EQ(ReadFileText(Path), "[form]\nform1.top=" + std::to_string(Values.back()) + "\n");
}

TEST_F(IniFileOnDisk, WritesSectionAndKeyLinesInPlainText) {
    TIniFile Store(Path);
    Store.WriteInt("form", "form1.top", 80);
    EXPECT_EQ(ReadFileText(Path), "[form]\nform1.top=80\n");
    Store.WriteInt("form", "form1.left", -12);
    Store.WriteInt("form", "form1.width", 700);
    Store.WriteInt("form", "form1.top", 81);
    const auto Text = ReadFileText(Path);
    // Keys stay in the order they were first written; a new value takes the old one's place.
    EXPECT_EQ(Text, "[form]\nform1.top=81\nform1.left=-12\nform1.width=700\n");
}

TEST_F(IniFileOnDisk, MissingFileSectionOrKeyGivesTheDefault) {
    const TIniFile Store(Path);
    EXPECT_EQ(Store.ReadInt("form", "form1.top", 80), 80);
    EXPECT_EQ(Store.ReadText("form", "form1.top", "none"), "none");
    WriteFileText(Path, "[form]\nform1.top=5\n");
    EXPECT_EQ(Store.ReadInt("form", "form1.left", 80), 80);
    EXPECT_EQ(Store.ReadInt("other", "form1.top", 80), 80);
    EXPECT_EQ(Store.ReadInt("form", "form1.top", 80), 5);
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("other.ini")));
}

TEST_F(IniFileOnDisk, ReadsWhatAnotherProgramPutInTheFile) {
    TIniFile Store(Path);
    Store.WriteInt("form", "form1.top", 80);
    WriteFileText(Path, "[form]\nform1.top=12345\nform1.left=0x10\n");
    EXPECT_EQ(Store.ReadInt("form", "form1.top", 0), 12345);
    EXPECT_EQ(Store.ReadInt("form", "form1.left", 0), 16);
    std::filesystem::remove(Path);
    EXPECT_EQ(Store.ReadInt("form", "form1.top", 80), 80);
}

TEST_F(IniFileOnDisk, HandWrittenValues) {
    const std::vector<std::tuple<std::string, std::int32_t>> Cases = {
        {"form1.top=80", 80}, {"form1.top = 80 ", 80},  {"form1.top=\"0x10\"", 16},
        {"form1.top=-7", -7}, {"form1.top=1,2", 99},    {"form1.top=@Rect(1 2 3 4)", 99},
        {"form1.top=", 99},   {"form1.top=eighty", 99}, {"form1.top=2147483648", 99},
    };
    for (const auto& [Line, Expected] : Cases) {
        WriteFileText(Path, "[form]\n" + Line + "\n");
        EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.top", 99), Expected) << Line;
    }
}

TEST_F(IniFileOnDisk, TextsReadBackByteForByte) {
    const std::vector<TByteString> Values = {
        "",
        "80",
        "1, 2",
        "a,b,c",
        "  lead",
        "trail  ",
        "a;b=c",
        "\"quoted\"",
        "@Variant(x)",
        "@@",
        "@ByteArray(z)",
        "tab\there",
        "line\r\nbreak",
        "back\\slash",
        "%41%",
        "#not a comment",
        "[section]",
        "日本語の値",
        "\x95\x5C\x83\x41",
        "\xFF",
        "ﾌｧｲﾙ",
    };
    TIniFile Writer(Path);
    for (std::size_t Index = 0; Index < Values.size(); ++Index)
        Writer.WriteText("values", "v" + std::to_string(Index), Values[Index]);
    const TIniFile Reader(Path);
    for (std::size_t Index = 0; Index < Values.size(); ++Index)
        EXPECT_EQ(Reader.ReadText("values", "v" + std::to_string(Index), "missing"), Values[Index]) << Index;
}

TEST_F(IniFileOnDisk, ReadTextStopsAt2047Bytes) {
    TIniFile Store(Path);
    const std::vector<std::pair<std::size_t, std::size_t>> Lengths = {
        {0, 0}, {2046, 2046}, {2047, 2047}, {2048, 2047}, {5000, 2047}};
    for (const auto& [Written, Read] : Lengths) {
        TByteString Value;
        for (std::size_t Index = 0; Index < Written; ++Index)
            Value += static_cast<char>('a' + Index % 26);
        Store.WriteText("long", "value", Value);
        EXPECT_EQ(Store.ReadText("long", "value", ""), Value.substr(0, Read)) << Written;
    }
    // The default is cut the same way.
    EXPECT_EQ(Store.ReadText("long", "missing", TByteString(3000, 'd')), TByteString(2047, 'd'));
}

TEST_F(IniFileOnDisk, CreatingAStoreTouchesNoFile) {
    for (const auto& Name : {std::string(), Dir.Path(), Dir.Path("missing/x.ini"), Path}) {
        const TIniFile Store(Name);
        EXPECT_EQ(Store.FileName(), Name);
    }
    EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
}

// Paths that cannot be written, built inside the scratch folder.
struct TUnwritableCase {
    const char* Name;
    std::string (*Make)(const TTempDir& Dir);
};

std::ostream& operator<<(std::ostream& Out, const TUnwritableCase& Case) {
    return Out << Case.Name;
}

class UnwritablePath : public ::testing::TestWithParam<TUnwritableCase> {};

TEST_P(UnwritablePath, WriteRaisesTheErrorNamingThePath) {
    TTempDir Dir;
    const std::string Path = GetParam().Make(Dir);
    TIniFile Store(Path);
    try {
        Store.WriteInt("form", "form1.top", 80);
        FAIL() << "no error for " << Path;
    } catch (const Exception& Error) {
        EXPECT_EQ(std::string(Error.what()), Path + " に書き込めません");
    }
    // Reading the same path stays quiet, and no folder was made on the way.
    EXPECT_EQ(Store.ReadInt("form", "form1.top", 700), 700);
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("missing")));
}

INSTANTIATE_TEST_SUITE_P(
    WriteText, UnwritablePath,
    ::testing::Values(TUnwritableCase{"MissingDirectory",
                                      [](const TTempDir& Dir) { return Dir.Path("missing/Quorvel.ini"); }},
                      TUnwritableCase{"MissingDirectories",
                                      [](const TTempDir& Dir) { return Dir.Path("missing/deeper/Quorvel.ini"); }},
                      TUnwritableCase{"UnderARegularFile",
                                      [](const TTempDir& Dir) {
                                          WriteFileText(Dir.Path("file"), "x");
                                          return Dir.Path("file/Quorvel.ini");
                                      }},
                      TUnwritableCase{"ADirectory", [](const TTempDir& Dir) { return Dir.Path(); }},
                      TUnwritableCase{"EmptyName", [](const TTempDir&) { return std::string(); }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A settings file that exists but cannot be replaced.
class ReadOnlyIniFile : public IniFileOnDisk {
protected:
    void Prepare(const std::string& Text) {
        WriteFileText(Path, Text);
        if (!SettingsTest::MakeUnwritable(Path))
            GTEST_SKIP() << "cannot make a file unwritable here";
    }
};

TEST_F(ReadOnlyIniFile, FailedWriteLeavesFileAndLaterReadsAsTheyWere) {
    Prepare("[form]\nform1.top=1\n");
    if (IsSkipped())
        return;
    TIniFile Store(Path);
    EXPECT_THROW(Store.WriteInt("form", "form1.top", 2), Exception);
    EXPECT_THROW(Store.WriteInt("form", "form1.left", 3), Exception);
    EXPECT_EQ(ReadFileText(Path), "[form]\nform1.top=1\n");
    // Later reads in this process see the file, not the values that were refused.
    EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.top", 80), 1);
    EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.left", 80), 80);
}

TEST_F(ReadOnlyIniFile, DamagedFileStillReportsTheFailure) {
    Prepare("[broken\n[form]\nform1.top=1\n");
    if (IsSkipped())
        return;
    TIniFile Store(Path);
    EXPECT_THROW(Store.WriteInt("form", "form1.top", 2), Exception);
    EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.top", 80), 1);
}

TEST_F(IniFileOnDisk, DamagedWritableFileTakesTheWrite) {
    WriteFileText(Path, "[broken\n[form]\nform1.top=1\n");
    TIniFile Store(Path);
    EXPECT_NO_THROW(Store.WriteInt("form", "form1.left", 2));
    EXPECT_NO_THROW(Store.WriteInt("form", "form1.top", 3));
    EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.left", 80), 2);
    EXPECT_EQ(TIniFile(Path).ReadInt("form", "form1.top", 80), 3);
    EXPECT_NE(ReadFileText(Path).find("form1.top=3\n"), std::string::npos);
}

} // namespace
