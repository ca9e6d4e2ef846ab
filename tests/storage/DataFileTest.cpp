#include "DataFile.h"

#include "Errors.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <typeindex>
#include <unistd.h>
#include <vector>

using namespace StorageTest;
using namespace std::string_literals;

namespace {

using TLines = std::vector<std::string>;

// A top-level entry A with the lines ab and cd, and its only child B with no lines.
void BuildExample(TTreeNodes& Nodes) {
    TTreeNode* A = Nodes.AppendChild(nullptr, "A", NewBody({"ab", "cd"}));
    Nodes.AppendChild(A, "B", NewBody({}));
}

// An outline with what a file must carry exactly: empty titles and bodies, empty last
// lines, raw bytes, several levels and siblings after deep subtrees.
void BuildVaried(TTreeNodes& Nodes) {
    TTreeNode* A = Nodes.AppendChild(nullptr, "\x97\x76\x8C\x8F", NewBody({"", "line", ""}));
    TTreeNode* B = Nodes.AppendChild(A, "", NewBody({}));
    TTreeNode* C = Nodes.AppendChild(B, "t\0\r"s, NewBody({"\x81\x40\xFF"}));
    Nodes.AppendChild(C, "deep", nullptr);
    Nodes.AppendChild(B, "after deep", NewBody({""}));
    Nodes.AppendChild(A, "second child", NewBody({"x", "y", "z"}));
    Nodes.AppendChild(nullptr, "second top", NewBody({std::string(70'000, 'w')}));
    Nodes.AppendChild(nullptr, "third top", NewBody({}));
}

TByteString SaveToMemory(TTreeNodes& Nodes) {
    TMemoryWriteStream Out;
    WriteOutline(Nodes, Out);
    return Out.Bytes();
}

// ---- the worked files, byte for byte ----

TEST(DataFile, ExampleOutlineWritesTheExampleBytes) {
    TScratchDir Dir;
    TOwningOutline Nodes;
    BuildExample(Nodes);
    WriteOutline(Nodes, Dir / "example.dat");
    EXPECT_EQ(ReadFileBytes(Dir / "example.dat"), ReadFileBytes(Fixture("example55.dat")));
    EXPECT_EQ(ReadFileBytes(Dir / "example.dat").size(), 55u);
}

TEST(DataFile, EmptyOutlineWritesThirteenBytes) {
    TScratchDir Dir;
    TOwningOutline Nodes;
    WriteOutline(Nodes, Dir / "empty.dat");
    EXPECT_EQ(ReadFileBytes(Dir / "empty.dat"), "\x05\0\0\0Dummy\0\0\0\0"s);
    EXPECT_EQ(ReadFileBytes(Dir / "empty.dat"), ReadFileBytes(Fixture("empty13.dat")));
}

TEST(DataFile, ExampleFileLoadsTheExampleOutline) {
    TOwningOutline Nodes;
    ASSERT_EQ(ReadOutline(Nodes, Fixture("example55.dat")), TReadResult::rrRead);
    EXPECT_EQ(Shape(Nodes), "A(B)");
    EXPECT_EQ(LinesOf(Nodes.EntryAtIndex(0)->Data()), (TLines{"ab", "cd"}));
    ASSERT_NE(Nodes.EntryAtIndex(1)->Data(), nullptr); // an empty body, not none
    EXPECT_EQ(Nodes.EntryAtIndex(1)->Data()->Count(), 0);
}

TEST(DataFile, ThirteenByteFileLoadsEmptyOutline) {
    TOwningOutline Nodes;
    BuildExample(Nodes);
    EXPECT_EQ(ReadOutline(Nodes, Fixture("empty13.dat")), TReadResult::rrRead);
    EXPECT_EQ(Nodes.EntryCount(), 0);
}

TEST(DataFile, SaveLoadSaveIsByteIdentical) {
    TScratchDir Dir;
    TOwningOutline First;
    BuildVaried(First);
    WriteOutline(First, Dir / "1.dat");
    TOwningOutline Second;
    ASSERT_EQ(ReadOutline(Second, Dir / "1.dat"), TReadResult::rrRead);
    EXPECT_EQ(Shape(Second), Shape(First));
    for (int K = 0; K < First.EntryCount(); ++K)
        EXPECT_EQ(LinesOf(Second.EntryAtIndex(K)->Data()), LinesOf(First.EntryAtIndex(K)->Data())) << K;
    WriteOutline(Second, Dir / "2.dat");
    EXPECT_EQ(ReadFileBytes(Dir / "2.dat"), ReadFileBytes(Dir / "1.dat"));
}

TEST(DataFile, MissingFileIsNotFoundAndClearsTheOutline) {
    TScratchDir Dir;
    TOwningOutline Nodes;
    BuildExample(Nodes);
    std::vector<std::string> Deleted;
    Nodes.OnDeletion = [&](TObject*, TTreeNode* Node) {
        Deleted.push_back(Node->Text());
        delete Node->Data();
    };
    EXPECT_EQ(ReadOutline(Nodes, Dir / "missing.dat"), TReadResult::rrNotFound);
    EXPECT_EQ(Nodes.EntryCount(), 0);
    std::sort(Deleted.begin(), Deleted.end());
    EXPECT_EQ(Deleted, (std::vector<std::string>{"A", "B"}));
    // A save right after creates the empty file.
    WriteOutline(Nodes, Dir / "missing.dat");
    EXPECT_EQ(ReadFileBytes(Dir / "missing.dat"), ReadFileBytes(Fixture("empty13.dat")));
}

// ---- what the reader accepts beyond what the writer produces ----

struct TLenientCase {
    const char* Name;
    TByteString Bytes;
    std::string Shape;
    TLines FirstBody;
};

class ReaderAccepts : public testing::TestWithParam<TLenientCase> {};

TEST_P(ReaderAccepts, AndBuildsTheOutline) {
    TOwningOutline Nodes;
    TMemoryReadStream Stream(GetParam().Bytes);
    ReadOutline(Nodes, Stream);
    EXPECT_EQ(Shape(Nodes), GetParam().Shape);
    if (Nodes.EntryCount() > 0) {
        EXPECT_EQ(LinesOf(Nodes.EntryAtIndex(0)->Data()), GetParam().FirstBody);
    }
}

const TByteString TwoRecords = RecordBytes(-1, 0, "P", "x\r\n") + RecordBytes(0, 1, "C", "");

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderAccepts,
    testing::Values(
        TLenientCase{"AnyHeader", StrBytes("not a header at all") + Int32Bytes(2) + TwoRecords, "P(C)", {"x"}},
        TLenientCase{"EmptyHeader", StrBytes("") + Int32Bytes(2) + TwoRecords, "P(C)", {"x"}},
        TLenientCase{"OwnIndexesIgnored",
                     StrBytes("Dummy") + Int32Bytes(2) + RecordBytes(-1, 77, "P", "x\r\n") +
                         RecordBytes(0, -5, "C", ""),
                     "P(C)",
                     {"x"}},
        TLenientCase{
            "BytesAfterTheLastRecordIgnored", StrBytes("Dummy") + Int32Bytes(1) + TwoRecords + "junk", "P", {"x"}},
        TLenientCase{"ZeroCountReadsNoRecords", StrBytes("Dummy") + Int32Bytes(0) + TwoRecords, "", {}},
        TLenientCase{"NegativeCountReadsNoRecords", StrBytes("Dummy") + Int32Bytes(-3) + TwoRecords, "", {}},
        TLenientCase{"BodyLineEndsNormalised",
                     StrBytes("Dummy") + Int32Bytes(1) + RecordBytes(-1, 0, "P", "a\nb\rc\0d"s),
                     "P",
                     {"a", "b", "c"}},
        // Parents are looked up in the outline as built so far: after P, Q and R (child of
        // P) the order is P, R, Q, so index 1 names R.
        TLenientCase{"ParentIndexNamesTheOutlineAsBuilt",
                     StrBytes("Dummy") + Int32Bytes(4) + RecordBytes(-1, 0, "P", "") + RecordBytes(-1, 1, "Q", "") +
                         RecordBytes(0, 2, "R", "") + RecordBytes(1, 3, "S", ""),
                     "P(R(S)),Q",
                     {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DataFile, ReaderMatchesLookupFromTheFirstEntryOnAnyParentOrder) {
    // Files in any record order: the reader's path shortcut must give exactly the outline
    // that looking each parent up by index gives.
    std::mt19937 Random(20261209);
    for (int Round = 0; Round < 200; ++Round) {
        const int Count = 1 + static_cast<int>(Random() % 60);
        TByteString Bytes = StrBytes("Dummy") + Int32Bytes(Count);
        TOwningOutline Expected;
        for (int K = 0; K < Count; ++K) {
            // Mostly near the end, as in real files, with jumps anywhere.
            int Parent = -1;
            const unsigned Pick = Random() % 4;
            if (K > 0 && Pick == 1)
                Parent = static_cast<int>(Random() % static_cast<unsigned>(K));
            else if (K > 0 && Pick >= 2)
                Parent = K - 1 - static_cast<int>(Random() % std::min(3u, static_cast<unsigned>(K)));
            const std::string Title = std::to_string(K);
            Bytes += RecordBytes(Parent, K, Title, "");
            Expected.AppendChild(Parent < 0 ? nullptr : Expected.EntryAtIndex(Parent), Title, nullptr);
        }
        TOwningOutline Nodes;
        TMemoryReadStream Stream(Bytes);
        ReadOutline(Nodes, Stream);
        ASSERT_EQ(Shape(Nodes), Shape(Expected)) << "round " << Round;
        // And the writer gives every entry its parent's index as the outline stands.
        const TByteString Saved = SaveToMemory(Nodes);
        TMemoryReadStream Again(Saved);
        TOwningOutline Reloaded;
        ReadOutline(Reloaded, Again);
        ASSERT_EQ(Shape(Reloaded), Shape(Nodes)) << "round " << Round;
    }
}

// ---- damaged files ----

// Four records: A, its child B, B's child C, and the top-level D.
const TByteString GoodHeader = StrBytes("Dummy") + Int32Bytes(4);
const TByteString Record0 = RecordBytes(-1, 0, "A", "a1\r\n");
const TByteString Record1 = RecordBytes(0, 1, "B", "");
const TByteString Record2 = RecordBytes(1, 2, "C", "c1\r\nc2\r\n");
const TByteString Record3 = RecordBytes(-1, 3, "D", "dd\r\n");
const TByteString Good = GoodHeader + Record0 + Record1 + Record2 + Record3;
const std::size_t At3 = GoodHeader.size() + Record0.size() + Record1.size() + Record2.size();

TByteString Cut(std::size_t Length) {
    return Good.substr(0, Length);
}
// Good with the int32 at Offset replaced.
TByteString Patched(std::size_t Offset, std::int32_t Value) {
    TByteString Bytes = Good;
    Bytes.replace(Offset, 4, Int32Bytes(Value));
    return Bytes;
}

struct TDamageCase {
    const char* Name;
    TByteString Bytes;
    std::type_index Error;
    std::string Survivors; // the outline after the failure
};

class DamagedFile : public testing::TestWithParam<TDamageCase> {};

TEST_P(DamagedFile, FailsAndKeepsTheEntriesReadBefore) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "d.dat", GetParam().Bytes);
    TOwningOutline Nodes;
    BuildExample(Nodes); // whatever was there goes first
    try {
        ReadOutline(Nodes, Dir / "d.dat");
        ADD_FAILURE() << "no error";
    } catch (const Exception& Error) {
        EXPECT_EQ(std::type_index(typeid(Error)), GetParam().Error) << Error.what();
    }
    EXPECT_EQ(Shape(Nodes), GetParam().Survivors);
    // The file was let go: it can be loaded and saved again at once.
    WriteFileBytes(Dir / "d.dat", Good);
    EXPECT_EQ(ReadOutline(Nodes, Dir / "d.dat"), TReadResult::rrRead);
    EXPECT_NO_THROW(WriteOutline(Nodes, Dir / "d.dat"));
}

const std::type_index Read = typeid(EReadError);
const std::type_index Index = typeid(ETreeViewError);

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    testing::Values(TDamageCase{"EmptyFile", "", Read, ""}, TDamageCase{"InHeaderLength", Cut(2), Read, ""},
                    TDamageCase{"InHeaderText", Cut(7), Read, ""}, TDamageCase{"BeforeCount", Cut(9), Read, ""},
                    TDamageCase{"InCount", Cut(11), Read, ""}, TDamageCase{"BeforeFirstRecord", GoodHeader, Read, ""},
                    TDamageCase{"InParentOfRecord3", Cut(At3 + 2), Read, "A(B(C))"},
                    TDamageCase{"InOwnIndexOfRecord3", Cut(At3 + 6), Read, "A(B(C))"},
                    TDamageCase{"InTitleLengthOfRecord3", Cut(At3 + 9), Read, "A(B(C))"},
                    TDamageCase{"BeforeTitleOfRecord3", Cut(At3 + 12), Read, "A(B(C))"},
                    TDamageCase{"InBodyLengthOfRecord3", Cut(At3 + 15), Read, "A(B(C))"},
                    TDamageCase{"InBodyOfRecord3", Cut(At3 + 18), Read, "A(B(C))"},
                    TDamageCase{"LastByteMissing", Cut(Good.size() - 1), Read, "A(B(C))"},
                    TDamageCase{"NegativeTitleLength", Patched(At3 + 8, -1), Read, "A(B(C))"},
                    TDamageCase{"NegativeBodyLength", Patched(At3 + 13, -100), Read, "A(B(C))"},
                    TDamageCase{"NegativeHeaderLength", Patched(0, INT32_MIN), Read, ""},
                    TDamageCase{"HugeTitleLength", Patched(At3 + 8, INT32_MAX), Read, "A(B(C))"},
                    TDamageCase{"LengthOneBeyondTheEnd", Patched(At3 + 13, 5), Read, "A(B(C))"},
                    TDamageCase{"CountAboveTheRecords", Patched(9, 5), Read, "A(B(C)),D"},
                    TDamageCase{"ParentMinusTwo", Patched(At3, -2), Index, "A(B(C))"},
                    TDamageCase{"ParentIsTheRecordItself", Patched(At3, 3), Index, "A(B(C))"},
                    TDamageCase{"ParentBeyondTheOutline", Patched(At3, 1000), Index, "A(B(C))"},
                    TDamageCase{"FirstRecordParentZero", Patched(13, 0), Index, ""},
                    TDamageCase{"ParentMostNegative", Patched(At3, INT32_MIN), Index, "A(B(C))"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// A file of Records records whose parents are any entry read before (out of pre-order
// from the second record on), damaged at record Damaged: cut inside it, or its parent
// beyond the outline. Whatever the reader has taken in and not yet put into the outline
// when it meets the damage, the records before it are there, in order.
struct TLateDamageCase {
    const char* Name;
    int Damaged;
    bool Cut; // else the parent is beyond the outline
};

TByteString OffOrderRecords(int Records, int Damaged, bool CutThere, bool BadParent) {
    TByteString Bytes = StrBytes("Dummy") + Int32Bytes(Records);
    for (int K = 0; K < Records; ++K) {
        const int Parent = K == 0 ? -1 : (K * 7919 + 13) % (K + 1) - 1;
        TByteString Record = RecordBytes(K == Damaged && BadParent ? K + 5 : Parent, K, "t" + std::to_string(K),
                                         "b" + std::to_string(K));
        if (K == Damaged && CutThere)
            return Bytes + Record.substr(0, 10);
        Bytes += Record;
    }
    return Bytes;
}

class LateDamage : public testing::TestWithParam<TLateDamageCase> {};

TEST_P(LateDamage, KeepsEveryRecordBeforeTheDamage) {
    constexpr int Records = 100;
    const TLateDamageCase& Case = GetParam();
    const TByteString Damaged = OffOrderRecords(Records, Case.Damaged, Case.Cut, !Case.Cut);
    TOwningOutline Nodes;
    try {
        TMemoryReadStream Stream(Damaged);
        ReadOutline(Nodes, Stream);
        ADD_FAILURE() << "no error";
    } catch (const Exception& Error) {
        EXPECT_EQ(std::type_index(typeid(Error)), Case.Cut ? Read : Index) << Error.what();
    }
    // The same records up to the damage, as a whole file.
    const TByteString Before = OffOrderRecords(Case.Damaged, -1, false, false);
    TMemoryReadStream Stream(Before);
    TOwningOutline Expected;
    ReadOutline(Expected, Stream);
    ASSERT_EQ(Expected.EntryCount(), Case.Damaged);
    EXPECT_EQ(Shape(Nodes), Shape(Expected));
    for (TTreeNode *A = Nodes.GetFirstNode(), *B = Expected.GetFirstNode(); A && B; A = A->GetNext(), B = B->GetNext())
        EXPECT_EQ(LinesOf(TTreeNodes::EntryBody(A)), LinesOf(TTreeNodes::EntryBody(B)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LateDamage,
    testing::Values(TLateDamageCase{"CutInSecondRecord", 1, true}, TLateDamageCase{"CutInThirdRecord", 2, true},
                    TLateDamageCase{"CutInRecord10", 10, true}, TLateDamageCase{"CutInRecord17", 17, true},
                    TLateDamageCase{"CutInRecord18", 18, true}, TLateDamageCase{"CutInRecord19", 19, true},
                    TLateDamageCase{"CutInRecord40", 40, true}, TLateDamageCase{"CutInLastRecord", 99, true},
                    TLateDamageCase{"BadParentInThirdRecord", 2, false},
                    TLateDamageCase{"BadParentInRecord18", 18, false},
                    TLateDamageCase{"BadParentInRecord50", 50, false},
                    TLateDamageCase{"BadParentInLastRecord", 99, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Runs in a child process: loads Name with the address space capped near what the
// process already uses, and exits 0 for EReadError.
[[maybe_unused]] void LoadUnderAddressLimit(const std::string& Name) {
    struct rusage Usage;
    ::getrusage(RUSAGE_SELF, &Usage);
    const auto Cap = static_cast<rlim_t>(Usage.ru_maxrss) * 1024 * 4 + (512UL << 20);
    const struct rlimit Limit = {Cap, Cap};
    ::setrlimit(RLIMIT_AS, &Limit);
    TOwningOutline Nodes;
    try {
        ReadOutline(Nodes, Name);
    } catch (const EReadError&) {
        std::_Exit(0);
    } catch (...) {
        std::_Exit(1);
    }
    std::_Exit(2);
}

TEST(DataFile, ClaimedLengthBeyondTheFileAllocatesNothing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
    // A 12-byte file that claims a 2 GB header: with the address space capped far below
    // that, only a reader that never allocates the claim reports the short file.
    TScratchDir Dir;
    WriteFileBytes(Dir / "claim.dat", Int32Bytes(INT32_MAX) + "Dummy\0\0\0"s);
    EXPECT_EXIT(LoadUnderAddressLimit(Dir / "claim.dat"), testing::ExitedWithCode(0), "");
#endif
}

// ---- saving ----

class FailedSave : public testing::TestWithParam<std::size_t> {};

// A save whose sink fails after N bytes leaves the previous file as it was, and no
// stray file beside it.
TEST_P(FailedSave, LeavesTheOldFileIntact) {
    TScratchDir Dir;
    const TByteString Old = ReadFileBytes(Fixture("example55.dat"));
    WriteFileBytes(Dir / "youken.dat", Old);
    TOwningOutline Nodes;
    BuildVaried(Nodes);
    {
        TReplacingFileStream File(Dir / "youken.dat");
        TFailingStream Sink(GetParam());
        EXPECT_THROW(WriteOutline(Nodes, Sink), EWriteError);
        File.WriteBuffer(Sink.Taken.data(), Sink.Taken.size());
    }
    EXPECT_EQ(ReadFileBytes(Dir / "youken.dat"), Old);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"youken.dat"});
}

INSTANTIATE_TEST_SUITE_P(Limits, FailedSave, testing::Values(0, 3, 9, 13, 17, 40, 70'000));

// Runs in a child process: saves a varied outline to Name while files may not grow
// beyond Limit bytes, and exits 0 for EWriteError.
void SaveUnderFileSizeLimit(const std::string& Name, rlim_t Limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit Size = {Limit, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &Size);
    TOwningOutline Nodes;
    BuildVaried(Nodes);
    try {
        WriteOutline(Nodes, Name);
    } catch (const EWriteError&) {
        std::_Exit(0);
    } catch (...) {
        std::_Exit(1);
    }
    std::_Exit(2);
}

TEST(DataFile, WriteFailureOnDiskLeavesTheOldFileIntact) {
    // The file size limit makes the disk refuse bytes part-way through the save.
    TScratchDir Dir;
    const TByteString Old = ReadFileBytes(Fixture("example55.dat"));
    WriteFileBytes(Dir / "youken.dat", Old);
    EXPECT_EXIT(SaveUnderFileSizeLimit(Dir / "youken.dat", 1000), testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFileBytes(Dir / "youken.dat"), Old);
    EXPECT_EQ(Dir.Names(), std::vector<std::string>{"youken.dat"});
}

struct TUncreatableCase {
    const char* Name;
    std::function<std::string(const TScratchDir&)> Prepare; // returns the file name to save to
};

class UncreatableFile : public testing::TestWithParam<TUncreatableCase> {};

TEST_P(UncreatableFile, IsCreateErrorNamingTheFileAndTouchesNothing) {
    TScratchDir Dir;
    const std::string Name = GetParam().Prepare(Dir);
    const auto Before = Dir.Names();
    const TByteString Old = ReadFileBytes(Name);
    TOwningOutline Nodes;
    BuildExample(Nodes);
    try {
        WriteOutline(Nodes, Name);
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError& Error) {
        EXPECT_EQ(Error.Message(), "ファイル " + Name + " を作成できません");
    }
    EXPECT_EQ(Dir.Names(), Before);
    EXPECT_EQ(ReadFileBytes(Name), Old);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UncreatableFile,
    testing::Values(TUncreatableCase{"ReadOnlyFile",
                                     [](const TScratchDir& Dir) {
                                         WriteFileBytes(Dir / "jyoubun.dat", "old");
                                         ::chmod((Dir / "jyoubun.dat").c_str(), 0444);
                                         return Dir / "jyoubun.dat";
                                     }},
                    TUncreatableCase{"NoWriteBitAtAll",
                                     [](const TScratchDir& Dir) {
                                         WriteFileBytes(Dir / "jyoubun.dat", "old");
                                         ::chmod((Dir / "jyoubun.dat").c_str(), 0);
                                         return Dir / "jyoubun.dat";
                                     }},
                    TUncreatableCase{"MissingDirectory",
                                     [](const TScratchDir& Dir) { return Dir / "no/such/dir/youken.dat"; }},
                    TUncreatableCase{"DirectoryIsAFile",
                                     [](const TScratchDir& Dir) {
                                         WriteFileBytes(Dir / "file", "x");
                                         return Dir / "file/youken.dat";
                                     }},
                    TUncreatableCase{"NameIsADirectory",
                                     [](const TScratchDir& Dir) {
                                         std::filesystem::create_directory(Dir.Path() / "youken.dat");
                                         return Dir / "youken.dat";
                                     }},
                    TUncreatableCase{"EmptyName", [](const TScratchDir&) { return std::string(); }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DataFile, SaveKeepsThePermissionBits) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "d.dat", "old");
    ::chmod((Dir / "d.dat").c_str(), 0640);
    TOwningOutline Nodes;
    BuildExample(Nodes);
    WriteOutline(Nodes, Dir / "d.dat");
    struct stat Info;
    ASSERT_EQ(::stat((Dir / "d.dat").c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadFileBytes(Dir / "d.dat").size(), 55u);
}

TEST(DataFile, NewFileGetsTheUsualPermissions) {
    TScratchDir Dir;
    const mode_t Mask = ::umask(022);
    TOwningOutline Nodes;
    WriteOutline(Nodes, Dir / "new.dat");
    ::umask(Mask);
    struct stat Info;
    ASSERT_EQ(::stat((Dir / "new.dat").c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 07777, 0644u);
}

TEST(DataFile, SaveThroughSymbolicLinkReplacesItsTarget) {
    TScratchDir Dir;
    std::filesystem::create_directory(Dir.Path() / "real");
    WriteFileBytes(Dir / "real/youken.dat", "old");
    std::filesystem::create_symlink("real/youken.dat", Dir.Path() / "youken.dat");
    TOwningOutline Nodes;
    BuildExample(Nodes);
    WriteOutline(Nodes, Dir / "youken.dat");
    EXPECT_TRUE(std::filesystem::is_symlink(Dir.Path() / "youken.dat"));
    EXPECT_EQ(ReadFileBytes(Dir / "real/youken.dat"), ReadFileBytes(Fixture("example55.dat")));
    EXPECT_EQ(std::filesystem::directory_iterator(Dir.Path() / "real")->path().filename(), "youken.dat");
}

TEST(DataFile, FailedSaveOfNewFileLeavesNoFile) {
    TScratchDir Dir;
    TOwningOutline Nodes;
    BuildExample(Nodes);
    {
        TReplacingFileStream File(Dir / "new.dat");
        TFailingStream Sink(20);
        EXPECT_THROW(WriteOutline(Nodes, Sink), EWriteError);
    }
    EXPECT_TRUE(Dir.Names().empty());
}

// ---- no sharing ----

// Holds a data file the way another user of it would, then lets go.
struct THolder {
    const char* Name;
    std::function<std::function<void()>(const std::string&)> Hold; // returns the release
};

class HeldFile : public testing::TestWithParam<THolder> {};

TEST_P(HeldFile, CanNeitherBeLoadedNorSaved) {
    TScratchDir Dir;
    const std::string Name = Dir / "youken.dat";
    const TByteString Old = ReadFileBytes(Fixture("example55.dat"));
    WriteFileBytes(Name, Old);
    auto Release = GetParam().Hold(Name);
    TOwningOutline Nodes;
    BuildExample(Nodes);
    EXPECT_THROW(WriteOutline(Nodes, Name), EFCreateError);
    EXPECT_EQ(ReadOutline(Nodes, Name), TReadResult::rrNotFound);
    EXPECT_EQ(Nodes.EntryCount(), 0);
    Release();
    EXPECT_EQ(ReadFileBytes(Name), Old);
    EXPECT_EQ(ReadOutline(Nodes, Name), TReadResult::rrRead);
    EXPECT_NO_THROW(WriteOutline(Nodes, Name));
}

std::function<void()> HoldByLoading(const std::string& Name) {
    auto Stream = std::make_shared<TFileReadStream>();
    EXPECT_TRUE(Stream->Open(Name));
    return [Stream]() mutable { Stream.reset(); };
}

std::function<void()> HoldBySaving(const std::string& Name) {
    auto Stream = std::make_shared<TReplacingFileStream>(Name);
    return [Stream]() mutable { Stream.reset(); };
}

// A child process opens the file for loading, says so through a pipe, and holds it
// until the other pipe closes.
std::function<void()> HoldFromAnotherProcess(const std::string& Name) {
    int Ready[2], Done[2];
    EXPECT_EQ(::pipe(Ready), 0);
    EXPECT_EQ(::pipe(Done), 0);
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(Done[1]); // so that the parent's close ends the wait below
        TFileReadStream Stream;
        char Byte = Stream.Open(Name) ? 'y' : 'n';
        if (::write(Ready[1], &Byte, 1) != 1 || ::read(Done[0], &Byte, 1) < 0)
            std::_Exit(1);
        std::_Exit(0);
    }
    char Byte = 0;
    EXPECT_EQ(::read(Ready[0], &Byte, 1), 1);
    EXPECT_EQ(Byte, 'y');
    ::close(Ready[0]);
    ::close(Ready[1]);
    ::close(Done[0]);
    return [Child, Write = Done[1]] {
        ::close(Write);
        int Status = 0;
        ::waitpid(Child, &Status, 0);
    };
}

INSTANTIATE_TEST_SUITE_P(Holders, HeldFile,
                         testing::Values(THolder{"Loading", HoldByLoading}, THolder{"Saving", HoldBySaving},
                                         THolder{"AnotherProcess", HoldFromAnotherProcess}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DataFile, LoadAfterReplacementReadsTheNewFile) {
    // A reader holding the old file does not hold the one renamed over it.
    TScratchDir Dir;
    WriteFileBytes(Dir / "d.dat", ReadFileBytes(Fixture("empty13.dat")));
    TFileReadStream Old;
    ASSERT_TRUE(Old.Open(Dir / "d.dat"));
    WriteFileBytes(Dir / "n.dat", ReadFileBytes(Fixture("example55.dat")));
    std::filesystem::rename(Dir.Path() / "n.dat", Dir.Path() / "d.dat");
    TOwningOutline Nodes;
    ASSERT_EQ(ReadOutline(Nodes, Dir / "d.dat"), TReadResult::rrRead);
    EXPECT_EQ(Shape(Nodes), "A(B)");
}

// ---- the outline's side ----

class TCountingObserver : public TOutlineObserver {
public:
    int Resets = 0, ResetsDone = 0, Other = 0;
    void EntryAboutToBeInserted(TTreeNode*, int) override { ++Other; }
    void EntryInserted(TTreeNode*) override { ++Other; }
    void EntryAboutToBeRemoved(TTreeNode*) override { ++Other; }
    void EntryRemoved(TTreeNode*, int) override { ++Other; }
    void EntryAboutToBeMoved(TTreeNode*, TTreeNode*, int) override { ++Other; }
    void EntryMoved(TTreeNode*) override { ++Other; }
    void OutlineAboutToBeReset() override { ++Resets; }
    void OutlineReset() override { ++ResetsDone; }
    void EntryChanged(TTreeNode*) override { ++Other; }
    void EntryExpandedChanged(TTreeNode*) override { ++Other; }
    void SelectionChanged(TTreeNode*) override {}
};

TEST(DataFile, ObserversSeeOneResetPerLoadAlsoWhenItFails) {
    for (const TByteString& Bytes : {Good, Cut(At3 + 5)}) {
        TScratchDir Dir;
        WriteFileBytes(Dir / "d.dat", Bytes);
        TOwningOutline Nodes;
        BuildExample(Nodes);
        TCountingObserver Observer;
        Nodes.AddObserver(&Observer);
        try {
            ReadOutline(Nodes, Dir / "d.dat");
        } catch (const EReadError&) {
        }
        EXPECT_EQ(Observer.Resets, 1);
        EXPECT_EQ(Observer.ResetsDone, 1);
        EXPECT_EQ(Observer.Other, 0);
        Nodes.RemoveObserver(&Observer);
    }
}

TEST(DataFile, MillionDeepChainSavesAndLoads) {
    TScratchDir Dir;
    constexpr int Depth = 1'000'000;
    {
        TOwningOutline Nodes;
        TTreeNode* Last = nullptr;
        for (int I = 0; I < Depth; ++I)
            Last = Nodes.AppendChild(Last, "e", nullptr);
        WriteOutline(Nodes, Dir / "chain.dat");
    }
    TOwningOutline Nodes;
    ASSERT_EQ(ReadOutline(Nodes, Dir / "chain.dat"), TReadResult::rrRead);
    ASSERT_EQ(Nodes.EntryCount(), Depth);
    EXPECT_EQ(TTreeNodes::EntryLevel(Nodes.EntryAtIndex(Depth - 1)), Depth - 1);
    WriteOutline(Nodes, Dir / "again.dat");
    EXPECT_EQ(ReadFileBytes(Dir / "again.dat"), ReadFileBytes(Dir / "chain.dat"));
}

// ---- single strings ----

struct TStrCase {
    const char* Name;
    TByteString Bytes;
    bool Fails;
    TByteString Text;
};

class ReadStrCases : public testing::TestWithParam<TStrCase> {};

TEST_P(ReadStrCases, ReadExactlyTheClaimedBytes) {
    TMemoryReadStream Stream(GetParam().Bytes);
    if (GetParam().Fails) {
        EXPECT_THROW(ReadStr(Stream), EReadError);
        return;
    }
    EXPECT_EQ(ReadStr(Stream), GetParam().Text);
    EXPECT_EQ(Stream.Remaining(), 1u); // the byte after the string is left alone
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadStrCases,
                         testing::Values(TStrCase{"Empty", "\0\0\0\0+"s, false, ""},
                                         TStrCase{"Plain", "\3\0\0\0abc+"s, false, "abc"},
                                         TStrCase{"ControlBytesKept", "\3\0\0\0\0\r\n+"s, false, "\0\r\n"s},
                                         TStrCase{"LengthCutShort", "\3\0"s, true, ""},
                                         TStrCase{"TextCutShort", "\4\0\0\0abc"s, true, ""},
                                         TStrCase{"Negative", "\xFF\xFF\xFF\xFF"s, true, ""},
                                         TStrCase{"Huge", "\xFF\xFF\xFF\x7F"s + std::string(100, 'x'), true, ""}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DataFile, WriteStrWritesLengthThenBytes) {
    TMemoryWriteStream Out;
    WriteStr(Out, "");
    WriteStr(Out, "ab\0"s);
    WriteStr(Out, std::string(300, 'z'));
    EXPECT_EQ(Out.Bytes(), "\0\0\0\0\3\0\0\0ab\0"s + "\x2C\x01\0\0"s + std::string(300, 'z'));
}

} // namespace
