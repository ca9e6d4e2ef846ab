#pragma once
// Scratch folders and file helpers for the settings tests.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace SettingsTest {

// Sets or clears the immutable attribute; false when the file system or the
// process's rights do not allow it.
inline bool SetImmutable(const std::string& Path, bool Immutable) {
    const int File = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK);
    if (File < 0)
        return false;
    int Flags = 0;
    bool Done = ::ioctl(File, FS_IOC_GETFLAGS, &Flags) == 0;
    if (Done) {
        Flags = Immutable ? (Flags | FS_IMMUTABLE_FL) : (Flags & ~FS_IMMUTABLE_FL);
        Done = ::ioctl(File, FS_IOC_SETFLAGS, &Flags) == 0;
    }
    ::close(File);
    return Done;
}

inline bool CanOpenForWriting(const std::string& Path) {
    const int File = ::open(Path.c_str(), O_WRONLY | O_APPEND);
    if (File < 0)
        return false;
    ::close(File);
    return true;
}

// Makes an existing file unwritable: read-only mode, and the immutable attribute
// when the process runs as root and ignores the mode. False when neither works.
inline bool MakeUnwritable(const std::string& Path) {
    ::chmod(Path.c_str(), 0444);
    if (!CanOpenForWriting(Path))
        return true;
    return SetImmutable(Path, true) && !CanOpenForWriting(Path);
}

inline bool CanCreateIn(const std::string& Folder) {
    const std::string Probe = Folder + "/.probe";
    const int File = ::open(Probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (File < 0)
        return false;
    ::close(File);
    ::unlink(Probe.c_str());
    return true;
}

// Makes a folder refuse new files: read-only mode, and the immutable attribute when
// the process runs as root. False when neither works.
inline bool MakeFolderUnwritable(const std::string& Folder) {
    ::chmod(Folder.c_str(), 0555);
    if (!CanCreateIn(Folder))
        return true;
    return SetImmutable(Folder, true) && !CanCreateIn(Folder);
}

class TTempDir {
public:
    TTempDir() {
        std::string Template = (std::filesystem::temp_directory_path() / "quorvel-settings-XXXXXX").string();
        if (::mkdtemp(Template.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = Template;
    }
    ~TTempDir() {
        std::error_code Error;
        SetImmutable(FPath, false);
        ::chmod(FPath.c_str(), 0755);
        for (const auto& Entry : std::filesystem::recursive_directory_iterator(FPath, Error)) {
            if (Entry.is_directory(Error)) {
                SetImmutable(Entry.path().string(), false);
                ::chmod(Entry.path().c_str(), 0755);
            } else if (Entry.is_regular_file(Error)) {
                SetImmutable(Entry.path().string(), false);
                ::chmod(Entry.path().c_str(), 0644);
            }
        }
        std::filesystem::remove_all(FPath, Error);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }
    std::string Path(const std::string& Name) const { return FPath + "/" + Name; }

private:
    std::string FPath;
};

inline std::string ReadFileText(const std::string& Path) {
    std::ifstream File(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>());
}

inline void WriteFileText(const std::string& Path, const std::string& Text) {
    std::ofstream File(Path, std::ios::binary | std::ios::trunc);
    File << Text;
}

} // namespace SettingsTest
