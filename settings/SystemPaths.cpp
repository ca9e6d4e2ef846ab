#include "SystemPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

TByteString GetExecutablePath() {
    std::error_code Error;
    const auto Path = std::filesystem::read_symlink("/proc/self/exe", Error);
    return Error ? TByteString() : Path.string();
}

TByteString GetWindowsDirectory() {
    const char* ConfigHome = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid for this variable and are ignored.
    if (ConfigHome != nullptr && ConfigHome[0] == '/')
        return ConfigHome;
    TByteString Home;
    if (const char* HomeVariable = std::getenv("HOME"); HomeVariable != nullptr && HomeVariable[0] != '\0') {
        Home = HomeVariable;
    } else if (const passwd* Entry = ::getpwuid(::getuid()); Entry != nullptr && Entry->pw_dir != nullptr) {
        Home = Entry->pw_dir;
    }
    while (Home.size() > 1 && Home.back() == '/')
        Home.pop_back();
    if (Home == "/")
        Home.clear();
    return Home + "/.config";
}
