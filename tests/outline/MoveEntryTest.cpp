#include "Errors.h"
#include "FailingAllocator.h"
#include "OutlineRecorder.h"
#include "TreeNodes.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

const char* const Shape = "A(B(C D) E) F(G) H";

struct TMoveCase {
    const char* Name;
    const char* Initially; // expanded entries before the move
    const char* Selected;
    const char* Entry;
    const char* Destination;
    TEntryPlacement Placement;
    const char* ExpectedShape;
    const char* ExpectedExpanded;
    bool RowChanges; // whether observers hear of a move at all
};

class MoveTest : public TOutlineFixture, public ::testing::WithParamInterface<TMoveCase> {};

TEST_P(MoveTest, MovesSubtreeKeepingEntriesAndSelection) {
    const TMoveCase& Case = GetParam();
    TEntryMap Entries = Build(Shape);
    for (auto* Name : {"A", "B", "C", "D", "E", "F", "G", "H"}) {
        const std::string Initially = std::string(" ") + Case.Initially + " ";
        if (Initially.find(std::string(" ") + Name + " ") != std::string::npos)
            Nodes.ExpandEntry(Entries.at(Name), false);
    }
    if (*Case.Selected)
        Nodes.SelectEntry(Entries.at(Case.Selected));
    std::map<std::string, TStringList*> Bodies;
    for (auto& [Name, Entry] : Entries)
        Bodies[Name] = Entry->Data();
    TTreeNode* const Selection = Nodes.SelectedEntry();
    Rec.Clear();
    Mirror.Log.clear();

    Nodes.MoveEntry(Entries.at(Case.Entry), *Case.Destination ? Entries.at(Case.Destination) : nullptr, Case.Placement);

    EXPECT_EQ(ShapeOf(Nodes), Case.ExpectedShape);
    EXPECT_EQ(ExpandedOf(Nodes), Case.ExpectedExpanded);
    // Same entries, same bodies, nothing deleted, no handler reached.
    for (TTreeNode* N : PreOrder(Nodes)) {
        EXPECT_EQ(N, Entries.at(N->Text()));
        EXPECT_EQ(N->Data(), Bodies.at(N->Text()));
    }
    EXPECT_EQ(Nodes.EntryCount(), static_cast<int>(Entries.size()));
    EXPECT_EQ(Rec.Joined(), "");
    EXPECT_EQ(Nodes.SelectedEntry(), Selection);
    EXPECT_EQ(Mirror.CountOf("AboutToBeMoved"), Case.RowChanges ? 1 : 0);
    EXPECT_EQ(Mirror.CountOf("AboutToBeRemoved") + Mirror.CountOf("AboutToBeInserted") +
                  Mirror.CountOf("AboutToBeReset") + Mirror.CountOf("SelectionChanged"),
              0);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoveTest,
    ::testing::Values(
        TMoveCase{"LastWithoutDestinationEndsTopLevel", "A B F", "C", "A", "", epLast, "F(G) H A(B(C D) E)", "F", true},
        TMoveCase{"LastOntoItselfGoesToEnd", "A B F", "A", "A", "A", epLast, "F(G) H A(B(C D) E)", "F", true},
        TMoveCase{"LastWhenAlreadyLastStays", "A B F", "H", "H", "H", epLast, Shape, "A B F", false},
        TMoveCase{"LastWithinParent", "A B F", "", "C", "D", epLast, "A(B(D C) E) F(G) H", "A B F", true},
        TMoveCase{"LastOntoOwnDescendantChangesNothing", "A B F", "", "B", "C", epLast, Shape, "A B F", false},
        TMoveCase{"OnlyChildToTopLevelUnmarksParent", "A B F", "G", "G", "A", epLast, "A(B(C D) E) F H G", "A B", true},
        TMoveCase{"OnlyChildInPlaceExpandsParent", "", "", "G", "G", epLast, Shape, "F", false},
        TMoveCase{"FirstWithoutDestinationStartsTopLevel", "A B F", "", "H", "", epFirst, "H A(B(C D) E) F(G)", "A B F",
                  true},
        TMoveCase{"FirstWhenAlreadyFirstCollapsesInPlace", "A B F", "B", "A", "A", epFirst, Shape, "F", false},
        TMoveCase{"FirstAmongSiblingsOfDestination", "A B F", "", "D", "C", epFirst, "A(B(D C) E) F(G) H", "A B F",
                  true},
        TMoveCase{"FirstUnderParentOfDestination", "A B F", "H", "H", "B", epFirst, "A(H B(C D) E) F(G)", "A B F",
                  true},
        TMoveCase{"LastChildOfLeafExpandsIt", "A B F", "", "H", "G", epLastChild, "A(B(C D) E) F(G(H))", "A B F G",
                  true},
        TMoveCase{"LastChildOfCollapsedExpandsIt", "", "", "H", "F", epLastChild, "A(B(C D) E) F(G H)", "F", true},
        TMoveCase{"LastChildTakesOnlyChild", "A B F", "F", "G", "H", epLastChild, "A(B(C D) E) F H(G)", "A B H", true},
        TMoveCase{"LastChildOntoOwnDescendantChangesNothing", "A B F", "", "A", "C", epLastChild, Shape, "A B F",
                  false},
        TMoveCase{"LastChildOntoItselfChangesNothing", "A B F", "", "A", "A", epLastChild, Shape, "A B F", false},
        TMoveCase{"LastChildWithoutDestinationEndsTopLevel", "A B F", "C", "C", "", epLastChild, "A(B(D) E) F(G) H C",
                  "A B F", true},
        TMoveCase{"FirstChildOntoItselfChangesNothing", "A B F", "", "B", "B", epFirstChild, Shape, "A B F", false},
        TMoveCase{"FirstChildOfExpanded", "A B F", "", "H", "B", epFirstChild, "A(B(H C D) E) F(G)", "A B F", true},
        TMoveCase{"FirstChildWithoutDestinationStartsTopLevel", "A B F", "", "C", "", epFirstChild,
                  "C A(B(D) E) F(G) H", "A B F", true},
        TMoveCase{"BeforeFirstTopLevel", "A B F", "", "H", "A", epBefore, "H A(B(C D) E) F(G)", "A B F", true},
        TMoveCase{"BeforeItselfStaysCollapsed", "A B F", "C", "A", "A", epBefore, Shape, "F", false},
        TMoveCase{"BeforeNextSiblingStaysCollapsed", "A B F", "", "A", "F", epBefore, Shape, "F", false},
        TMoveCase{"BeforeLaterSibling", "A B F", "", "A", "H", epBefore, "F(G) A(B(C D) E) H", "F", true},
        TMoveCase{"BeforeEarlierSibling", "A B F", "E", "E", "B", epBefore, "A(E B(C D)) F(G) H", "A B F", true},
        TMoveCase{"BeforeEntryOfAnotherParent", "A B F", "", "C", "E", epBefore, "A(B(D) C E) F(G) H", "A B F", true},
        TMoveCase{"BeforeMovesSubtreeDownCollapsed", "A B F", "G", "F", "C", epBefore, "A(B(F(G) C D) E) H", "A B",
                  true},
        TMoveCase{"BeforeWithoutDestinationDoesNothing", "A B F", "", "A", "", epBefore, Shape, "A B F", false},
        TMoveCase{"HiddenExpandedEntriesCollapseToo", "B", "", "A", "", epLast, "F(G) H A(B(C D) E)", "", true}),
    [](const auto& Info) { return std::string(Info.param.Name); });

class MoveEntryTest : public TOutlineFixture {};

// Selecting inside a move would run the window's handlers on a half-moved outline.
TEST_F(MoveEntryTest, SelectionEventsStaySilentAndComeBackAfterwards) {
    TEntryMap Entries = Build(Shape);
    Nodes.SelectEntry(Entries["C"]);
    Rec.Clear();
    Nodes.MoveEntry(Entries["B"], Entries["H"], epLastChild);
    EXPECT_EQ(Rec.Joined(), "");
    EXPECT_TRUE(Entries["C"]->Selected());
    Nodes.SelectEntry(Entries["A"]);
    EXPECT_EQ(Rec.Joined(), "Changing(A from C) Change(A)");
    ExpectSound();
}

TEST_F(MoveEntryTest, FailedMoveLeavesEverythingInPlace) {
    TEntryMap Entries = Build(Shape);
    Nodes.ExpandAll();
    Mirror.Log.clear();
    // G has no children yet, so making room for H is the first allocation of the move.
    FailAllocationAfter(0);
    try {
        Nodes.MoveEntry(Entries["H"], Entries["G"], epLastChild);
        ADD_FAILURE() << "the move did not fail";
    } catch (const EOutOfResources& Error) {
        EXPECT_STREQ(Error.what(), "アイテムの挿入ができません");
    }
    FailAllocationAfter(-1);
    EXPECT_EQ(ShapeOf(Nodes), Shape);
    EXPECT_EQ(ExpandedOf(Nodes), "A B F");
    EXPECT_EQ(Mirror.Joined(), "");
    ExpectSound();

    Nodes.MoveEntry(Entries["H"], Entries["G"], epLastChild);
    EXPECT_EQ(ShapeOf(Nodes), "A(B(C D) E) F(G(H))");
    ExpectSound();
}

// Rows a model is told about must match the outline after any run of moves.
TEST_F(MoveEntryTest, LongRunOfMovesKeepsObserversInStep) {
    TEntryMap Entries = Build("A(B C(D E) F) G(H I) J");
    const std::vector<std::string> Names = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
    const TEntryPlacement Placements[] = {epLast, epFirst, epLastChild, epFirstChild, epBefore};
    unsigned Seed = 12345;
    auto Next = [&Seed](unsigned Bound) {
        Seed = Seed * 1103515245u + 12345u;
        return (Seed >> 16) % Bound;
    };
    for (int Step = 0; Step < 400; ++Step) {
        TTreeNode* E = Entries[Names[Next(10)]];
        const unsigned Pick = Next(11);
        TTreeNode* D = Pick == 10 ? nullptr : Entries[Names[Pick]];
        if (Next(3) == 0)
            Nodes.ExpandAll();
        Nodes.MoveEntry(E, D, Placements[Next(5)]);
        SCOPED_TRACE("step " + std::to_string(Step));
        ExpectSound();
        if (HasFailure())
            break;
    }
    EXPECT_EQ(Nodes.EntryCount(), 10);
    EXPECT_EQ(Rec.Joined().find("Deletion"), std::string::npos);
    EXPECT_GT(Mirror.CountOf("AboutToBeMoved"), 100);
}

} // namespace
