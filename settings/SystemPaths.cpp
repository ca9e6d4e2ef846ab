#include "SystemPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

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

TByteString GetProgramConfigFolder() {
    return GetWindowsDirectory() + "/quorvel";
}

bool PathExists(const TByteString& Path) {
    struct stat Info {};
    return !Path.empty() && ::lstat(Path.c_str(), &Info) == 0;
}

namespace {

bool IsPackageFolder(TByteView Folder) {
    TByteString Path(Folder);
    if (!Path.ends_with('/'))
        Path += '/';
    if (Path.starts_with("/usr/local/"))
        return false;
    constexpr std::array<TByteView, 6> Owned = {"/usr/", "/bin/", "/sbin/", "/lib/", "/lib64/", "/lib32/"};
    for (const TByteView Prefix : Owned) {
        if (Path.starts_with(Prefix))
            return true;
    }
    return false;
}

} // namespace

bool FolderTakesSettings(const TByteString& Folder) {
    if (Folder.empty() || IsPackageFolder(Folder))
        return false;
    struct stat Info {};
    if (::stat(Folder.c_str(), &Info) != 0 || !S_ISDIR(Info.st_mode))
        return false;
    return ::faccessat(AT_FDCWD, Folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool MakeFolders(const TByteString& Folder) {
    if (Folder.empty())
        return false;
    // Each missing folder from the top down.
    for (std::size_t Slash = Folder.find('/', 1);; Slash = Folder.find('/', Slash + 1)) {
        const TByteString Part = Folder.substr(0, Slash);
        if (!Part.empty() && ::mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (Slash == TByteString::npos)
            break;
    }
    struct stat Info {};
    return ::stat(Folder.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}
