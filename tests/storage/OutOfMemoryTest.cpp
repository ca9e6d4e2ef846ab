// Running out of memory at any allocation of the reader, the writer, the text form and the
// body text
// reaches the caller as EOutOfMemory (or, for an entry that cannot be inserted, as
// EOutOfResources), never as the standard library's std::bad_alloc.
#include "DataFile.h"
#include "Errors.h"
#include "FailingAllocator.h"
#include "OutlineText.h"
#include "StorageTestSupport.h"
#include "StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <new>
#include <string>
#include <string_view>

namespace {

using namespace StorageTest;

// Runs Work with the N-th allocation failing, for N = 0, 1, ... until it gets through.
// Returns the first N whose failure came out as something else than EOutOfMemory, or -1.
int FirstUntranslatedFailure(const std::function<void()>& Work, std::string& What) {
    for (int N = 0; N < 100000; ++N) {
        std::exception_ptr Error;
        FailAllocationAfter(N);
        try {
            Work();
        } catch (...) {
            Error = std::current_exception();
        }
        // Disarmed before anything else allocates.
        const bool Armed = AllocationFailureArmed();
        FailAllocationAfter(-1);
        if (!Error) {
            if (Armed)
                return -1; // it needed fewer than N allocations: every one was tried
            continue;      // the failure was handled inside
        }
        try {
            std::rethrow_exception(Error);
        } catch (const EOutOfMemory&) {
            continue;
        } catch (const EOutOfResources&) {
            continue; // an entry the outline could not insert
        } catch (const std::exception& Other) {
            What = Other.what();
            return N;
        }
    }
    What = "never got through";
    return 0;
}

constexpr std::string_view SampleText = "* a\n  | body\n  * b\n* c\n";
// A NUL early in a long text: the lines are shrunk to fit after the split.
constexpr char BodyData[] =
    "one\r\ntwo\0zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz";
constexpr std::string_view BodyText(BodyData, sizeof BodyData - 1);

struct TOutOfMemoryCase {
    const char* Name;
    // Path names a file in a scratch folder; everything the work needs is made before.
    std::function<void(const std::string& Path, TTreeNodes&)> Work;
};

class OutOfMemoryTest : public testing::TestWithParam<TOutOfMemoryCase> {};

TEST_P(OutOfMemoryTest, EveryFailedAllocationIsReportedAsOutOfMemory) {
    TScratchDir Dir;
    TOwningOutline Nodes;
    TTreeNode* A = Nodes.AppendChild(nullptr, "\x8c\xb4\x8d\x90", NewBody({"first line", "second"}));
    Nodes.AppendChild(A, "child", NewBody({std::string(300, 'x')}));
    Nodes.AppendChild(nullptr, "B", NewBody({}));
    std::string What;
    const std::string Path = Dir / "out.dat";
    const int N = FirstUntranslatedFailure([&] { GetParam().Work(Path, Nodes); }, What);
    EXPECT_EQ(N, -1) << "allocation " << N << " failed as " << What;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutOfMemoryTest,
    testing::Values(
        TOutOfMemoryCase{"WriteDataFile",
                         [](const std::string& Path, TTreeNodes& Nodes) { WriteOutline(Nodes, Path); }},
        TOutOfMemoryCase{"FormatText", [](const std::string&, TTreeNodes& Nodes) { FormatOutlineText(Nodes); }},
        TOutOfMemoryCase{"ImportText",
                         [](const std::string& Path, TTreeNodes&) { ImportOutlineText(SampleText, "in.txt", Path); }},
        TOutOfMemoryCase{"ParseText",
                         [](const std::string&, TTreeNodes& Nodes) { ParseOutlineText(Nodes, SampleText, "in.txt"); }},
        TOutOfMemoryCase{"BodyTextBothWays",
                         [](const std::string&, TTreeNodes&) {
                             TStringList Lines;
                             TextToLines(Lines, BodyText);
                             Lines.ShrinkToFit();
                             LinesToText(Lines);
                         }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The bytes of a data file of the first Records of a fixed run of records: a parent that
// is the entry just before or the top level (pre-order), or any entry read before.
TByteString RecordsFile(bool PreOrder, int Records) {
    TByteString Bytes = StrBytes("Dummy") + Int32Bytes(Records);
    for (int K = 0; K < Records; ++K) {
        int Parent = -1;
        if (K > 0)
            Parent = PreOrder ? (K % 3 == 0 ? -1 : K - 1) : (K * 7919) % (K + 1) - 1;
        Bytes += RecordBytes(Parent, K, "r" + std::to_string(K), "line\r\n" + std::to_string(K));
    }
    return Bytes;
}

struct TReadCase {
    const char* Name;
    bool PreOrder;
};

class ReadOutOfMemoryTest : public testing::TestWithParam<TReadCase> {};

// Whichever allocation of a load fails, the error is EOutOfMemory (or EOutOfResources for
// an entry the outline could not take) and the outline holds the records before some
// record, whole and in order: what a file of just those records loads to.
TEST_P(ReadOutOfMemoryTest, EveryFailedAllocationLeavesTheRecordsBeforeIt) {
    constexpr int Records = 60;
    const TByteString Bytes = RecordsFile(GetParam().PreOrder, Records);
    int Failures = 0;
    int MostKept = -1;
    for (int N = 0;; ++N) {
        TOwningOutline Nodes;
        std::exception_ptr Error;
        FailAllocationAfter(N);
        try {
            TMemoryReadStream Stream(Bytes);
            ReadOutline(Nodes, Stream);
        } catch (...) {
            Error = std::current_exception();
        }
        const bool Armed = AllocationFailureArmed();
        FailAllocationAfter(-1);
        if (!Error) {
            ASSERT_EQ(Nodes.EntryCount(), Records);
            if (Armed)
                break; // every allocation of the load has failed once
            continue;
        }
        ++Failures;
        bool OutOfMemory = false;
        try {
            std::rethrow_exception(Error);
        } catch (const EOutOfMemory&) {
            OutOfMemory = true;
        } catch (const EOutOfResources&) {
            OutOfMemory = true;
        } catch (...) {
        }
        ASSERT_TRUE(OutOfMemory) << "allocation " << N;
        const int Kept = Nodes.EntryCount();
        ASSERT_LT(Kept, Records) << "allocation " << N;
        MostKept = std::max(MostKept, Kept);
        const TByteString PrefixBytes = RecordsFile(GetParam().PreOrder, Kept);
        TMemoryReadStream Prefix(PrefixBytes);
        TOwningOutline Expected;
        ReadOutline(Expected, Prefix);
        ASSERT_EQ(Shape(Nodes), Shape(Expected)) << "allocation " << N;
        for (TTreeNode *A = Nodes.GetFirstNode(), *B = Expected.GetFirstNode(); A && B;
             A = A->GetNext(), B = B->GetNext())
            ASSERT_EQ(LinesOf(TTreeNodes::EntryBody(A)), LinesOf(TTreeNodes::EntryBody(B))) << "allocation " << N;
    }
    // Failures met the load at its start and late in it too.
    EXPECT_GT(Failures, 1);
    EXPECT_GT(MostKept, Records / 2);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadOutOfMemoryTest,
                         testing::Values(TReadCase{"PreOrder", true}, TReadCase{"ParentsOutOfPreOrder", false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
