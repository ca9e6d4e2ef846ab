// The index against a plain vector of the entries in pre-order: appends chosen at random and
// in the shapes that stress a tree of runs (everything at one place, at either end, deep
// chains, an outline that was already there), enough of them to split leaves and inner
// nodes over several levels. After every append the entry at the index just used, a few
// others and, now and then, every index must agree.
#include "PreorderIndex.h"

#include "StorageTestSupport.h"
#include "TreeNodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using TReference = StorageTest::TPlainPreorder<TTreeNode*>;

// Picks the parent index of the next append (-1: the top level) for an outline of Count
// entries, the last one added at Last.
using TPick = std::function<int(std::mt19937& Random, int Count, int Last)>;

int Uniform(std::mt19937& Random, int Low, int High) { // Low..High, both included
    return std::uniform_int_distribution<int>(Low, High)(Random);
}

struct TIndexCase {
    const char* Name;
    int Existing; // entries in the outline before the index is made, added at random
    int Appends;
    TPick Pick;
};

void PrintTo(const TIndexCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

class PreorderIndexTest : public testing::TestWithParam<TIndexCase> {};

void ExpectAllAgree(TPreorderIndex& Index, const TReference& Reference, const std::string& Where) {
    ASSERT_EQ(Index.Count(), static_cast<int>(Reference.Order.size())) << Where;
    for (int I = 0; I < Index.Count(); ++I)
        ASSERT_EQ(Index.At(I), Reference.Order[static_cast<std::size_t>(I)]) << Where << ", index " << I;
}

TEST_P(PreorderIndexTest, FindsEveryEntryAsThePlainPreOrderDoes) {
    const TIndexCase& Case = GetParam();
    std::mt19937 Random(20240611);
    TTreeNodes Nodes;
    TReference Reference;
    std::vector<int> Slots; // by the order the entries came, as the index numbers them
    // The outline already there: random appends, made without the index.
    for (int K = 0; K < Case.Existing; ++K) {
        const int Parent = Uniform(Random, -1, K - 1);
        TTreeNode* Entry = Nodes.AppendChild(Parent < 0 ? nullptr : Reference.Order[static_cast<std::size_t>(Parent)],
                                             "e" + std::to_string(K));
        Reference.Append(Parent, Entry);
    }
    TPreorderIndex Index(Nodes);
    ExpectAllAgree(Index, Reference, "made from the outline");
    // The slot of each entry so far: its position in pre-order (the index numbers them so).
    std::vector<int> SlotOfEntry; // by position
    for (int I = 0; I < Index.Count(); ++I) {
        ASSERT_EQ(Index.SlotAt(I), I);
        SlotOfEntry.push_back(I);
    }
    for (int K = 0; K < Case.Appends; ++K) {
        const int Count = Index.Count();
        const int Parent = Case.Pick(Random, Count, Reference.LastPosition);
        ASSERT_GE(Parent, -1);
        ASSERT_LT(Parent, Count);
        const std::string Where = "append " + std::to_string(K);
        int ParentSlot = -1;
        // Lookups as the reader makes them (started early, or not) and in between others
        // that must not disturb the append.
        const int Other = Count > 0 ? Uniform(Random, 0, Count - 1) : 0;
        if (Parent >= 0) {
            if (K % 4 == 1)
                Index.Seek(Parent);
            else if (K % 4 == 2)
                Index.Seek(Other);
            ParentSlot = Index.SlotAt(Parent);
            ASSERT_EQ(ParentSlot, SlotOfEntry[static_cast<std::size_t>(Parent)]) << Where;
            ASSERT_EQ(Index.EntryOf(ParentSlot), Reference.Order[static_cast<std::size_t>(Parent)]) << Where;
        }
        if (Count > 0 && K % 8 == 3) {
            Index.Seek(Other);
        } else if (Count > 0 && K % 8 == 7) {
            ASSERT_EQ(Index.SlotAt(Other), SlotOfEntry[static_cast<std::size_t>(Other)]) << Where;
        }
        TTreeNode* Entry = Nodes.AppendChild(Parent < 0 ? nullptr : Index.EntryOf(ParentSlot), "a" + std::to_string(K));
        Index.Reserve();
        // Every other entry is told later, as the reader does for records it holds back.
        const int Slot = Index.Append(ParentSlot, K % 2 == 0 ? Entry : nullptr);
        if (K % 2 != 0) {
            ASSERT_EQ(Index.EntryOf(Slot), nullptr) << Where;
            Index.SetEntry(Slot, Entry);
        }
        ASSERT_EQ(Slot, Count) << Where;
        const int Position = Reference.Append(Parent, Entry);
        SlotOfEntry.insert(SlotOfEntry.begin() + Position, Slot);
        ASSERT_EQ(Index.At(Position), Entry) << Where;
        for (int Probe = 0; Probe < 4; ++Probe) {
            const int I = Uniform(Random, 0, Index.Count() - 1);
            ASSERT_EQ(Index.At(I), Reference.Order[static_cast<std::size_t>(I)]) << Where << ", index " << I;
        }
        if ((K & 4095) == 4095)
            ExpectAllAgree(Index, Reference, Where);
    }
    ExpectAllAgree(Index, Reference, "at the end");
    // The outline itself, walked in pre-order, is what the index says.
    int I = 0;
    for (TTreeNode* N = Nodes.GetFirstNode(); N; N = N->GetNext(), ++I)
        ASSERT_EQ(Index.At(I), N) << "outline index " << I;
    EXPECT_EQ(I, Index.Count());
}

INSTANTIATE_TEST_SUITE_P(
    Appends, PreorderIndexTest,
    testing::Values(
        TIndexCase{"EmptyOutlineRandomParents", 0, 100000,
                   [](std::mt19937& R, int Count, int) { return Uniform(R, -1, Count - 1); }},
        TIndexCase{"ExistingOutlineRandomParents", 30000, 30000,
                   [](std::mt19937& R, int Count, int) { return Uniform(R, -1, Count - 1); }},
        TIndexCase{"EverythingAtTheTopLevel", 1, 150000, [](std::mt19937&, int, int) { return -1; }},
        TIndexCase{"EverythingUnderTheFirstEntry", 1, 8000, [](std::mt19937&, int, int) { return 0; }},
        TIndexCase{"ChainUnderTheNewestEntry", 0, 40000,
                   [](std::mt19937&, int Count, int Last) { return Count == 0 ? -1 : Last; }},
        TIndexCase{"ChainInTheMiddleOfAnOutline", 5000, 30000,
                   [](std::mt19937&, int Count, int Last) { return Last < 0 ? Count / 2 : Last; }},
        TIndexCase{"UnderTheLastEntryInPreOrder", 0, 40000, [](std::mt19937&, int Count, int) { return Count - 1; }},
        TIndexCase{"AlwaysTheMiddleEntry", 1, 12000, [](std::mt19937&, int Count, int) { return Count / 2; }},
        TIndexCase{"TopLevelAfterOneEntryOffOrder", 2000, 30000, [](std::mt19937&, int, int) { return -1; }},
        TIndexCase{"NearTheNewestEntry", 0, 40000,
                   [](std::mt19937& R, int Count, int Last) {
                       if (Count == 0)
                           return -1;
                       return std::clamp(Last + Uniform(R, -3, 1), -1, Count - 1);
                   }},
        TIndexCase{"FrontAndBackInTurn", 1, 12000,
                   [](std::mt19937&, int Count, int) { return Count % 2 == 0 ? 0 : Count - 1; }}),
    [](const testing::TestParamInfo<TIndexCase>& Info) { return std::string(Info.param.Name); });

} // namespace
