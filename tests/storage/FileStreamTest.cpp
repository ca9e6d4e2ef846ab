#include "FileStream.h"

#include "Errors.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace StorageTest;

namespace {

TByteString Pattern(std::size_t Size) {
    TByteString Bytes(Size, '\0');
    for (std::size_t I = 0; I < Size; ++I)
        Bytes[I] = static_cast<char>((I * 131 + I / 251) & 0xFF);
    return Bytes;
}

// Reading a file in pieces of these sizes gives back its bytes exactly, across the
// stream's buffer boundaries and with pieces larger than the buffer.
class FileReadStreamPieces : public testing::TestWithParam<std::size_t> {};

TEST_P(FileReadStreamPieces, DeliverTheFileExactly) {
    TScratchDir Dir;
    const TByteString Bytes = Pattern(700'001);
    WriteFileBytes(Dir / "f.dat", Bytes);
    TFileReadStream Stream;
    ASSERT_TRUE(Stream.Open(Dir / "f.dat"));
    TByteString Back;
    std::size_t Step = GetParam();
    while (Back.size() < Bytes.size()) {
        const std::size_t Count = std::min(Step, Bytes.size() - Back.size());
        EXPECT_EQ(Stream.Remaining(), Bytes.size() - Back.size());
        TByteString Piece(Count, '\0');
        Stream.ReadBuffer(Piece.data(), Count);
        Back += Piece;
        Step = Step * 3 / 2 + 1; // vary the piece size along the way
    }
    EXPECT_EQ(Back, Bytes);
    EXPECT_EQ(Stream.Remaining(), 0u);
    Stream.ReadBuffer(nullptr, 0); // nothing asked at the end: no failure
    char One;
    EXPECT_THROW(Stream.ReadBuffer(&One, 1), EReadError);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FileReadStreamPieces, testing::Values(1, 4, 4095, 262'144, 300'000, 700'001));

TEST(FileReadStream, ShortReadIsReadError) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "f.dat", "abc");
    TFileReadStream Stream;
    ASSERT_TRUE(Stream.Open(Dir / "f.dat"));
    char Buffer[4];
    EXPECT_THROW(Stream.ReadBuffer(Buffer, 4), EReadError);
}

TEST(FileReadStream, OpenFailsForWhatCannotBeRead) {
    TScratchDir Dir;
    std::filesystem::create_directory(Dir.Path() / "sub");
    for (const std::string Name : {"missing.dat", "sub", ""}) {
        TFileReadStream Stream;
        EXPECT_FALSE(Stream.Open(Name.empty() ? Name : Dir / Name)) << Name;
    }
}

TEST(MemoryStreams, WrittenBytesReadBack) {
    TMemoryWriteStream Out;
    const TByteString Big = Pattern(5000);
    Out.WriteBuffer("ab", 2);
    Out.WriteBuffer(Big.data(), Big.size());
    Out.WriteBuffer("", 0);
    ASSERT_EQ(Out.Bytes(), "ab" + Big);
    Out.WriteBuffer("z", 1);
    const TByteString All = Out.Bytes();
    EXPECT_EQ(All, "ab" + Big + "z");

    TMemoryReadStream In(All);
    char Two[2];
    In.ReadBuffer(Two, 2);
    EXPECT_EQ(In.Remaining(), Big.size() + 1);
    TByteString Rest(Big.size() + 2, '\0');
    EXPECT_THROW(In.ReadBuffer(Rest.data(), Rest.size()), EReadError);
}

TEST(ReplacingFileStream, NothingChangesBeforeCommit) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "d.dat", "old");
    {
        TReplacingFileStream Stream(Dir / "d.dat");
        Stream.WriteBuffer("new content", 11);
        EXPECT_EQ(ReadFileBytes(Dir / "d.dat"), "old");
        EXPECT_EQ(Dir.Names().size(), 2u); // the data file and the new one beside it
    }
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat"), "old");
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"d.dat"});
}

TEST(ReplacingFileStream, CommitReplacesTheFile) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "d.dat", "old content that is longer");
    const TByteString Bytes = Pattern(600'000);
    {
        TReplacingFileStream Stream(Dir / "d.dat");
        Stream.WriteBuffer("x", 1);
        Stream.WriteBuffer(Bytes.data(), Bytes.size());
        Stream.Commit();
    }
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat"), "x" + Bytes);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"d.dat"});
}

void Save(const std::string& Name, TByteView Bytes, int Backups) {
    TReplacingFileStream Stream(Name, Backups);
    Stream.WriteBuffer(Bytes.data(), Bytes.size());
    Stream.Commit();
}

// Each save keeps the file it replaces as d.dat.1; the older ones move up to .2 and .3,
// and the oldest beyond that goes.
TEST(ReplacingFileStream, SavesRotateThreeBackups) {
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    Save(Name, "v1", 3); // a new file: nothing to keep
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"d.dat"});
    for (const char* Next : {"v2", "v3", "v4", "v5"})
        Save(Name, Next, 3);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"d.dat", "d.dat.1", "d.dat.2", "d.dat.3"}));
    EXPECT_EQ(ReadFileBytes(Name), "v5");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.1"), "v4");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.2"), "v3");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.3"), "v2");
    // The backup is the old file itself, linked, not a copy; the data file is a new one.
    struct stat Backup, Data;
    ASSERT_EQ(::stat((Dir / "d.dat.1").c_str(), &Backup), 0);
    ASSERT_EQ(::stat(Name.c_str(), &Data), 0);
    EXPECT_EQ(Backup.st_nlink, 1u);
    EXPECT_NE(Backup.st_ino, Data.st_ino);
}

// Where the file system has no hard links, the backups are copies and a new file is
// renamed into place.
TEST(ReplacingFileStream, WithoutHardLinksBackupsAreCopies) {
    SetLinkCall([](const char*, const char*) {
        errno = EPERM;
        return -1;
    });
    const struct TRestore {
        ~TRestore() { SetLinkCall(nullptr); }
    } Restore;
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    Save(Name, "v1", 3);
    Save(Name, "v2", 3);
    Save(Name, "v3", 3);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"d.dat", "d.dat.1", "d.dat.2"}));
    EXPECT_EQ(ReadFileBytes(Name), "v3");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.1"), "v2");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.2"), "v1");
}

// A backup that cannot be kept stops the save before the data file is touched.
TEST(ReplacingFileStream, BackupThatCannotBeKeptStopsTheSave) {
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    WriteFileBytes(Name, "old");
    WriteFileBytes(Dir / "d.dat.2", "older");
    std::filesystem::create_directories(Dir.Path() / "d.dat.3" / "in the way");
    try {
        Save(Name, "new", 3);
        ADD_FAILURE() << "the save went through";
    } catch (const EFCreateError& Error) {
        EXPECT_EQ(std::string(Error.what()), EFCreateError(Name + ".1").what());
    }
    EXPECT_EQ(ReadFileBytes(Name), "old");
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat.2"), "older");
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"d.dat", "d.dat.2", "d.dat.3"}));
}

// When the old file cannot be kept (no space for the link or the copy), no backup has
// moved or gone yet: the save stops with every generation as it was.
TEST(ReplacingFileStream, BackupThatCannotBeMadeLeavesEveryGeneration) {
    SetLinkCall([](const char*, const char*) {
        errno = ENOSPC;
        return -1;
    });
    const struct TRestore {
        ~TRestore() { SetLinkCall(nullptr); }
    } Restore;
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    const std::vector<std::pair<std::string, std::string>> Files = {
        {"d.dat", "old"}, {"d.dat.1", "b1"}, {"d.dat.2", "b2"}, {"d.dat.3", "b3"}};
    for (const auto& [File, Bytes] : Files)
        WriteFileBytes(Dir / File, Bytes);
    EXPECT_THROW(Save(Name, "new", 3), EFCreateError);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"d.dat", "d.dat.1", "d.dat.2", "d.dat.3"}));
    for (const auto& [File, Bytes] : Files)
        EXPECT_EQ(ReadFileBytes(Dir / File), Bytes) << File;
}

// A first save that fails or is abandoned leaves nothing under the file's name, not
// even an empty file; the name appears only with the complete file.
TEST(ReplacingFileStream, NewFileAppearsOnlyComplete) {
    TScratchDir Dir;
    const std::string Name = Dir / "new.dat";
    {
        TReplacingFileStream Stream(Name, 3);
        Stream.WriteBuffer("abc", 3);
        EXPECT_FALSE(std::filesystem::exists(Name));
    }
    EXPECT_TRUE(Dir.Names().empty());
    {
        TReplacingFileStream Stream(Name, 3);
        Stream.WriteBuffer("abc", 3);
        WriteFileBytes(Name, "someone else's"); // appeared meanwhile: not overwritten
        EXPECT_THROW(Stream.Commit(), EFCreateError);
    }
    EXPECT_EQ(ReadFileBytes(Name), "someone else's");
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"new.dat"});
}

// Also where the file system has no hard links, a first save never replaces a file
// that appeared under its name meanwhile.
TEST(ReplacingFileStream, NewFileWithoutHardLinksReplacesNothing) {
    SetLinkCall([](const char*, const char*) {
        errno = EPERM;
        return -1;
    });
    const struct TRestore {
        ~TRestore() { SetLinkCall(nullptr); }
    } Restore;
    TScratchDir Dir;
    const std::string Name = Dir / "new.dat";
    {
        TReplacingFileStream Stream(Name, 3);
        Stream.WriteBuffer("abc", 3);
        WriteFileBytes(Name, "someone else's");
        EXPECT_THROW(Stream.Commit(), EFCreateError);
    }
    EXPECT_EQ(ReadFileBytes(Name), "someone else's");
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"new.dat"});
    Save(Dir / "other.dat", "abc", 3);
    EXPECT_EQ(ReadFileBytes(Dir / "other.dat"), "abc");
}

// New files of saves that were killed part-way are removed by the next successful save
// of the same file, but not those of a save still running, nor other files' ones. A
// save killed while it kept the old file for its backup left one too.
TEST(ReplacingFileStream, CommitRemovesNewFilesOfKilledSaves) {
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    WriteFileBytes(Name, "old");
    WriteFileBytes(Dir / ".d.dat.new-AbC123", "killed");
    WriteFileBytes(Dir / ".d.dat.new-zzzzzz", "killed too");
    WriteFileBytes(Dir / ".d.dat.1.new-AbC123", "killed while copying the backup");
    // Killed after linking the old file for its backup: a second name of the data file.
    ASSERT_EQ(::link(Name.c_str(), (Dir / ".d.dat.1.new-LnK456").c_str()), 0);
    WriteFileBytes(Dir / ".e.dat.new-AbC123", "another file's");
    WriteFileBytes(Dir / ".d.dat.new-short", "not ours");
    TReplacingFileStream Running(Dir / "e.dat");
    Save(Name, "new", 0);
    const std::vector<std::string> Names = Dir.Names();
    EXPECT_EQ(std::count_if(Names.begin(), Names.end(), [](const std::string& N) { return N.rfind(".d.dat", 0) == 0; }),
              1)
        << "only .d.dat.new-short is left";
    EXPECT_TRUE(std::filesystem::exists(Dir / ".e.dat.new-AbC123"));
    EXPECT_EQ(ReadFileBytes(Name), "new");
}

// The lock stand-in fails with Error for every call while it lives.
class TFailingLocks {
public:
    explicit TFailingLocks(int Error) {
        FError = Error;
        SetLockCall([](int, int) {
            errno = FError;
            return -1;
        });
    }
    ~TFailingLocks() { SetLockCall(nullptr); }
    TFailingLocks(const TFailingLocks&) = delete;
    TFailingLocks& operator=(const TFailingLocks&) = delete;

private:
    static inline int FError = 0;
};

// Only a lock held elsewhere keeps a file from being read or replaced; a file system
// without locks (ENOLCK, or NFS's EBADF for an exclusive lock on a read-only handle)
// is used without them.
class LockFailure : public testing::TestWithParam<int> {};

TEST_P(LockFailure, BlocksOnlyWhenTheLockIsHeld) {
    TScratchDir Dir;
    const std::string Name = Dir / "d.dat";
    WriteFileBytes(Name, "old");
    const TFailingLocks Locks(GetParam());
    const bool Held = GetParam() == EWOULDBLOCK;
    TFileReadStream Reader;
    EXPECT_EQ(Reader.Open(Name), !Held);
    if (Held) {
        EXPECT_THROW(Save(Name, "new", 3), EFCreateError);
        EXPECT_EQ(ReadFileBytes(Name), "old");
    } else {
        Save(Name, "new", 3);
        Save(Dir / "fresh.dat", "first", 3);
        EXPECT_EQ(ReadFileBytes(Name), "new");
        EXPECT_EQ(ReadFileBytes(Dir / "d.dat.1"), "old");
        EXPECT_EQ(ReadFileBytes(Dir / "fresh.dat"), "first");
    }
}

INSTANTIATE_TEST_SUITE_P(Errors, LockFailure, testing::Values(ENOLCK, EBADF, EWOULDBLOCK));

} // namespace
