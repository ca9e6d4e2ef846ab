#include "ProfileStore.h"

#include "TempFiles.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

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
        {"FORM", "form1.top", Path},
    };
    for (const auto& [Section, Key, File] : Cases)
        EXPECT_EQ(Read(Section, Key, File, "dflt"), "dflt") << Section << " " << Key << " " << File;
    EXPECT_EQ(Read("form", "form1.top", Path, "dflt"), "80");
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

} // namespace
