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

// Reads an existing file, buffered. The file is opened without sharing: while this
// stream (or a TReplacingFileStream for the same file) is open anywhere, in this or
// another process, no other one can open it.
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
// the target untouched. The target is held without sharing from construction to
// destruction. A symbolic link is followed, so its target file is replaced.
class TReplacingFileStream final : public TWriteStream {
public:
    // Throws EFCreateError(FileName) when the target is in use, read-only (also: has no
    // write permission bit at all), or the new file cannot be created.
    explicit TReplacingFileStream(const std::string& FileName);
    ~TReplacingFileStream() override;
    TReplacingFileStream(const TReplacingFileStream&) = delete;
    TReplacingFileStream& operator=(const TReplacingFileStream&) = delete;

    // Writes out the buffer, syncs and renames the new file over the target. Throws
    // EWriteError when the data cannot be written or synced, EFCreateError when the
    // rename fails; the target is then untouched.
    void Commit();

private:
    void WriteSlow(const char* Buffer, std::size_t Count) override;
    void Flush();
    void Discard() noexcept;
    // The temporary file beside the target, with the target's mode Info, and the buffer.
    void CreateTemporary(const struct stat& Info);

    std::string FFileName;  // as given, for messages
    std::string FTarget;    // the file to replace, symbolic links resolved
    std::string FTempName;  // the new file, empty once renamed or removed
    int FTargetHandle = -1; // held (locked) for the whole save
    int FTempHandle = -1;
    bool FCreatedTarget = false; // the target did not exist: an empty placeholder holds the lock
    std::vector<char> FBuffer;
};
