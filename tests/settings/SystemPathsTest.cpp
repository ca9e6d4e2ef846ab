#include "SystemPaths.h"

#include "TempFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(SystemPaths, ExecutablePathNamesThisTestProgram) {
    const std::filesystem::path Path = GetExecutablePath();
    EXPECT_TRUE(Path.is_absolute()) << Path;
    EXPECT_EQ(Path.filename(), "settings_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(Path)) << Path;
}

// Sets or unsets an environment variable for one test and puts it back after.
class TScopedVariable {
public:
    TScopedVariable(const char* Name, const std::optional<std::string>& Value) : FName(Name) {
        if (const char* Old = std::getenv(Name))
            FOld = Old;
        Set(Value);
    }
    ~TScopedVariable() { Set(FOld); }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

private:
    void Set(const std::optional<std::string>& Value) {
        if (Value)
            ::setenv(FName, Value->c_str(), 1);
        else
            ::unsetenv(FName);
    }
    const char* FName;
    std::optional<std::string> FOld;
};

struct TFolderCase {
    std::optional<std::string> ConfigHome;
    std::optional<std::string> Home;
    std::string Expected;
};

TEST(SystemPaths, WindowsDirectoryIsTheUsersConfigurationFolder) {
    const std::vector<TFolderCase> Cases = {
        {"/x/cfg", "/home/u", "/x/cfg"},
        {std::nullopt, "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},
        {"relative/cfg", "/home/u", "/home/u/.config"},
        {std::nullopt, "/home/u/", "/home/u/.config"},
        {std::nullopt, "/", "/.config"},
    };
    for (const auto& Case : Cases) {
        const TScopedVariable ConfigHome("XDG_CONFIG_HOME", Case.ConfigHome);
        const TScopedVariable Home("HOME", Case.Home);
        EXPECT_EQ(GetWindowsDirectory(), Case.Expected) << Case.ConfigHome.value_or("<unset>");
    }
}

TEST(SystemPaths, ProgramConfigFolderIsInTheUsersConfigurationFolder) {
    const TScopedVariable ConfigHome("XDG_CONFIG_HOME", "/x/cfg");
    EXPECT_EQ(GetProgramConfigFolder(), "/x/cfg/quorvel");
    const TScopedVariable NoConfigHome("XDG_CONFIG_HOME", std::nullopt);
    const TScopedVariable Home("HOME", "/home/u");
    EXPECT_EQ(GetProgramConfigFolder(), "/home/u/.config/quorvel");
}

TEST(SystemPaths, FoldersThatTakeTheSettingsFile) {
    SettingsTest::TTempDir Dir;
    SettingsTest::WriteFileText(Dir.Path("file"), "x");
    std::filesystem::create_directory(Dir.Path("sub"));
    EXPECT_TRUE(FolderTakesSettings(Dir.Path()));
    EXPECT_TRUE(FolderTakesSettings(Dir.Path("sub/")));
    EXPECT_FALSE(FolderTakesSettings(Dir.Path("file/")));
    EXPECT_FALSE(FolderTakesSettings(Dir.Path("file")));
    EXPECT_FALSE(FolderTakesSettings(Dir.Path("missing/")));
    EXPECT_FALSE(FolderTakesSettings(""));
    // The package manager's folders, also for root, who could write there.
    for (const char* Folder : {"/usr/bin/", "/usr/bin", "/bin/", "/usr/lib/quorvel/", "/usr/games/"})
        EXPECT_FALSE(FolderTakesSettings(Folder)) << Folder;
    if (::geteuid() == 0) {
        EXPECT_TRUE(FolderTakesSettings("/usr/local/bin/"));
    }
}

TEST(SystemPaths, MakeFoldersMakesTheMissingOnes) {
    SettingsTest::TTempDir Dir;
    EXPECT_TRUE(MakeFolders(Dir.Path("a/b/c")));
    EXPECT_TRUE(std::filesystem::is_directory(Dir.Path("a/b/c")));
    EXPECT_TRUE(MakeFolders(Dir.Path("a/b/c")));
    SettingsTest::WriteFileText(Dir.Path("file"), "x");
    EXPECT_FALSE(MakeFolders(Dir.Path("file/x")));
    EXPECT_FALSE(MakeFolders(Dir.Path("file")));
    EXPECT_TRUE(PathExists(Dir.Path("file")));
    EXPECT_FALSE(PathExists(Dir.Path("none")));
}

} // namespace
