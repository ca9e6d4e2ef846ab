#pragma once
// Byte streams for the data file: exact reads and writes over a file or over memory.
//
// Reads deliver exactly the bytes asked for or throw EReadError; writes take every byte
// given or throw EWriteError. A read or write of 0 bytes does nothing and cannot fail.
#include "ByteString.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TReadStream {
public:
    virtual ~TReadStream() = default;
    // Fills Buffer with exactly Count bytes. Throws EReadError when fewer remain.
    void ReadBuffer(void* Buffer, std::size_t Count) {
        if (Count <= static_cast<std::size_t>(FEnd - FNext)) {
            if (Count > 0)
                std::memcpy(Buffer, FNext, Count);
            FNext += Count;
        } else {
            ReadSlow(static_cast<char*>(Buffer), Count);
        }
    }
    // When the next Count bytes are at hand in the stream's buffer, points View at them
    // (valid until the next read) and moves past them; otherwise returns false and
    // changes nothing.
    bool ReadView(std::size_t Count, TByteView& View) noexcept {
        if (Count > static_cast<std::size_t>(FEnd - FNext))
            return false;
        View = TByteView(FNext, Count);
        FNext += Count;
        return true;
    }
    // Bytes left between the position and the end, as far as the stream knows it. A
    // claimed length above this cannot be read, so nothing is allocated for it.
    virtual std::uint64_t Remaining() const noexcept = 0;

protected:
    // The buffered bytes not yet handed out.
    const char* FNext = nullptr;
    const char* FEnd = nullptr;

private:
    virtual void ReadSlow(char* Buffer, std::size_t Count) = 0;
};

class TWriteStream {
public:
    virtual ~TWriteStream() = default;
    // Takes all Count bytes of Buffer. Throws EWriteError on a short write.
    void WriteBuffer(const void* Buffer, std::size_t Count) {
        if (Count <= static_cast<std::size_t>(FLimit - FNext)) {
            if (Count > 0)
                std::memcpy(FNext, Buffer, Count);
            FNext += Count;
        } else {
            WriteSlow(static_cast<const char*>(Buffer), Count);
        }
    }

protected:
    // Free room in the buffer.
    char* FNext = nullptr;
    char* FLimit = nullptr;

private:
    virtual void WriteSlow(const char* Buffer, std::size_t Count) = 0;
};

// Reads from bytes in memory, which must outlive the stream.
class TMemoryReadStream final : public TReadStream {
public:
    explicit TMemoryReadStream(TByteView Bytes) noexcept;
    std::uint64_t Remaining() const noexcept override { return static_cast<std::uint64_t>(FEnd - FNext); }

private:
    void ReadSlow(char* Buffer, std::size_t Count) override;
};

// Appends to a byte string in memory.
class TMemoryWriteStream final : public TWriteStream {
public:
    const TByteString& Bytes();

private:
    void WriteSlow(const char* Buffer, std::size_t Count) override;
    TByteString FBytes;
    std::size_t FUsed = 0;
};

// The call that takes a file's lock: flock(2), or a stand-in given by tests. A lock held
// elsewhere (EWOULDBLOCK) keeps the file from being opened; any other failure means the
// file system has no locks (ENOLCK, or NFS refusing an exclusive lock on a read-only
// descriptor with EBADF), and then the file is used without one.
using TLockCall = int (*)(int Handle, int Operation);
void SetLockCall(TLockCall Call) noexcept; // nullptr: flock again
// The call that makes a hard link: link(2), or a stand-in given by tests. Where the file
// system has none (EPERM, EOPNOTSUPP, ...) backups are copies.
using TLinkCall = int (*)(const char* From, const char* To);
void SetLinkCall(TLinkCall Call) noexcept; // nullptr: link again

// Reads an existing file, buffered. The file is opened without sharing: while this
// stream (or a TReplacingFileStream for the same file) is open anywhere, in this or
// another process, no other one can open it (where the file system has locks).
class TFileReadStream final : public TReadStream {
public:
    // Returns false (and stays closed) when the file cannot be opened for any reason:
    // missing, not readable, not a regular file, or in use.
    bool Open(const std::string& FileName);
    ~TFileReadStream() override;
    std::uint64_t Remaining() const noexcept override;

private:
    void ReadSlow(char* Buffer, std::size_t Count) override;
    int FHandle = -1;
    std::uint64_t FSize = 0;     // size when opened
    std::uint64_t FConsumed = 0; // bytes read from the file into the buffer so far
    std::vector<char> FBuffer;
};

// Replaces a file as a whole: the bytes go to a new file in the same directory, which
// Commit flushes to disk and renames over the target. Until then the target keeps its
// old content, and a stream destroyed without Commit removes its new file and leaves
// the target untouched. An existing target is held without sharing from construction
// to destruction; a target that does not exist yet appears only at Commit, complete,
// and never empty. A symbolic link is followed, so its target file is replaced.
//
// With Backups > 0, Commit first keeps the old target as a backup beside it, rotating
// Backups generations: name.1 is the previous content, name.2 the one before, and so
// on. The backup is a hard link to the old file (no copy), or a copy where the file
// system has no hard links. When the old target cannot be kept, the save stops before
// any generation has moved or gone. New files left by saves that were killed part-way are
// removed by the next successful Commit for the same target.
class TReplacingFileStream final : public TWriteStream {
public:
    // Throws EFCreateError(FileName) when the target is in use, read-only (also: has no
    // write permission bit at all), or the new file cannot be created.
    explicit TReplacingFileStream(const std::string& FileName, int Backups = 0);
    ~TReplacingFileStream() override;
    TReplacingFileStream(const TReplacingFileStream&) = delete;
    TReplacingFileStream& operator=(const TReplacingFileStream&) = delete;

    // Writes out the buffer, syncs, keeps the backups and renames the new file over the
    // target. Throws EWriteError when the data cannot be written or synced,
    // EFCreateError(name.1) when the backup cannot be kept, EFCreateError(FileName) when
    // the rename fails, or when a target that did not exist has appeared meanwhile; the
    // target is then untouched.
    void Commit();

    // The name of backup generation Generation (1 = newest) of the file Target.
    static std::string BackupName(const std::string& Target, int Generation);

private:
    void WriteSlow(const char* Buffer, std::size_t Count) override;
    void Flush();
    void Discard() noexcept;
    void KeepBackups();
    void RemoveStrayFiles() noexcept;
    void RemoveStrayFilesOrThrow();
    // The temporary file beside the target, with the target's mode Info, and the buffer.
    void CreateTemporary(const struct stat& Info);

    std::string FFileName;  // as given, for messages
    std::string FTarget;    // the file to replace, symbolic links resolved
    std::string FTempName;  // the new file, empty once renamed or removed
    int FTargetHandle = -1; // held (locked) for the whole save
    int FTempHandle = -1;
    bool FNewTarget = false; // the target did not exist: Commit links the new file into place
    int FBackups = 0;
    std::vector<char> FBuffer;
};
