#include "SystemPaths.h"

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

} // namespace
