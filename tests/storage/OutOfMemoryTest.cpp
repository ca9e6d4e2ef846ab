// Running out of memory at any allocation of the writer, the text form and the body text
// reaches the caller as EOutOfMemory (or, for an entry that cannot be inserted, as
// EOutOfResources), never as the standard library's std::bad_alloc.
#include "DataFile.h"
#include "Errors.h"
#include "FailingAllocator.h"
#include "OutlineText.h"
#include "StorageTestSupport.h"
#include "StringList.h"

#include <gtest/gtest.h>

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

} // namespace
