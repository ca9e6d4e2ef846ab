#include "FileStream.h"

#include "Errors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
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
        if (::fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode) || ::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
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

} // namespace

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

TReplacingFileStream::TReplacingFileStream(const std::string& FileName) : FFileName(FileName) {
    if (FileName.empty() || !ResolveLinks(FileName, FTarget))
        throw EFCreateError(FFileName);
    struct stat Info;
    TLockResult Result = OpenLocked(FTarget, O_RDONLY, FTargetHandle, Info);
    if (Result == TLockResult::lrMissing) {
        // No file yet: an empty placeholder carries the lock until the new file replaces it.
        Result = OpenLocked(FTarget, O_RDONLY | O_CREAT | O_EXCL, FTargetHandle, Info);
        FCreatedTarget = Result == TLockResult::lrLocked;
    }
    // Root may write anywhere; a file without any write permission bit still counts as read-only.
    if (Result != TLockResult::lrLocked || (Info.st_mode & 0222) == 0 ||
        (!FCreatedTarget && ::access(FTarget.c_str(), W_OK) != 0)) {
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
    const auto Slash = FTarget.rfind('/');
    const std::string Directory = Slash == std::string::npos ? std::string() : FTarget.substr(0, Slash + 1);
    const std::string Base = Slash == std::string::npos ? FTarget : FTarget.substr(Slash + 1);
    std::string Template = Directory + "." + Base + ".new-XXXXXX";
    FTempHandle = ::mkostemp(Template.data(), O_CLOEXEC);
    if (FTempHandle < 0) {
        Discard();
        throw EFCreateError(FFileName);
    }
    FTempName = Template;
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
        if (FCreatedTarget) {
            // Remove our placeholder, but only if the name still refers to it.
            struct stat Mine, Now;
            if (::fstat(FTargetHandle, &Mine) == 0 && ::stat(FTarget.c_str(), &Now) == 0 && SameFile(Mine, Now))
                ::unlink(FTarget.c_str());
        }
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
    if (::rename(FTempName.c_str(), FTarget.c_str()) != 0)
        throw EFCreateError(FFileName);
    FTempName.clear();
    FCreatedTarget = false;
    // Make the rename itself durable; the data are already safe if this fails.
    const int Directory = ::open(DirectoryOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Directory >= 0) {
        ::fsync(Directory);
        ::close(Directory);
    }
}
