// A count field that claims far more records than the file holds must not make the load
// take more memory than the records it does hold: a damaged count otherwise turns a file
// that loads into one that runs out of memory part way, and loses its later records.
#include "DataFile.h"

#include "Errors.h"
#include "FileStream.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace StorageTest;

namespace {

#if defined(__GLIBC__)

std::size_t HeapInUse() {
    const struct mallinfo2 Info = mallinfo2();
    return Info.uordblks + Info.hblkhd;
}

// Serves the bytes through ReadSlow only, noting the most heap in use at any read.
class TWatchingReadStream final : public TReadStream {
public:
    explicit TWatchingReadStream(const TByteString& Bytes) : FBytes(Bytes) {}
    std::uint64_t Remaining() const noexcept override { return FBytes.size() - FAt; }
    std::size_t Peak() const noexcept { return FPeak; }

private:
    void ReadSlow(char* Buffer, std::size_t Count) override {
        FPeak = std::max(FPeak, HeapInUse());
        if (Count > FBytes.size() - FAt) {
            FAt = FBytes.size();
            throw EReadError();
        }
        std::memcpy(Buffer, FBytes.data() + FAt, Count);
        FAt += Count;
    }
    const TByteString& FBytes;
    std::size_t FAt = 0;
    std::size_t FPeak = 0;
};

struct TClaimCase {
    const char* Name;
    int Small;             // small records before the large one, the last few off the path
    std::size_t BodyBytes; // of the large record
};

void PrintTo(const TClaimCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

TByteString ClaimFile(const TClaimCase& Case, std::int32_t Claimed) {
    TByteString Bytes = StrBytes("Dummy") + Int32Bytes(Claimed);
    for (int K = 0; K < Case.Small; ++K)
        Bytes += RecordBytes(K % 2 == 0 ? -1 : 0, K, "s" + std::to_string(K), "x"); // parent 0: off the path
    Bytes += RecordBytes(-1, Case.Small, "large", std::string(Case.BodyBytes, 'w'));
    Bytes += RecordBytes(-1, Case.Small + 1, "after", "last");
    return Bytes;
}

std::size_t PeakOfLoad(const TByteString& Bytes, int ExpectedEntries) {
    TOwningOutline Nodes;
    const std::size_t Before = HeapInUse();
    TWatchingReadStream Stream(Bytes);
    try {
        ReadOutline(Nodes, Stream);
    } catch (const EReadError&) {
        // the claimed count runs past the end
    }
    EXPECT_EQ(Nodes.EntryCount(), ExpectedEntries);
    return Stream.Peak() > Before ? Stream.Peak() - Before : 0;
}

class ReaderClaimedCountMemoryTest : public testing::TestWithParam<TClaimCase> {};

TEST_P(ReaderClaimedCountMemoryTest, TakesNoMoreMemoryThanWithTheTrueCount) {
    const TClaimCase& Case = GetParam();
    const int Records = Case.Small + 2;
    const std::size_t True = PeakOfLoad(ClaimFile(Case, Records), Records);
    const std::size_t Claimed = PeakOfLoad(ClaimFile(Case, 0x7FFFFFFF), Records);
    // A little slack for the allocator; the body itself is several times larger.
    EXPECT_LE(Claimed, True + Case.BodyBytes / 8)
        << "true count: " << True << " bytes at most, claimed count: " << Claimed << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderClaimedCountMemoryTest,
                         testing::Values(TClaimCase{"FewRecordsThenALargeBody", 4, 8u << 20},
                                         TClaimCase{"SomeRecordsThenALargeBody", 300, 4u << 20}),
                         [](const testing::TestParamInfo<TClaimCase>& Info) { return std::string(Info.param.Name); });

#endif

} // namespace
