#include "OutlineHistory.h"

#include "OutlineRecorder.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

namespace {

constexpr std::size_t BodyBytes = 10;

class OutlineHistory : public TOutlineFixture {
protected:
    explicit OutlineHistory(THistoryLimits Limits = {})
        : History(Nodes,
                  TBodyTraits{[this](TStringList* Body) { ReleasedBodies.insert(Body); },
                              [](const TStringList* Body) { return Body ? BodyBytes : 0; }},
                  Limits) {}

    std::set<TStringList*> ReleasedBodies;
    TOutlineHistory History;
};

// One step of each kind: what it does, then undo, redo and undo again.
struct TStepCase {
    const char* Name;
    std::function<void(TTreeNodes&, TOutlineHistory&, TEntryMap&)> Do;
    const char* After;
};

class EveryStep : public OutlineHistory, public testing::WithParamInterface<TStepCase> {};

TEST_P(EveryStep, UndoRedoUndoGivesEachStateBack) {
    TEntryMap E = Build("A(B(B1 B2) C) D");
    const std::string Before = ShapeOf(Nodes);
    GetParam().Do(Nodes, History, E);
    const std::string After = ShapeOf(Nodes);
    ASSERT_EQ(After, GetParam().After);
    ASSERT_TRUE(History.CanUndo());
    History.Undo();
    EXPECT_EQ(ShapeOf(Nodes), Before);
    ExpectSound();
    EXPECT_FALSE(History.CanUndo());
    ASSERT_TRUE(History.CanRedo());
    History.Redo();
    EXPECT_EQ(ShapeOf(Nodes), After);
    ExpectSound();
    History.Undo();
    EXPECT_EQ(ShapeOf(Nodes), Before);
    ExpectSound();
    // The very entries come back, with their bodies: nothing was copied or released.
    for (const auto& [Name, Entry] : E) {
        if (Name != "N") {
            EXPECT_EQ(Entry->Text(), Name);
            EXPECT_EQ(Entry->Owner(), &Nodes);
        }
    }
    EXPECT_EQ(E["B"]->Data(), FakeBody(2));
    EXPECT_TRUE(Rec.DeletedTitles.empty());
    EXPECT_TRUE(ReleasedBodies.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EveryStep,
    testing::Values(TStepCase{"AddSibling",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  E["N"] = N.AppendSibling(E["B1"], "N");
                                  H.RecordAdd(E["N"]);
                              },
                              "A(B(B1 B2 N) C) D"},
                    TStepCase{"AddChild",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  E["N"] = N.AppendChild(E["C"], "N");
                                  H.RecordAdd(E["N"]);
                              },
                              "A(B(B1 B2) C(N)) D"},
                    TStepCase{"DeleteSubtree",
                              [](TTreeNodes&, TOutlineHistory& H, TEntryMap& E) { H.DeleteEntry(E["B"]); }, "A(C) D"},
                    TStepCase{"DeleteOnlyChild",
                              [](TTreeNodes&, TOutlineHistory& H, TEntryMap& E) { H.DeleteEntry(E["A"]); }, "D"},
                    TStepCase{"Commit",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  N.SetEntryTitle(E["B"], "Bee");
                                  TTreeNodes::SetEntryBody(E["B"], FakeBody(99));
                                  H.RecordCommit(E["B"], "B", FakeBody(2));
                              },
                              "A(Bee(B1 B2) C) D"},
                    TStepCase{"CommitTitleOnly",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  N.SetEntryTitle(E["B"], "Bee");
                                  H.RecordCommit(E["B"], "B", E["B"]->Data());
                              },
                              "A(Bee(B1 B2) C) D"},
                    TStepCase{"MoveUp",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  N.MoveEntry(E["C"], E["B"], epBefore);
                                  H.RecordMove(E["C"], E["A"], 1);
                              },
                              "A(C B(B1 B2)) D"},
                    TStepCase{"MoveDownIntoAnotherParent",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  N.MoveEntry(E["B1"], E["D"], epLastChild);
                                  H.RecordMove(E["B1"], E["B"], 0);
                              },
                              "A(B(B2) C) D(B1)"},
                    TStepCase{"MoveToTheEndOfItsList",
                              [](TTreeNodes& N, TOutlineHistory& H, TEntryMap& E) {
                                  N.MoveEntry(E["A"], nullptr, epLast);
                                  H.RecordMove(E["A"], nullptr, 0);
                              },
                              "D A(B(B1 B2) C)"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(OutlineHistory, UndoingTheSelectedEntryPassesTheSelectionThroughTheHandlers) {
    TEntryMap E = Build("A B");
    TTreeNode* New = Nodes.AppendSibling(E["B"], "N");
    History.RecordAdd(New);
    Nodes.SelectEntry(New);
    Rec.Log.clear();
    History.Undo();
    EXPECT_EQ(Rec.Joined(), "Changing(B from N) Change(B)");
    EXPECT_EQ(Nodes.SelectedEntry(), E["B"]);
    EXPECT_EQ(History.Redo(), New);
    EXPECT_EQ(ShapeOf(Nodes), "A B N");
}

// A step can only be redone until something new is recorded; what it held goes then.
TEST_F(OutlineHistory, NewStepReleasesWhatTheUndoneStepsHeld) {
    TEntryMap E = Build("A(B) C");
    TTreeNode* New = Nodes.AppendChild(E["C"], "N", FakeBody(50));
    History.RecordAdd(New);
    History.Undo();
    Nodes.SetEntryTitle(E["A"], "A2");
    TTreeNodes::SetEntryBody(E["A"], FakeBody(60));
    History.RecordCommit(E["A"], "A", FakeBody(1));
    History.Undo(); // the old title and body are back; the new ones wait for redo
    EXPECT_EQ(E["A"]->Data(), FakeBody(1));
    History.DeleteEntry(E["C"]);
    EXPECT_FALSE(History.CanRedo());
    EXPECT_EQ(Rec.DeletedTitles, std::vector<std::string>{"N"});
    EXPECT_EQ(ReleasedBodies, std::set<TStringList*>{FakeBody(60)});
    ExpectSound();
    // Clearing releases the deleted subtree through OnDeletion.
    History.Clear();
    EXPECT_EQ(Rec.DeletedTitles, (std::vector<std::string>{"N", "C"}));
    EXPECT_FALSE(History.CanUndo());
    EXPECT_EQ(History.HeldBytes(), 0u);
}

class BoundedHistory : public OutlineHistory {
protected:
    BoundedHistory() : OutlineHistory(THistoryLimits{5, 2, 400}) {}
};

TEST_F(BoundedHistory, KeepsAtMostMaxStepsAndDropsTheOldestFirst) {
    TEntryMap E = Build("A");
    for (std::size_t I = 0; I < 8; ++I) {
        TStringList* Old = E["A"]->Data();
        TTreeNodes::SetEntryBody(E["A"], FakeBody(100 + I));
        History.RecordCommit(E["A"], "A", Old);
    }
    EXPECT_EQ(History.UndoCount(), 5u);
    // The three oldest steps held the three oldest bodies.
    EXPECT_EQ(ReleasedBodies, (std::set<TStringList*>{FakeBody(1), FakeBody(100), FakeBody(101)}));
    while (History.CanUndo())
        History.Undo();
    EXPECT_EQ(E["A"]->Data(), FakeBody(102));
}

TEST_F(BoundedHistory, BeyondMinStepsHeldBytesAreBounded) {
    // Each deleted subtree holds more than 400 bytes: only MinSteps of them stay.
    Build("A(A1 A2 A3 A4 A5) B(B1 B2 B3 B4 B5) C(C1 C2 C3 C4 C5) D");
    for (int Step = 0; Step < 3; ++Step)
        History.DeleteEntry(Nodes.TopItem(0));
    EXPECT_EQ(History.UndoCount(), 2u);
    EXPECT_EQ(Rec.DeletedTitles.size(), 6u); // the oldest subtree went, through OnDeletion
    EXPECT_EQ(ShapeOf(Nodes), "D");
    History.Undo();
    History.Undo();
    EXPECT_EQ(ShapeOf(Nodes), "B(B1 B2 B3 B4 B5) C(C1 C2 C3 C4 C5) D");
    ExpectSound();
}

} // namespace
