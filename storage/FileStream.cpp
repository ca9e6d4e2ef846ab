#include "FileStream.h"

#include "Errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t BufferSize = 256 * 1024;
// A path that is replaced between our open and our lock is opened again; a path that
// keeps changing under us is treated as in use.
constexpr int LockAttempts = 8;
constexpr int MaxLinks = 40;

bool SameFile(const struct stat& A, const struct stat& B) noexcept {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

enum class TLockResult { lrLocked, lrMissing, lrFailed };

TLockCall LockCall = nullptr;
TLinkCall LinkCall = nullptr;

int MakeLink(const char* From, const char* To) noexcept {
    return LinkCall ? LinkCall(From, To) : ::link(From, To);
}

// Takes an exclusive lock without waiting. False only when someone else holds it: a file
// system without locks must not keep anyone from the file.
bool TakeLock(int Handle) noexcept {
    for (;;) {
        const int Result = LockCall ? LockCall(Handle, LOCK_EX | LOCK_NB) : ::flock(Handle, LOCK_EX | LOCK_NB);
        if (Result == 0)
            return true;
        if (errno == EINTR)
            continue;
        return errno != EWOULDBLOCK && errno != EAGAIN;
    }
}

// Opens Path with Flags and takes an exclusive advisory lock without waiting. The lock
// belongs to the open file, so it also excludes a second open in this process. After
// locking, Path must still name the locked file: a save may have renamed a new file over
// it meanwhile, and a lock on the old one would protect nothing.
TLockResult OpenLocked(const std::string& Path, int Flags, int& Handle, struct stat& Info) {
    for (int Attempt = 0; Attempt < LockAttempts; ++Attempt) {
        const int Fd = ::open(Path.c_str(), Flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (Fd < 0)
            return errno == ENOENT ? TLockResult::lrMissing : TLockResult::lrFailed;
        struct stat Now;
        if (::fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode) || !TakeLock(Fd)) {
            ::close(Fd);
            return TLockResult::lrFailed;
        }
        if (::stat(Path.c_str(), &Now) == 0 && SameFile(Now, Info)) {
            // O_NONBLOCK only kept the open from hanging on a FIFO; plain reads want it off.
            ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
            Handle = Fd;
            return TLockResult::lrLocked;
        }
        ::close(Fd);
    }
    return TLockResult::lrFailed;
}

std::string DirectoryOf(const std::string& Path) {
    const auto Slash = Path.rfind('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

// Follows symbolic links from Path to the file they name (which need not exist yet).
bool ResolveLinks(const std::string& Path, std::string& Target) {
    Target = Path;
    for (int Links = 0; Links <= MaxLinks; ++Links) {
        struct stat Info;
        if (::lstat(Target.c_str(), &Info) != 0)
            return errno == ENOENT;
        if (!S_ISLNK(Info.st_mode))
            return true;
        std::vector<char> Link(static_cast<std::size_t>(Info.st_size > 0 ? Info.st_size : PATH_MAX) + 1);
        const ssize_t Length = ::readlink(Target.c_str(), Link.data(), Link.size());
        if (Length <= 0 || static_cast<std::size_t>(Length) >= Link.size())
            return false;
        std::string Next(Link.data(), static_cast<std::size_t>(Length));
        Target = Next.front() == '/' ? Next : DirectoryOf(Target) + "/" + Next;
    }
    return false;
}

void WriteAll(int Handle, const char* Buffer, std::size_t Count) {
    while (Count > 0) {
        const ssize_t Written = ::write(Handle, Buffer, Count);
        if (Written < 0 && errno == EINTR)
            continue;
        if (Written <= 0)
            throw EWriteError();
        Buffer += Written;
        Count -= static_cast<std::size_t>(Written);
    }
}

// Reads up to Count bytes; fewer only at the end of the file.
std::size_t ReadUpTo(int Handle, char* Buffer, std::size_t Count) {
    std::size_t Done = 0;
    while (Done < Count) {
        const ssize_t Got = ::read(Handle, Buffer + Done, Count - Done);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            throw EReadError();
        if (Got == 0)
            break;
        Done += static_cast<std::size_t>(Got);
    }
    return Done;
}

std::string BaseOf(const std::string& Path) {
    const auto Slash = Path.rfind('/');
    return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

std::string DirectoryPrefixOf(const std::string& Path) {
    const auto Slash = Path.rfind('/');
    return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

// New files of a save of Target are named ".<base>.new-XXXXXX" beside it.
std::string NewFilePrefix(const std::string& Target) {
    return "." + BaseOf(Target) + ".new-";
}

// A new file beside Target, locked (so a later save sees it is in use), mode 0600 for now.
int CreateNewFile(const std::string& Target, std::string& Name) {
    std::string Template = DirectoryPrefixOf(Target) + NewFilePrefix(Target) + "XXXXXX";
    const int Handle = ::mkostemp(Template.data(), O_CLOEXEC);
    if (Handle < 0)
        return -1;
    TakeLock(Handle);
    Name = Template;
    return Handle;
}

void SyncDirectory(const std::string& Path) noexcept {
    // Makes a rename durable; the data are already safe if this fails, also for want of
    // memory for the folder's name.
    try {
        const int Directory = ::open(DirectoryOf(Path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Directory >= 0) {
            ::fsync(Directory);
            ::close(Directory);
        }
    } catch (const std::bad_alloc&) {
    }
}

// Renames From to To unless To exists. Where the file system cannot refuse to replace,
// a name taken already is still refused.
int RenameNoReplace(const char* From, const char* To) noexcept {
    if (::renameat2(AT_FDCWD, From, AT_FDCWD, To, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    struct stat Info;
    if (::lstat(To, &Info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(From, To);
}

// No hard links on this file system (FAT, some network shares).
bool NoHardLinks(int Error) noexcept {
    return Error == EPERM || Error == EOPNOTSUPP || Error == ENOTSUP || Error == EMLINK || Error == ENOSYS ||
           Error == EXDEV;
}

// Copies the open file Source to a new file beside Name, synced; Temp is its name.
bool CopyToNewFile(int Source, const std::string& Name, mode_t Mode, std::string& Temp) {
    const int Out = CreateNewFile(Name, Temp);
    if (Out < 0)
        return false;
    std::vector<char> Buffer(BufferSize);
    off_t Offset = 0;
    bool Good = ::fchmod(Out, Mode & 07777) == 0;
    while (Good) {
        const ssize_t Got = ::pread(Source, Buffer.data(), Buffer.size(), Offset);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got <= 0) {
            Good = Got == 0;
            break;
        }
        try {
            WriteAll(Out, Buffer.data(), static_cast<std::size_t>(Got));
        } catch (const EWriteError&) {
            Good = false;
        }
        Offset += Got;
    }
    Good = Good && ::fsync(Out) == 0;
    Good = ::close(Out) == 0 && Good;
    if (!Good)
        ::unlink(Temp.c_str());
    return Good;
}

} // namespace

void SetLockCall(TLockCall Call) noexcept {
    LockCall = Call;
}

void SetLinkCall(TLinkCall Call) noexcept {
    LinkCall = Call;
}

// ---- memory ----

TMemoryReadStream::TMemoryReadStream(TByteView Bytes) noexcept {
    FNext = Bytes.data();
    FEnd = Bytes.data() + Bytes.size();
}

void TMemoryReadStream::ReadSlow(char*, std::size_t) {
    // Everything is buffered: asking for more than is left is a short read.
    FNext = FEnd;
    throw EReadError();
}

const TByteString& TMemoryWriteStream::Bytes() {
    if (FNext != nullptr)
        FUsed = static_cast<std::size_t>(FNext - FBytes.data());
    FBytes.resize(FUsed);
    FNext = FLimit = FBytes.data() + FUsed;
    return FBytes;
}

void TMemoryWriteStream::WriteSlow(const char* Buffer, std::size_t Count) {
    if (FNext != nullptr)
        FUsed = static_cast<std::size_t>(FNext - FBytes.data());
    FBytes.resize(std::max(FUsed + Count, 2 * FBytes.size() + 64));
    std::memcpy(FBytes.data() + FUsed, Buffer, Count);
    FUsed += Count;
    FNext = FBytes.data() + FUsed;
    FLimit = FBytes.data() + FBytes.size();
}

// ---- reading a file ----

bool TFileReadStream::Open(const std::string& FileName) {
    if (FHandle >= 0)
        return false;
    struct stat Info;
    if (OpenLocked(FileName, O_RDONLY, FHandle, Info) != TLockResult::lrLocked)
        return false;
    FSize = static_cast<std::uint64_t>(Info.st_size);
    FBuffer.resize(BufferSize);
    FNext = FEnd = FBuffer.data();
    return true;
}

TFileReadStream::~TFileReadStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

std::uint64_t TFileReadStream::Remaining() const noexcept {
    const std::uint64_t Position = FConsumed - static_cast<std::uint64_t>(FEnd - FNext);
    return Position < FSize ? FSize - Position : 0;
}

void TFileReadStream::ReadSlow(char* Buffer, std::size_t Count) {
    if (FHandle < 0)
        throw EReadError();
    const auto Buffered = static_cast<std::size_t>(FEnd - FNext);
    if (Buffered > 0)
        std::memcpy(Buffer, FNext, Buffered);
    Buffer += Buffered;
    Count -= Buffered;
    FNext = FEnd = FBuffer.data();
    if (Count >= FBuffer.size()) {
        // Large strings go straight to their destination.
        const std::size_t Got = ReadUpTo(FHandle, Buffer, Count);
        FConsumed += Got;
        if (Got < Count)
            throw EReadError();
        return;
    }
    const std::size_t Got = ReadUpTo(FHandle, FBuffer.data(), FBuffer.size());
    FConsumed += Got;
    FEnd = FBuffer.data() + Got;
    if (Got < Count) {
        FNext = FEnd;
        throw EReadError();
    }
    std::memcpy(Buffer, FNext, Count);
    FNext += Count;
}

// ---- replacing a file ----

TReplacingFileStream::TReplacingFileStream(const std::string& FileName, int Backups)
    : FFileName(FileName), FBackups(Backups) {
    if (FileName.empty() || !ResolveLinks(FileName, FTarget))
        throw EFCreateError(FFileName);
    struct stat Info;
    const TLockResult Result = OpenLocked(FTarget, O_RDONLY, FTargetHandle, Info);
    FNewTarget = Result == TLockResult::lrMissing;
    if (FNewTarget) {
        // Nothing appears under the target's name before the new file is complete.
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        Info.st_mode = 0666 & ~Mask;
        Info.st_uid = ::geteuid();
        Info.st_gid = ::getegid();
        if (::access(DirectoryOf(FTarget).c_str(), W_OK) != 0)
            throw EFCreateError(FFileName);
    } else if (Result != TLockResult::lrLocked || (Info.st_mode & 0222) == 0 || ::access(FTarget.c_str(), W_OK) != 0) {
        // Root may write anywhere; a file without any write permission bit still counts as read-only.
        Discard();
        throw EFCreateError(FFileName);
    }
    // From here on a failure, running out of memory included, must not leave the lock,
    // the placeholder or a temporary file behind: no destructor runs for this object.
    try {
        CreateTemporary(Info);
    } catch (...) {
        Discard();
        throw;
    }
}

void TReplacingFileStream::CreateTemporary(const struct stat& Info) {
    FTempHandle = CreateNewFile(FTarget, FTempName);
    if (FTempHandle < 0) {
        Discard();
        throw EFCreateError(FFileName);
    }
    // The replacement keeps the old file's permissions and, where we may, its owner.
    if (::fchmod(FTempHandle, Info.st_mode & 07777) != 0) {
        Discard();
        throw EFCreateError(FFileName);
    }
    if (Info.st_uid != ::geteuid() || Info.st_gid != ::getegid()) {
        [[maybe_unused]] const int Ignored = ::fchown(FTempHandle, Info.st_uid, Info.st_gid);
    }
    FBuffer.resize(BufferSize);
    FNext = FBuffer.data();
    FLimit = FBuffer.data() + FBuffer.size();
}

std::string TReplacingFileStream::BackupName(const std::string& Target, int Generation) {
    return Target + "." + std::to_string(Generation);
}

TReplacingFileStream::~TReplacingFileStream() {
    Discard();
}

void TReplacingFileStream::Discard() noexcept {
    if (FTempHandle >= 0) {
        ::close(FTempHandle);
        FTempHandle = -1;
    }
    if (!FTempName.empty()) {
        ::unlink(FTempName.c_str());
        FTempName.clear();
    }
    if (FTargetHandle >= 0) {
        ::close(FTargetHandle);
        FTargetHandle = -1;
    }
}

void TReplacingFileStream::Flush() {
    if (FTempHandle < 0)
        throw EWriteError();
    const char* Begin = FBuffer.data();
    const auto Count = static_cast<std::size_t>(FNext - Begin);
    // Whatever happens, the buffer is spent: a failed stream takes nothing more.
    FNext = FBuffer.data();
    WriteAll(FTempHandle, Begin, Count);
}

void TReplacingFileStream::WriteSlow(const char* Buffer, std::size_t Count) {
    Flush();
    if (Count >= FBuffer.size()) {
        WriteAll(FTempHandle, Buffer, Count);
        return;
    }
    std::memcpy(FNext, Buffer, Count);
    FNext += Count;
}

void TReplacingFileStream::Commit() {
    Flush();
    if (::fsync(FTempHandle) != 0)
        throw EWriteError();
    const int Handle = FTempHandle;
    FTempHandle = -1;
    if (::close(Handle) != 0)
        throw EWriteError();
    if (FNewTarget) {
        // A link cannot replace a file that appeared meanwhile (another save of it).
        if (MakeLink(FTempName.c_str(), FTarget.c_str()) == 0) {
            ::unlink(FTempName.c_str());
        } else if (errno == EEXIST || !NoHardLinks(errno) || RenameNoReplace(FTempName.c_str(), FTarget.c_str()) != 0) {
            throw EFCreateError(FFileName);
        }
    } else {
        KeepBackups();
        if (::rename(FTempName.c_str(), FTarget.c_str()) != 0)
            throw EFCreateError(FFileName);
    }
    FTempName.clear();
    FNewTarget = false;
    SyncDirectory(FTarget);
    RemoveStrayFiles();
}

// The oldest generation goes, the others move up one, and the old file becomes name.1.
// The old file is first kept under a new name beside it: when that fails (no space for
// the copy, say), no generation has moved or gone yet.
void TReplacingFileStream::KeepBackups() {
    if (FBackups <= 0)
        return;
    const std::string Newest = BackupName(FTarget, 1);
    const EFCreateError Failure(BackupName(FFileName, 1));
    std::string Kept;
    const int Placeholder = CreateNewFile(Newest, Kept);
    if (Placeholder < 0)
        throw Failure;
    ::close(Placeholder);
    ::unlink(Kept.c_str());
    if (MakeLink(FTarget.c_str(), Kept.c_str()) != 0) {
        struct stat Info;
        if (!NoHardLinks(errno) || ::fstat(FTargetHandle, &Info) != 0 ||
            !CopyToNewFile(FTargetHandle, Newest, Info.st_mode, Kept))
            throw Failure;
    }
    for (int Generation = FBackups - 1; Generation >= 1; --Generation) {
        const std::string From = BackupName(FTarget, Generation);
        if (::rename(From.c_str(), BackupName(FTarget, Generation + 1).c_str()) != 0 && errno != ENOENT) {
            ::unlink(Kept.c_str());
            throw Failure;
        }
    }
    if (::rename(Kept.c_str(), Newest.c_str()) != 0) {
        ::unlink(Kept.c_str());
        throw Failure;
    }
    // A rename between two names of one file does nothing: the new name goes by hand.
    ::unlink(Kept.c_str());
}

// New files of earlier saves of this target that were killed part-way: nobody holds
// their lock any more. Our own is gone by now. A save may also have been killed while
// it copied the old file to its newest backup.
void TReplacingFileStream::RemoveStrayFiles() noexcept {
    // Tidying up after a save that has succeeded: short of memory, the files stay for the next one.
    try {
        RemoveStrayFilesOrThrow();
    } catch (const std::bad_alloc&) {
    }
}

void TReplacingFileStream::RemoveStrayFilesOrThrow() {
    const std::string Directory = DirectoryOf(FTarget);
    const std::string Prefixes[] = {NewFilePrefix(FTarget), NewFilePrefix(BackupName(FTarget, 1))};
    DIR* Listing = ::opendir(Directory.c_str());
    if (Listing == nullptr)
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> Closing(Listing, ::closedir);
    std::vector<std::string> Strays;
    while (const dirent* Entry = ::readdir(Listing)) {
        const std::string Name = Entry->d_name;
        for (const std::string& Prefix : Prefixes) {
            if (Name.size() == Prefix.size() + 6 && Name.compare(0, Prefix.size(), Prefix) == 0)
                Strays.push_back(DirectoryPrefixOf(FTarget) + Name);
        }
    }
    // A save killed after linking the old file for its backup left a second name of the
    // file we still hold (now a backup): that lock is ours, the name can go.
    struct stat Old;
    const bool OldKnown = FTargetHandle >= 0 && ::fstat(FTargetHandle, &Old) == 0;
    for (const std::string& Stray : Strays) {
        const int Fd = ::open(Stray.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (Fd < 0)
            continue;
        struct stat Info;
        if (::fstat(Fd, &Info) == 0 && S_ISREG(Info.st_mode) && ((OldKnown && SameFile(Info, Old)) || TakeLock(Fd)))
            ::unlink(Stray.c_str());
        ::close(Fd);
    }
}
