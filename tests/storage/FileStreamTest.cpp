#include "FileStream.h"

#include "Errors.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
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

} // namespace
