#include "ProfileStore.h"

#include "TempFiles.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

using SettingsTest::MakeFolderUnwritable;
using SettingsTest::MakeUnwritable;
using SettingsTest::ReadFileText;
using SettingsTest::TTempDir;
using SettingsTest::WriteFileText;

namespace {

std::string Read(const std::string& Section, const std::string& Key, const std::string& Path,
                 const std::string& Default = "<missing>") {
    std::array<char, 256> Buffer{};
    const auto Count = GetPrivateProfileString(Section.c_str(), Key.c_str(), Default.c_str(), Buffer.data(),
                                               Buffer.size(), Path.c_str());
    return std::string(Buffer.data(), Count);
}

TEST(ProfileStore, NamesThatQSettingsWouldMergeStayApart) {
    // Each pair would meet another one in the list if "/" were taken as a group
    // separator, "\" as its alias, or empty names were dropped.
    const std::vector<std::pair<std::string, std::string>> Names = {
        {"a", "b/c"},  {"a/b", "c"},      {"a", "b\\c"},       {"a\\b", "c"}, {"a", "b//c"},     {"a", "/b/c"},
        {"a", "b/c/"}, {"form", ""},      {"", "form"},        {"", ""},      {"General", "k"},  {"", "k"},
        {"k", ""},     {"\\e", "k"},      {"a", "\\x2F"},      {"a", "/"},    {"a", "\\"},       {"%General", "k"},
        {"x", "%2F"},  {"\x95\x5C", "k"}, {"\\x95\\x5C", "k"}, {"表", "k"},   {"sp ace", "k=v"}, {"[x]", ";k"},
    };
    TTempDir Dir;
    const std::string Path = Dir.Path("names.ini");
    for (std::size_t Index = 0; Index < Names.size(); ++Index) {
        const auto& [Section, Key] = Names[Index];
        ASSERT_TRUE(
            WritePrivateProfileString(Section.c_str(), Key.c_str(), std::to_string(Index).c_str(), Path.c_str()))
            << Index;
    }
    for (std::size_t Index = 0; Index < Names.size(); ++Index) {
        const auto& [Section, Key] = Names[Index];
        EXPECT_EQ(Read(Section, Key, Path), std::to_string(Index)) << "[" << Section << "] " << Key;
    }
}

TEST(ProfileStore, PlainNamesAppearAsTheyAre) {
    TTempDir Dir;
    const std::string Path = Dir.Path("plain.ini");
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.top", "80", Path.c_str()));
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.width", "700", Path.c_str()));
    EXPECT_EQ(ReadFileText(Path), "[form]\nform1.top=80\nform1.width=700\n");
}

TEST(ProfileStore, ReadsOfMissingThingsGiveTheDefault) {
    TTempDir Dir;
    const std::string Path = Dir.Path("some.ini");
    WriteFileText(Path, "[form]\nform1.top=80\n[empty]\n");
    const std::vector<std::tuple<std::string, std::string, std::string>> Cases = {
        {"form", "form1.left", Path},
        {"other", "form1.top", Path},
        {"empty", "form1.top", Path},
        {"form", "form1.top", Dir.Path("none.ini")},
        {"form", "form1.top", Dir.Path("no/dir.ini")},
        {"form", "form1.top", Dir.Path()},
        {"form", "form1.top", ""},
    };
    for (const auto& [Section, Key, File] : Cases)
        EXPECT_EQ(Read(Section, Key, File, "dflt"), "dflt") << Section << " " << Key << " " << File;
    EXPECT_EQ(Read("form", "form1.top", Path, "dflt"), "80");
    // Names match ignoring the case of A-Z, as the platform's profile functions do.
    EXPECT_EQ(Read("FORM", "Form1.Top", Path, "dflt"), "80");
}

TEST(ProfileStore, CopiesNoMoreThanTheBufferHolds) {
    TTempDir Dir;
    const std::string Path = Dir.Path("buffer.ini");
    ASSERT_TRUE(WritePrivateProfileString("s", "k", "abcdef", Path.c_str()));
    const std::vector<std::pair<std::size_t, std::string>> Cases = {{1, ""},      {2, "a"},      {4, "abc"},
                                                                    {6, "abcde"}, {7, "abcdef"}, {50, "abcdef"}};
    for (const auto& [Size, Expected] : Cases) {
        std::array<char, 64> Buffer;
        Buffer.fill('#');
        const auto Count = GetPrivateProfileString("s", "k", "", Buffer.data(), Size, Path.c_str());
        EXPECT_EQ(std::string(Buffer.data(), Count), Expected) << Size;
        EXPECT_EQ(Buffer[Count], '\0') << Size;
        EXPECT_EQ(Buffer[Size], '#') << "wrote past the buffer of " << Size;
        // Missing keys cut their default the same way.
        const auto DefaultCount = GetPrivateProfileString("s", "none", "abcdef", Buffer.data(), Size, Path.c_str());
        EXPECT_EQ(std::string(Buffer.data(), DefaultCount), Expected) << Size;
    }
    std::array<char, 4> Untouched = {'#', '#', '#', '#'};
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", Untouched.data(), 0, Path.c_str()), 0u);
    EXPECT_EQ(Untouched[0], '#');
}

TEST(ProfileStore, WriteReplacesTheValueAndKeepsTheOthers) {
    TTempDir Dir;
    const std::string Path = Dir.Path("replace.ini");
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.top", "1", Path.c_str()));
    ASSERT_TRUE(WritePrivateProfileString("other", "form1.top", "2", Path.c_str()));
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.top", "3", Path.c_str()));
    EXPECT_EQ(Read("form", "form1.top", Path), "3");
    EXPECT_EQ(Read("other", "form1.top", Path), "2");
}

TEST(ProfileStore, AbsentArgumentsNeitherReadNorWrite) {
    TTempDir Dir;
    const std::string Path = Dir.Path("absent.ini");
    std::array<char, 16> Buffer{};
    EXPECT_EQ(GetPrivateProfileString(nullptr, "k", "d", Buffer.data(), Buffer.size(), Path.c_str()), 1u);
    EXPECT_EQ(GetPrivateProfileString("s", "k", nullptr, Buffer.data(), Buffer.size(), Path.c_str()), 0u);
    EXPECT_FALSE(WritePrivateProfileString(nullptr, "k", "v", Path.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("s", nullptr, "v", Path.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", nullptr, Path.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", nullptr));
    EXPECT_FALSE(std::filesystem::exists(Path));
}

// What one write does to a file's bytes.
struct TEditCase {
    const char* Name;
    TByteString Before;
    TByteString Section;
    TByteString Key;
    TByteString Value;
    TByteString After;
};

std::ostream& operator<<(std::ostream& Out, const TEditCase& Case) {
    return Out << Case.Name;
}

class ProfileEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(ProfileEdit, ChangesOnlyTheLineItMust) {
    const auto& Case = GetParam();
    const auto After = SetProfileValue(Case.Before, Case.Section, Case.Key, Case.Value);
    ASSERT_TRUE(After.has_value());
    EXPECT_EQ(*After, Case.After);
    // The value reads back, and a second identical write changes nothing more.
    EXPECT_EQ(FindProfileValue(*After, Case.Section, Case.Key), std::optional<TByteString>(Case.Value));
    EXPECT_EQ(SetProfileValue(*After, Case.Section, Case.Key, Case.Value), After);

    // The same through the file functions.
    TTempDir Dir;
    const std::string Path = Dir.Path("Quorvel.ini");
    if (!Case.Before.empty())
        WriteFileText(Path, Case.Before);
    ASSERT_TRUE(WritePrivateProfileString(Case.Section.c_str(), Case.Key.c_str(), Case.Value.c_str(), Path.c_str()));
    EXPECT_EQ(ReadFileText(Path), Case.After);
}

INSTANTIATE_TEST_SUITE_P(
    ProfileStore, ProfileEdit,
    ::testing::Values(
        TEditCase{"NewFile", "", "form", "form1.top", "80", "[form]\nform1.top=80\n"},
        TEditCase{"ReplaceInPlace", "; mine\n[form]\nform1.top=1\nform1.left=2\nform1.width=3\n", "form", "form1.left",
                  "-40", "; mine\n[form]\nform1.top=1\nform1.left=-40\nform1.width=3\n"},
        TEditCase{"LongerAndShorterValues", "[form]\nform1.top=123456\nx=y\n", "form", "form1.top", "7",
                  "[form]\nform1.top=7\nx=y\n"},
        TEditCase{"NamesIgnoreCase", "[Form]\nForm1.TOP = 1 \n", "form", "form1.top", "80", "[Form]\nForm1.TOP =80\n"},
        TEditCase{"BlanksAroundNames", "  [ form ]  \n\tform1.top\t=1\n", "form", "form1.top", "80",
                  "  [ form ]  \n\tform1.top\t=80\n"},
        TEditCase{"NewKeyAtTheEndOfItsSection", "[form]\nform1.top=1\n\n; next\n[other]\nx=1\n", "form", "form1.left",
                  "80", "[form]\nform1.top=1\nform1.left=80\n\n; next\n[other]\nx=1\n"},
        TEditCase{"NewKeyInASectionWithoutKeys", "[form]\n; nothing yet\n[other]\n", "form", "form1.left", "80",
                  "[form]\nform1.left=80\n; nothing yet\n[other]\n"},
        TEditCase{"NewKeyAfterALastLineWithoutEnd", "[form]\nform1.top=1", "form", "form1.left", "80",
                  "[form]\nform1.top=1\nform1.left=80\n"},
        TEditCase{"ReplaceInALastLineWithoutEnd", "[form]\nform1.top=1", "form", "form1.top", "80",
                  "[form]\nform1.top=80"},
        TEditCase{"NewSectionAtTheEnd", "; top\n[other]\nx=1\n", "form", "form1.top", "80",
                  "; top\n[other]\nx=1\n[form]\nform1.top=80\n"},
        TEditCase{"NewSectionAfterALastLineWithoutEnd", "[other]\nx=1", "form", "form1.top", "80",
                  "[other]\nx=1\n[form]\nform1.top=80\n"},
        TEditCase{"CrLfLinesStayCrLf", "[form]\r\nform1.top=1\r\n", "form", "form1.left", "80",
                  "[form]\r\nform1.top=1\r\nform1.left=80\r\n"},
        TEditCase{"CrLfReplaceKeepsTheEnd", "[form]\r\nform1.top=1\r\n[x]\r\n", "form", "form1.top", "80",
                  "[form]\r\nform1.top=80\r\n[x]\r\n"},
        TEditCase{"CrLfNewSection", "[x]\r\na=1\r\n", "form", "form1.top", "80",
                  "[x]\r\na=1\r\n[form]\r\nform1.top=80\r\n"},
        // Code page 932: 表 is 95 5C, ア 83 41, ソ 83 5C; none of it is decoded or re-encoded.
        TEditCase{
            "CodePage932Untouched",
            "; \x95\x5C\x83\x41\n[\x95\x5C]\n\x83\x41=\x83\x5C\x83\x5C\n[form]\nform1.top=1\n\x83\x41=\x95\x5C\n",
            "form", "form1.top", "80",
            "; \x95\x5C\x83\x41\n[\x95\x5C]\n\x83\x41=\x83\x5C\x83\x5C\n[form]\nform1.top=80\n\x83\x41=\x95\x5C\n"},
        TEditCase{"CodePage932Names", "[\x95\x5C]\n\x83\x41=1\n", "\x95\x5C", "\x83\x41", "2",
                  "[\x95\x5C]\n\x83\x41=2\n"},
        TEditCase{"SameKeyInAnotherSection", "[a]\nform1.top=1\n[form]\nform1.top=2\n", "form", "form1.top", "80",
                  "[a]\nform1.top=1\n[form]\nform1.top=80\n"},
        TEditCase{"SectionNamedGeneral", "[General]\nk=1\n", "General", "k", "2", "[General]\nk=2\n"},
        TEditCase{"FirstOfTwoSectionsCounts", "[form]\nx=1\n[form]\nform1.top=2\n", "form", "form1.top", "80",
                  "[form]\nx=1\nform1.top=80\n[form]\nform1.top=2\n"},
        TEditCase{"KeysBeforeAnySectionBelongToNone", "form1.top=5\n[form]\n", "form", "form1.top", "80",
                  "form1.top=5\n[form]\nform1.top=80\n"},
        TEditCase{"UnclosedSectionLineIsNoSection", "[broken\n[form]\nform1.top=1\n", "form", "form1.top", "80",
                  "[broken\n[form]\nform1.top=80\n"},
        TEditCase{"ZeroBytesAreKept", TByteString("\0\xFF\n[form]\nform1.top=1\n\0", 23), "form", "form1.left", "80",
                  TByteString("\0\xFF\n[form]\nform1.top=1\nform1.left=80\n\0", 37)},
        // Names and values that would not read back as they are go in quotes.
        TEditCase{"ValueWithBlanks", "", "s", "k", "  lead", "[s]\nk=\"  lead\"\n"},
        TEditCase{"ValueInQuotes", "", "s", "k", "\"q\"", "[s]\nk=\"\\\"q\\\"\"\n"},
        TEditCase{"ValueWithLineBreak", "", "s", "k", "a\r\nb\\", "[s]\nk=\"a\\r\\nb\\\\\"\n"},
        TEditCase{"KeyWithEquals", "", "s", "k=v", "1", "[s]\n\"k=v\"=1\n"},
        TEditCase{"KeyLikeASection", "", "s", "[k]", "1", "[s]\n\"[k]\"=1\n"},
        TEditCase{"SectionWithBracket", "", "a]b", "k", "1", "[\"a]b\"]\nk=1\n"},
        TEditCase{"PlainBackslashesStayPlain", "", "a\\b", "c\\d", "e\\f", "[a\\b]\nc\\d=e\\f\n"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ProfileStore, HandWrittenFormsRead) {
    const std::vector<std::pair<TByteString, std::optional<TByteString>>> Cases = {
        {"[form]\nform1.top=80\n", "80"},
        {"[form]\r\nform1.top=80\r\n", "80"},
        {"[FORM]\nFORM1.TOP=80", "80"},
        {"[form] ; comment\nform1.top = 80 \n", "80"},
        {"[form]\nform1.top='80'\n", "80"},
        {"[form]\nform1.top=\"80\"\n", "80"},
        {"[form]\nform1.top=\"8\\x\"\n", "8\\x"},
        {"[form]\nform1.top=\"80\n", "\"80"},
        {"[form]\nform1.top=\n", ""},
        {"[form]\n\"form1.top\" = 80\n", "80"},
        {"[form]\n;form1.top=80\n", std::nullopt},
        {"[form]\nform1.top\n", std::nullopt},
        {"[form]\nform1.topx=80\n", std::nullopt},
        {"form1.top=80\n", std::nullopt},
        {"[other]\nform1.top=80\n", std::nullopt},
        {"[form]\n[other]\nform1.top=80\n", std::nullopt},
        {"[form]\nform1.top=1\nform1.top=2\n", "1"},
        {"[form]\nx=1\n[form]\nform1.top=2\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [Text, Expected] : Cases)
        EXPECT_EQ(FindProfileValue(Text, "form", "form1.top"), Expected) << Text;
}

// Files that are no settings file of ours: a write either leaves them as they were or
// adds the form keys and changes nothing else.
struct TDamagedCase {
    const char* Name;
    TByteString (*Make)();
};

std::ostream& operator<<(std::ostream& Out, const TDamagedCase& Case) {
    return Out << Case.Name;
}

TByteString LongLine() {
    return TByteString(100 * 1024, 'x');
}

TByteString Garbage() {
    std::mt19937 Random(11);
    std::uniform_int_distribution<int> Byte(0, 255);
    TByteString Text;
    for (int Index = 0; Index < 64 * 1024; ++Index)
        Text += static_cast<char>(Byte(Random));
    return Text;
}

class DamagedFile : public ::testing::TestWithParam<TDamagedCase> {
protected:
    TTempDir Dir;
    std::string Path = Dir.Path("Quorvel.ini");
    TByteString Original = GetParam().Make();

    void SetUp() override { WriteFileText(Path, Original); }

    bool WriteGeometry() {
        return WritePrivateProfileString("form", "form1.top", "80", Path.c_str()) &&
               WritePrivateProfileString("form", "form1.left", "-5", Path.c_str()) &&
               WritePrivateProfileString("form", "form1.width", "700", Path.c_str());
    }
};

TEST_P(DamagedFile, SuccessfulWritesOnlyAddTheFormKeys) {
    ASSERT_TRUE(WriteGeometry());
    const TByteString Text = ReadFileText(Path);
    ASSERT_GE(Text.size(), Original.size());
    EXPECT_EQ(Text.substr(0, Original.size()), Original) << "the old bytes changed";
    TByteString Added = Text.substr(Original.size());
    std::erase(Added, '\r');
    // A last line without an end gets one before the new section.
    if (!Original.empty() && Original.back() != '\n') {
        ASSERT_TRUE(Added.starts_with("\n"));
        Added.erase(0, 1);
    }
    EXPECT_EQ(Added, "[form]\nform1.top=80\nform1.left=-5\nform1.width=700\n");
    EXPECT_EQ(Read("form", "form1.left", Path), "-5");
}

TEST_P(DamagedFile, FailedWritesLeaveEveryByte) {
    if (!MakeUnwritable(Path))
        GTEST_SKIP() << "cannot make a file unwritable here";
    EXPECT_FALSE(WriteGeometry());
    EXPECT_EQ(ReadFileText(Path), Original);
    EXPECT_EQ(Read("form", "form1.top", Path), "<missing>");
}

TEST_P(DamagedFile, UnwritableFolderLeavesEveryByte) {
    if (!MakeFolderUnwritable(Dir.Path()))
        GTEST_SKIP() << "cannot make a folder unwritable here";
    EXPECT_FALSE(WriteGeometry());
    EXPECT_EQ(ReadFileText(Path), Original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), std::filesystem::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(ProfileStore, DamagedFile,
                         ::testing::Values(TDamagedCase{"LongLineWithoutEnd", &LongLine},
                                           TDamagedCase{"BinaryGarbage", &Garbage},
                                           TDamagedCase{"Comments", [] { return TByteString("; a\n# b\n\n"); }},
                                           TDamagedCase{"Empty", [] { return TByteString(); }}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A write leaves no new file of its own, and removes those of writes that were killed
// part-way; one that a write still running holds stays.
TEST(ProfileStore, WriteLeavesNoTemporaryAndKeepsTheMode) {
    TTempDir Dir;
    const std::string Path = Dir.Path("Quorvel.ini");
    WriteFileText(Path, "[form]\nform1.top=1\n");
    ::chmod(Path.c_str(), 0640);
    WriteFileText(Dir.Path(".Quorvel.ini.new-4242-7"), "[form]\nform1.top=killed\n");
    const std::string Running = Dir.Path(".Quorvel.ini.new-4243-1");
    WriteFileText(Running, "[form]\n");
    const int Held = ::open(Running.c_str(), O_RDONLY);
    ASSERT_GE(Held, 0);
    ASSERT_EQ(::flock(Held, LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.top", "2", Path.c_str()));
    ::close(Held);
    struct stat Info {};
    ASSERT_EQ(::stat(Path.c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 07777, 0640u);
    for (const auto& Entry : std::filesystem::directory_iterator(Dir.Path()))
        EXPECT_TRUE(Entry.path().filename() == "Quorvel.ini" || Entry.path() == Running) << Entry.path();
    EXPECT_TRUE(std::filesystem::exists(Running));
}

TEST(ProfileStore, WriteGoesThroughALinkToItsTarget) {
    TTempDir Dir;
    std::filesystem::create_directory(Dir.Path("real"));
    const std::string Target = Dir.Path("real/settings.ini");
    WriteFileText(Target, "; kept\n");
    const std::string Link = Dir.Path("Quorvel.ini");
    std::filesystem::create_symlink(Target, Link);
    ASSERT_TRUE(WritePrivateProfileString("form", "form1.top", "2", Link.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(Link));
    EXPECT_EQ(ReadFileText(Target), "; kept\n[form]\nform1.top=2\n");

    const std::string Dangling = Dir.Path("dangling.ini");
    std::filesystem::create_symlink(Dir.Path("nowhere/x.ini"), Dangling);
    EXPECT_FALSE(WritePrivateProfileString("form", "form1.top", "2", Dangling.c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(Dangling));
}

TEST(ProfileStore, WhatIsNoRegularFileIsNeitherReadNorReplaced) {
    TTempDir Dir;
    const std::string Fifo = Dir.Path("fifo.ini");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0644), 0);
    EXPECT_EQ(Read("form", "form1.top", Fifo), "<missing>");
    EXPECT_FALSE(WritePrivateProfileString("form", "form1.top", "2", Fifo.c_str()));
    EXPECT_TRUE(std::filesystem::is_fifo(Fifo));
}

} // namespace
