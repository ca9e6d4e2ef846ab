#include "TreeNodes.h"

#include "Errors.h"
#include "FailingAllocator.h"
#include "OutlineRecorder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <pthread.h>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

class TreeNodesTest : public TOutlineFixture {};

std::vector<std::string> Split(const std::string& Text) {
    std::vector<std::string> Words;
    std::string Word;
    for (char C : Text) {
        if (C == ' ') {
            if (!Word.empty())
                Words.push_back(Word);
            Word.clear();
        } else {
            Word += C;
        }
    }
    if (!Word.empty())
        Words.push_back(Word);
    return Words;
}

TTreeNode* Named(TEntryMap& Entries, const std::string& Name) {
    return Name.empty() ? nullptr : Entries.at(Name);
}

// ---------------------------------------------------------------- empty outline

TEST_F(TreeNodesTest, EmptyOutlineHasNothingAndFiresNothing) {
    EXPECT_EQ(Nodes.EntryCount(), 0);
    EXPECT_EQ(Nodes.SelectedEntry(), nullptr);
    EXPECT_EQ(Nodes.GetFirstNode(), nullptr);
    try {
        Nodes.EntryAtIndex(0);
        ADD_FAILURE() << "index 0 of an empty outline was found";
    } catch (const ETreeViewError& Error) {
        EXPECT_STREQ(Error.what(), "不正なインデックス");
    }
    Nodes.ExpandAll();
    Nodes.CollapseAll();
    Nodes.ClearOutline();
    EXPECT_EQ(Rec.Joined(), "");
    EXPECT_EQ(Mirror.Joined(), "");
    ExpectSound();
}

// ---------------------------------------------------------------- adding

struct TAppendCase {
    const char* Name;
    const char* Shape;
    bool Child;
    const char* Anchor;
    bool ExpandFirst;
    const char* Expected;
};

class AppendTest : public TOutlineFixture, public ::testing::WithParamInterface<TAppendCase> {};

TEST_P(AppendTest, NewEntryGoesLastAndExpandsAndSelectsNothing) {
    const TAppendCase& Case = GetParam();
    TEntryMap Entries = Build(Case.Shape);
    if (Case.ExpandFirst)
        Nodes.ExpandAll();
    const std::string ExpandedBefore = ExpandedOf(Nodes);
    const int CountBefore = Nodes.EntryCount();
    Rec.Clear();
    Mirror.Log.clear();

    TTreeNode* Anchor = Named(Entries, Case.Anchor);
    TTreeNode* Added =
        Case.Child ? Nodes.AppendChild(Anchor, "N", FakeBody(999)) : Nodes.AppendSibling(Anchor, "N", FakeBody(999));

    EXPECT_EQ(ShapeOf(Nodes), Case.Expected);
    EXPECT_EQ(Nodes.EntryCount(), CountBefore + 1);
    EXPECT_EQ(Added->Text(), "N");
    EXPECT_EQ(Added->Data(), FakeBody(999));
    EXPECT_FALSE(Added->Expanded());
    EXPECT_EQ(ExpandedOf(Nodes), ExpandedBefore);
    EXPECT_EQ(Nodes.SelectedEntry(), nullptr);
    EXPECT_EQ(Rec.Joined(), "");
    std::string Expected = "AboutToBeInserted Inserted(N)";
    if (Added->Parent()) {
        EXPECT_TRUE(Added->Parent()->HasChildren());
        Expected += " Changed(" + Added->Parent()->Text() + ")";
    }
    EXPECT_EQ(Mirror.Joined(), Expected);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppendTest,
    ::testing::Values(TAppendCase{"SiblingOfNoneIntoEmpty", "", false, "", false, "N"},
                      TAppendCase{"SiblingOfNoneGoesLastAtTop", "A(B) C", false, "", false, "A(B) C N"},
                      TAppendCase{"SiblingOfTopLevelGoesLastAtTop", "A B", false, "A", false, "A B N"},
                      TAppendCase{"SiblingOfMiddleBecomesFourth", "A(B C D)", false, "C", false, "A(B C D N)"},
                      TAppendCase{"ChildOfNoneGoesLastAtTop", "A B", true, "", false, "A B N"},
                      TAppendCase{"ChildOfFirstComesBeforeSecond", "A B", true, "A", false, "A(N) B"},
                      TAppendCase{"ChildOfCollapsedStaysHidden", "A(B) C", true, "A", false, "A(B N) C"},
                      TAppendCase{"ChildOfExpandedLeavesFlags", "A(B) C", true, "A", true, "A(B N) C"},
                      TAppendCase{"ChildOfLeafMarksIt", "A(B(C))", true, "C", true, "A(B(C(N)))"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

class TCallCounter : public TOutlineObserver {
public:
    int Calls = 0;
    void EntryAboutToBeInserted(TTreeNode*, int) override { ++Calls; }
    void EntryInserted(TTreeNode*) override { ++Calls; }
    void EntryAboutToBeRemoved(TTreeNode*) override { ++Calls; }
    void EntryRemoved(TTreeNode*, int) override { ++Calls; }
    void EntryAboutToBeMoved(TTreeNode*, TTreeNode*, int) override { ++Calls; }
    void EntryMoved(TTreeNode*) override { ++Calls; }
    void OutlineAboutToBeReset() override { ++Calls; }
    void OutlineReset() override { ++Calls; }
    void EntryChanged(TTreeNode*) override { ++Calls; }
    void EntryExpandedChanged(TTreeNode*) override { ++Calls; }
    void SelectionChanged(TTreeNode*) override { ++Calls; }
};

// Whatever allocation inside an add fails, the outline stays as it was and the body
// passed in is neither kept nor reported as deleted.
struct TFailingAppendCase {
    const char* Name;
    bool Child;
    const char* Anchor;
    const char* Title;
};

class FailingAppendTest : public TOutlineFixture, public ::testing::WithParamInterface<TFailingAppendCase> {};

TEST_P(FailingAppendTest, FailedAddLeavesOutlineAndBodyAlone) {
    const TFailingAppendCase& Case = GetParam();
    TEntryMap Entries = Build("A(B) C");
    Nodes.SelectEntry(Entries["C"]);
    Rec.Clear();
    Mirror.Log.clear();
    // Observers that allocate would fail themselves; this one only counts.
    Nodes.RemoveObserver(&Mirror);
    TCallCounter Counter;
    Nodes.AddObserver(&Counter);
    TTreeNode* Anchor = Named(Entries, Case.Anchor);
    const TByteString Title = Case.Title;
    int Failures = 0;
    for (int Allocation = 0;; ++Allocation) {
        SCOPED_TRACE("failing allocation " + std::to_string(Allocation));
        TTreeNode* Added = nullptr;
        FailAllocationAfter(Allocation);
        try {
            Added = Case.Child ? Nodes.AppendChild(Anchor, Title, FakeBody(77))
                               : Nodes.AppendSibling(Anchor, Title, FakeBody(77));
        } catch (const EOutOfResources& Error) {
            FailAllocationAfter(-1);
            ++Failures;
            EXPECT_STREQ(Error.what(), "アイテムの挿入ができません");
            EXPECT_EQ(ShapeOf(Nodes), "A(B) C");
            EXPECT_EQ(Rec.Joined(), "");
            EXPECT_EQ(Counter.Calls, 0);
            for (TTreeNode* N : PreOrder(Nodes))
                EXPECT_NE(N->Data(), FakeBody(77));
            ExpectConsistent(Nodes);
            continue;
        }
        FailAllocationAfter(-1);
        ASSERT_NE(Added, nullptr);
        EXPECT_EQ(Added->Data(), FakeBody(77));
        break;
    }
    EXPECT_GE(Failures, 1);
    EXPECT_EQ(Nodes.SelectedEntry(), Entries["C"]);
    EXPECT_GT(Counter.Calls, 0);
    ExpectConsistent(Nodes);
    Nodes.RemoveObserver(&Counter);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailingAppendTest,
                         ::testing::Values(TFailingAppendCase{"ChildOfLeaf", true, "B", "N"},
                                           TFailingAppendCase{"ChildWithLongTitle", true, "A",
                                                              "a title well beyond the short string buffer"},
                                           TFailingAppendCase{"TopLevelSibling", false, "C",
                                                              "another title longer than sixteen bytes"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------- indices

const char* const IndexShape = "A(B(C D) E(F)) G(H(I(J))) K";
const std::vector<std::string> IndexOrder = Split("A B C D E F G H I J K");

struct TLookupCase {
    const char* Name;
    std::vector<int> Indices;
};

class LookupTest : public TOutlineFixture, public ::testing::WithParamInterface<TLookupCase> {};

TEST_P(LookupTest, EveryIndexNamesItsPreOrderEntry) {
    Build(IndexShape);
    for (int Index : GetParam().Indices) {
        SCOPED_TRACE("index " + std::to_string(Index));
        TTreeNode* Found = Nodes.EntryAtIndex(Index);
        EXPECT_EQ(Found->Text(), IndexOrder.at(static_cast<std::size_t>(Index)));
        EXPECT_EQ(Nodes.IndexOfEntry(Found), Index);
        ExpectSound();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LookupTest,
                         ::testing::Values(TLookupCase{"Ascending", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                                           TLookupCase{"Descending", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
                                           TLookupCase{"Jumps", {5, 4, 5, 6, 0, 10, 9, 3, 3, 7, 2}},
                                           TLookupCase{"StepsAcrossDeepEnds", {9, 10, 9, 8, 6, 5, 4, 1}},
                                           TLookupCase{"LastIsDeepestLastDescendant", {10, 2, 10}}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct TBadIndexCase {
    const char* Name;
    int CachedFirst; // -1: nothing looked up before
    int Index;
};

class BadIndexTest : public TOutlineFixture, public ::testing::WithParamInterface<TBadIndexCase> {};

TEST_P(BadIndexTest, OutOfRangeIndexFailsAndChangesNothing) {
    const TBadIndexCase& Case = GetParam();
    Build(IndexShape);
    if (Case.CachedFirst >= 0)
        Nodes.EntryAtIndex(Case.CachedFirst);
    try {
        Nodes.EntryAtIndex(Case.Index);
        ADD_FAILURE() << "index " << Case.Index << " was found";
    } catch (const ETreeViewError& Error) {
        EXPECT_STREQ(Error.what(), "不正なインデックス");
    }
    EXPECT_EQ(ShapeOf(Nodes), IndexShape);
    ExpectSound();
    EXPECT_EQ(Nodes.EntryAtIndex(10)->Text(), "K");
    EXPECT_EQ(Nodes.EntryAtIndex(0)->Text(), "A");
}

INSTANTIATE_TEST_SUITE_P(Cases, BadIndexTest,
                         ::testing::Values(TBadIndexCase{"MinusOne", -1, -1}, TBadIndexCase{"Count", -1, 11},
                                           TBadIndexCase{"CountAfterLast", 10, 11},
                                           TBadIndexCase{"MinusOneAfterFirst", 0, -1},
                                           TBadIndexCase{"FarBeyond", 5, INT_MAX},
                                           TBadIndexCase{"FarBelow", 5, INT_MIN}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A remembered lookup must not outlive a change of the outline.
struct TStaleLookupCase {
    const char* Name;
    const char* Shape;
    int Before;
    std::function<void(TTreeNodes&, TEntryMap&)> Change;
    int After;
    const char* Expected; // nullptr: the index no longer exists
};

class StaleLookupTest : public TOutlineFixture, public ::testing::WithParamInterface<TStaleLookupCase> {};

TEST_P(StaleLookupTest, LookupAfterChangeSeesTheNewOrder) {
    const TStaleLookupCase& Case = GetParam();
    TEntryMap Entries = Build(Case.Shape);
    Nodes.EntryAtIndex(Case.Before);
    Case.Change(Nodes, Entries);
    if (Case.Expected) {
        EXPECT_EQ(Nodes.EntryAtIndex(Case.After)->Text(), Case.Expected);
    } else {
        EXPECT_THROW(Nodes.EntryAtIndex(Case.After), ETreeViewError);
    }
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StaleLookupTest,
    ::testing::Values(TStaleLookupCase{"ChildOfFirstTopLevelTakesIndexOne", "A B", 1,
                                       [](TTreeNodes& N, TEntryMap& E) { N.AppendChild(E["A"], "N"); }, 1, "N"},
                      TStaleLookupCase{"SecondTopLevelMovesToIndexTwo", "A B", 1,
                                       [](TTreeNodes& N, TEntryMap& E) { N.AppendChild(E["A"], "N"); }, 2, "B"},
                      TStaleLookupCase{"AddBeforeRememberedEntry", "A(B) C", 2,
                                       [](TTreeNodes& N, TEntryMap& E) { N.AppendSibling(E["B"], "N"); }, 2, "N"},
                      TStaleLookupCase{"DeleteBeforeRememberedEntry", "A B C D", 3,
                                       [](TTreeNodes& N, TEntryMap& E) { N.DeleteEntry(E["B"]); }, 3, nullptr},
                      TStaleLookupCase{"DeleteRememberedEntry", "A B C", 1,
                                       [](TTreeNodes& N, TEntryMap& E) { N.DeleteEntry(E["B"]); }, 1, "C"},
                      TStaleLookupCase{"MoveToFront", "A B C", 0,
                                       [](TTreeNodes& N, TEntryMap& E) { N.MoveEntry(E["C"], nullptr, epFirst); }, 0,
                                       "C"},
                      TStaleLookupCase{"MoveUnderRememberedEntry", "A B C", 1,
                                       [](TTreeNodes& N, TEntryMap& E) { N.MoveEntry(E["C"], E["A"], epLastChild); }, 2,
                                       "B"},
                      TStaleLookupCase{"ClearAndRefill", "A B", 1,
                                       [](TTreeNodes& N, TEntryMap&) {
                                           N.ClearOutline();
                                           N.AppendChild(nullptr, "X");
                                       },
                                       1, nullptr}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------- deleting

struct TDeleteCase {
    const char* Name;
    const char* Shape;
    const char* Target;
    const char* Selected;
    bool Refuse;
    const char* ExpectedShape;
    const char* ExpectedPassage; // every event but the deletions, in order
    const char* ExpectedDeleted; // sorted
    const char* ExpectedSelection;
};

class DeleteTest : public TOutlineFixture, public ::testing::WithParamInterface<TDeleteCase> {};

TEST_P(DeleteTest, RemovesSubtreeAndPassesSelectionFirst) {
    const TDeleteCase& Case = GetParam();
    TEntryMap Entries = Build(Case.Shape);
    if (*Case.Selected)
        Nodes.SelectEntry(Entries.at(Case.Selected));
    std::map<std::string, TStringList*> Bodies;
    for (auto& [Name, Entry] : Entries)
        Bodies[Name] = Entry->Data();
    Rec.Clear();
    Mirror.Log.clear();
    Rec.RefuseChange = Case.Refuse;

    Nodes.DeleteEntry(Entries.at(Case.Target));

    EXPECT_EQ(ShapeOf(Nodes), Case.ExpectedShape);
    EXPECT_EQ(Rec.JoinedWithoutDeletions(), Case.ExpectedPassage);
    EXPECT_EQ(Rec.SortedDeletions(), Case.ExpectedDeleted);
    for (const std::string& Name : Rec.DeletedTitles)
        EXPECT_EQ(Rec.DeletedBodies[Name], Bodies[Name]) << Name;
    // The passage is over before the first entry goes.
    const auto FirstDeletion = std::find_if(Rec.Log.begin(), Rec.Log.end(),
                                            [](const std::string& Line) { return Line.rfind("Deletion(", 0) == 0; });
    EXPECT_TRUE(std::all_of(FirstDeletion, Rec.Log.end(),
                            [](const std::string& Line) { return Line.rfind("Deletion(", 0) == 0; }));
    ASSERT_EQ(Nodes.SelectedEntry() ? Nodes.SelectedEntry()->Text() : "", Case.ExpectedSelection);
    EXPECT_EQ(Mirror.CountOf("AboutToBeRemoved"), 1);
    EXPECT_EQ(Mirror.CountOf("AboutToBeReset"), 0);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTest,
    ::testing::Values(TDeleteCase{"SubtreeOfThreeReportsThree", "A(B(C D) E) F", "B", "", false, "A(E) F", "", "B C D",
                                  ""},
                      TDeleteCase{"OnlyChildUnmarksParent", "A(B(C D)) E", "B", "", false, "A E", "", "B C D", ""},
                      TDeleteCase{"UnselectedLeavesSelectionAlone", "A(B) C", "A", "C", false, "C", "", "A B", "C"},
                      TDeleteCase{"SelectedGoesToNextSibling", "A(B C) D", "B", "B", false, "A(C) D",
                                  "Changing(C from B) Change(C)", "B", "C"},
                      TDeleteCase{"SelectedLastGoesToPreviousSibling", "A(B C) D", "C", "C", false, "A(B) D",
                                  "Changing(B from C) Change(B)", "C", "B"},
                      TDeleteCase{"SelectedOnlyChildGoesToParent", "A(B) C", "B", "B", false, "A C",
                                  "Changing(A from B) Change(A)", "B", "A"},
                      TDeleteCase{"SelectedBelowGoesToSiblingOfDeleted", "A(B(C) D)", "B", "C", false, "A(D)",
                                  "Changing(D from C) Change(D)", "B C", "D"},
                      TDeleteCase{"SelectedBelowOnlyChildGoesToParent", "A(B(C)) D", "B", "C", false, "A D",
                                  "Changing(A from C) Change(A)", "B C", "A"},
                      TDeleteCase{"LastEntryLeavesNoSelection", "A(B)", "A", "B", false, "",
                                  "Changing(- from B) Change(-)", "A B", ""},
                      TDeleteCase{"RefusalStillLeavesTheDeletedEntry", "A B", "A", "A", true, "B",
                                  "Changing(B from A) Change(-)", "A", ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct TThrowingDeletionCase {
    const char* Name;
    bool Clear;
    const char* ExpectedShape;
    const char* ExpectedDeleted;
};

class ThrowingDeletionTest : public TOutlineFixture, public ::testing::WithParamInterface<TThrowingDeletionCase> {};

TEST_P(ThrowingDeletionTest, FailingHandlerStillGetsEveryEntryOut) {
    const TThrowingDeletionCase& Case = GetParam();
    TEntryMap Entries = Build("A(B(C D) E) F");
    Rec.ThrowOnDeletion = {"B", "C"};
    if (Case.Clear)
        EXPECT_THROW(Nodes.ClearOutline(), std::runtime_error);
    else
        EXPECT_THROW(Nodes.DeleteEntry(Entries["B"]), std::runtime_error);
    EXPECT_EQ(ShapeOf(Nodes), Case.ExpectedShape);
    EXPECT_EQ(Rec.SortedDeletions(), Case.ExpectedDeleted);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(Cases, ThrowingDeletionTest,
                         ::testing::Values(TThrowingDeletionCase{"Delete", false, "A(E) F", "B C D"},
                                           TThrowingDeletionCase{"Clear", true, "", "A B C D E F"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------- clearing

struct TClearCase {
    const char* Name;
    const char* Selected;
    bool InUpdate;
    const char* ExpectedEvents;
    const char* ExpectedObserver;
};

class ClearTest : public TOutlineFixture, public ::testing::WithParamInterface<TClearCase> {};

TEST_P(ClearTest, EveryEntryReportedOnceAndOneReset) {
    const TClearCase& Case = GetParam();
    TEntryMap Entries = Build("A(B C(D)) E");
    if (*Case.Selected)
        Nodes.SelectEntry(Entries.at(Case.Selected));
    Rec.Clear();
    Mirror.Log.clear();
    if (Case.InUpdate)
        Nodes.BeginUpdate();
    Nodes.ClearOutline();
    if (Case.InUpdate)
        Nodes.EndUpdate();
    EXPECT_EQ(Nodes.EntryCount(), 0);
    EXPECT_EQ(Nodes.SelectedEntry(), nullptr);
    EXPECT_EQ(Rec.SortedDeletions(), "A B C D E");
    EXPECT_EQ(Rec.JoinedWithoutDeletions(), Case.ExpectedEvents);
    EXPECT_EQ(Mirror.Joined(), Case.ExpectedObserver);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(Cases, ClearTest,
                         ::testing::Values(TClearCase{"WithoutSelection", "", false, "", "AboutToBeReset Reset"},
                                           TClearCase{"SelectionPassesToNone", "D", false,
                                                      "Changing(- from D) Change(-)",
                                                      "SelectionChanged(-) AboutToBeReset Reset"},
                                           TClearCase{"InsideUpdateNoExtraReset", "", true, "", "AboutToBeReset Reset"},
                                           TClearCase{"InsideUpdateWithSelection", "A", true,
                                                      "Changing(- from A) Change(-)", "AboutToBeReset Reset"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------- selecting

struct TSelectCase {
    const char* Name;
    const char* Initial;
    const char* Target;
    bool Refuse;
    const char* ExpectedEvents;
    const char* ExpectedSelection;
    const char* ExpectedObserver;
};

class SelectTest : public TOutlineFixture, public ::testing::WithParamInterface<TSelectCase> {};

TEST_P(SelectTest, ChangingComesFirstAndMayRefuse) {
    const TSelectCase& Case = GetParam();
    TEntryMap Entries = Build("A B(C)");
    if (*Case.Initial)
        Nodes.SelectEntry(Entries.at(Case.Initial));
    Rec.Clear();
    Mirror.Log.clear();
    Rec.RefuseChange = Case.Refuse;
    Nodes.SelectEntry(Named(Entries, Case.Target));
    EXPECT_EQ(Rec.Joined(), Case.ExpectedEvents);
    EXPECT_EQ(Nodes.SelectedEntry() ? Nodes.SelectedEntry()->Text() : "", Case.ExpectedSelection);
    EXPECT_EQ(Mirror.Joined(), Case.ExpectedObserver);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectTest,
    ::testing::Values(
        TSelectCase{"FromNone", "", "B", false, "Changing(B from -) Change(B)", "B", "SelectionChanged(B)"},
        TSelectCase{"FromAnother", "A", "C", false, "Changing(C from A) Change(C)", "C", "SelectionChanged(C)"},
        TSelectCase{"RefusedKeepsOld", "A", "B", true, "Changing(B from A)", "A", ""},
        TSelectCase{"SameEntryFiresAgain", "A", "A", false, "Changing(A from A) Change(A)", "A", ""},
        TSelectCase{"ToNone", "A", "", false, "Changing(- from A) Change(-)", "", "SelectionChanged(-)"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// ---------------------------------------------------------------- expanding

enum TExpandOp { eoExpand, eoCollapse, eoExpandDeep, eoCollapseDeep, eoExpandAll, eoCollapseAll };

struct TExpandCase {
    const char* Name;
    const char* Initially;
    TExpandOp Op;
    const char* Target;
    const char* Refuse;
    const char* ExpectedEvents;
    const char* ExpectedExpanded;
};

class ExpandTest : public TOutlineFixture, public ::testing::WithParamInterface<TExpandCase> {};

TEST_P(ExpandTest, EventsOncePerEntryWithChildrenInPreOrder) {
    const TExpandCase& Case = GetParam();
    TEntryMap Entries = Build("A(B(C) D(E)) F(G) H");
    for (const std::string& Name : Split(Case.Initially))
        Nodes.ExpandEntry(Entries.at(Name), false);
    for (const std::string& Name : Split(Case.Refuse))
        Rec.RefuseExpansion.insert(Name);
    Rec.Clear();
    Mirror.Log.clear();
    std::map<std::string, bool> FlagsBefore;
    for (const auto& [Name, Entry] : Entries)
        FlagsBefore[Name] = Entry->Expanded();
    TTreeNode* Target = Named(Entries, Case.Target);
    switch (Case.Op) {
    case eoExpand:
        Nodes.ExpandEntry(Target, false);
        break;
    case eoCollapse:
        Nodes.CollapseEntry(Target, false);
        break;
    case eoExpandDeep:
        Nodes.ExpandEntry(Target, true);
        break;
    case eoCollapseDeep:
        Nodes.CollapseEntry(Target, true);
        break;
    case eoExpandAll:
        Nodes.ExpandAll();
        break;
    case eoCollapseAll:
        Nodes.CollapseAll();
        break;
    }
    EXPECT_EQ(Rec.Joined(), Case.ExpectedEvents);
    EXPECT_EQ(ExpandedOf(Nodes), Case.ExpectedExpanded);
    // Observers hear of real flag changes only.
    long Changes = 0;
    for (const auto& [Name, Entry] : Entries)
        Changes += Entry->Expanded() != FlagsBefore[Name] ? 1 : 0;
    EXPECT_EQ(Mirror.CountOf("ExpandedChanged"), Changes);
    EXPECT_EQ(static_cast<long>(Mirror.Log.size()), Changes);
    ExpectSound();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandTest,
    ::testing::Values(
        TExpandCase{"One", "", eoExpand, "A", "", "Expanding(A) Expanded(A)", "A"},
        TExpandCase{"AlreadyExpandedFiresAgain", "A", eoExpand, "A", "", "Expanding(A) Expanded(A)", "A"},
        TExpandCase{"LeafFiresNothing", "", eoExpand, "H", "", "", ""},
        TExpandCase{"Refused", "", eoExpand, "A", "A", "Expanding(A)", ""},
        TExpandCase{"CollapseKeepsInnerFlags", "A B", eoCollapse, "A", "", "Collapsing(A) Collapsed(A)", "B"},
        TExpandCase{"CollapsedFiresAgain", "", eoCollapse, "A", "", "Collapsing(A) Collapsed(A)", ""},
        TExpandCase{"CollapseRefused", "A", eoCollapse, "A", "A", "Collapsing(A)", "A"},
        TExpandCase{"DeepWalksSubtreeInPreOrder", "", eoExpandDeep, "A", "",
                    "Expanding(A) Expanded(A) Expanding(B) Expanded(B) Expanding(D) Expanded(D)", "A B D"},
        TExpandCase{"DeepGoesOnPastRefusal", "", eoExpandDeep, "A", "B",
                    "Expanding(A) Expanded(A) Expanding(B) Expanding(D) Expanded(D)", "A D"},
        TExpandCase{"DeepFiresForExpandedToo", "B", eoExpandDeep, "A", "",
                    "Expanding(A) Expanded(A) Expanding(B) Expanded(B) Expanding(D) Expanded(D)", "A B D"},
        TExpandCase{"DeepCollapse", "A B D F", eoCollapseDeep, "A", "",
                    "Collapsing(A) Collapsed(A) Collapsing(B) Collapsed(B) Collapsing(D) Collapsed(D)", "F"},
        TExpandCase{"All", "", eoExpandAll, "", "",
                    "Expanding(A) Expanded(A) Expanding(B) Expanded(B) Expanding(D) Expanded(D) "
                    "Expanding(F) Expanded(F)",
                    "A B D F"},
        TExpandCase{"CollapseAllReachesHiddenEntries", "B D", eoCollapseAll, "", "",
                    "Collapsing(A) Collapsed(A) Collapsing(B) Collapsed(B) Collapsing(D) Collapsed(D) "
                    "Collapsing(F) Collapsed(F)",
                    ""},
        TExpandCase{"CollapseAllFromAll", "A B D F", eoCollapseAll, "", "",
                    "Collapsing(A) Collapsed(A) Collapsing(B) Collapsed(B) Collapsing(D) Collapsed(D) "
                    "Collapsing(F) Collapsed(F)",
                    ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// An entry whose last child was deleted while it was expanded keeps its flag until a
// recursive collapse clears it; a first child added afterwards stays hidden.
TEST_F(TreeNodesTest, CollapseAllLeavesEmptiedEntryCollapsed) {
    TEntryMap Entries = Build("A(B(C)) D");
    Nodes.ExpandAll();
    Nodes.DeleteEntry(Entries["C"]);
    Nodes.DeleteEntry(Entries["B"]);
    Rec.Clear();
    Mirror.Log.clear();
    Nodes.CollapseAll();
    EXPECT_EQ(ExpandedOf(Nodes), "");
    EXPECT_EQ(Rec.Joined(), "");
    EXPECT_EQ(Mirror.Joined(), "ExpandedChanged(A)");
    Nodes.AppendChild(Entries["A"], "E");
    EXPECT_FALSE(Entries["A"]->Expanded());
    ExpectSound();
}

// The whole-tree operations come to observers as one batch; single entries do not.
TEST_F(TreeNodesTest, ExpandAllAndCollapseAllAreOneBatch) {
    struct TBatchLog : TCallCounter {
        std::string Log;
        void EntryExpandedChanged(TTreeNode* Entry) override { Log += Entry->Text(); }
        void ExpansionAboutToChange() override { Log += "["; }
        void ExpansionChanged() override { Log += "]"; }
    } Batches;
    TEntryMap Entries = Build("A(B) C(D)");
    Nodes.AddObserver(&Batches);
    Nodes.ExpandEntry(Entries["A"], false);
    Nodes.ExpandAll();
    Nodes.CollapseAll();
    Nodes.RemoveObserver(&Batches);
    EXPECT_EQ(Batches.Log, "A[C][AC]");
    // A handler that fails still closes the batch.
    Nodes.AddObserver(&Batches);
    Batches.Log.clear();
    Nodes.OnExpanding = [](TObject*, TTreeNode*, bool&) { throw std::runtime_error("refused loudly"); };
    EXPECT_THROW(Nodes.ExpandAll(), std::runtime_error);
    Nodes.RemoveObserver(&Batches);
    EXPECT_EQ(Batches.Log, "[]");
}

// ---------------------------------------------------------------- titles, drop target

TEST_F(TreeNodesTest, NewTitleNeverReorders) {
    TEntryMap Entries = Build("A B C(D E)");
    Nodes.SetEntryTitle(Entries["A"], "Z");
    Nodes.SetEntryTitle(Entries["D"], "Y");
    EXPECT_EQ(ShapeOf(Nodes), "Z B C(Y E)");
    EXPECT_EQ(Nodes.EntryAtIndex(0), Entries["A"]);
    EXPECT_EQ(Rec.Joined(), "");
    EXPECT_EQ(Mirror.Joined(), "Changed(Z) Changed(Y)");
    ExpectSound();
}

TEST_F(TreeNodesTest, AtMostOneDropTarget) {
    TEntryMap Entries = Build("A B(C)");
    Nodes.SetDropTarget(Entries["A"]);
    Nodes.SetDropTarget(Entries["C"]);
    EXPECT_EQ(Nodes.DropTarget(), Entries["C"]);
    ExpectSound();
    EXPECT_EQ(Mirror.Joined(), "Changed(A) Changed(A) Changed(C)");
    Nodes.DeleteEntry(Entries["B"]);
    EXPECT_EQ(Nodes.DropTarget(), nullptr);
    ExpectSound();
    Nodes.SetDropTarget(Entries["A"]);
    Nodes.SetDropTarget(nullptr);
    EXPECT_FALSE(Entries["A"]->DropTarget());
    ExpectSound();
}

// ---------------------------------------------------------------- batches and teardown

TEST_F(TreeNodesTest, BatchSendsOneResetButUserEventsStillFire) {
    TEntryMap Entries = Build("A(B) C");
    Nodes.BeginUpdate();
    Nodes.BeginUpdate();
    TTreeNode* Added = Nodes.AppendChild(Entries["C"], "D");
    Nodes.ExpandAll();
    Nodes.SelectEntry(Added);
    Nodes.MoveEntry(Entries["A"], nullptr, epLast);
    Nodes.SetEntryTitle(Entries["B"], "E");
    Nodes.SetDropTarget(Entries["C"]);
    Nodes.DeleteEntry(Entries["C"]);
    Nodes.EndUpdate();
    EXPECT_EQ(Mirror.Joined(), "AboutToBeReset");
    Nodes.EndUpdate();
    EXPECT_EQ(Mirror.Joined(), "AboutToBeReset Reset SelectionChanged(A)");
    EXPECT_EQ(Rec.JoinedWithoutDeletions(), "Expanding(A) Expanded(A) Expanding(C) Expanded(C) "
                                            "Changing(D from -) Change(D) Changing(A from D) Change(A)");
    EXPECT_EQ(Rec.SortedDeletions(), "C D");
    EXPECT_EQ(ShapeOf(Nodes), "A(E)");
    ExpectSound();
}

TEST(TreeNodesTeardown, DestructionReportsEveryEntryAndNothingElse) {
    TObject Sender;
    TRecorder Rec;
    TCallCounter Counter;
    std::map<std::string, TStringList*> Bodies;
    {
        TTreeNodes Nodes(&Sender);
        Rec.Attach(Nodes, &Sender);
        TEntryMap Entries = BuildOutline(Nodes, "A(B(C) D) E(F)");
        for (auto& [Name, Entry] : Entries)
            Bodies[Name] = Entry->Data();
        Nodes.ExpandAll();
        Nodes.SelectEntry(Entries["C"]);
        Nodes.AddObserver(&Counter);
        Rec.Clear();
    }
    EXPECT_EQ(Rec.JoinedWithoutDeletions(), "");
    EXPECT_EQ(Rec.SortedDeletions(), "A B C D E F");
    EXPECT_EQ(Rec.DeletedBodies, Bodies);
    EXPECT_EQ(Counter.Calls, 0);
}

// ---------------------------------------------------------------- expanded entries

// True when Top or an entry of its subtree has the expanded flag.
bool SubtreeHasExpanded(const TTreeNode* Top) {
    std::vector<const TTreeNode*> Pending{Top};
    while (!Pending.empty()) {
        const TTreeNode* N = Pending.back();
        Pending.pop_back();
        if (N->Expanded())
            return true;
        for (int I = 0; I < N->Count(); ++I)
            Pending.push_back(N->Item(I));
    }
    return false;
}

class AnyExpandedTest : public ::testing::TestWithParam<unsigned> {};

// Random adds, deletes, expansions, moves, detaches and clears: after each the outline's
// answer agrees with a look at every entry, the detached ones included.
TEST_P(AnyExpandedTest, AgreesWithEveryEntrysFlagAfterAnyChange) {
    std::mt19937 Random(GetParam());
    TTreeNodes Nodes;
    std::vector<TTreeNode*> Detached;
    auto Pick = [&]() -> TTreeNode* {
        const int Count = Nodes.EntryCount();
        return Count == 0 ? nullptr : Nodes.EntryAtIndex(static_cast<int>(Random() % static_cast<unsigned>(Count)));
    };
    for (int Step = 0; Step < 3000; ++Step) {
        TTreeNode* E = Pick();
        switch (Random() % 12) {
        case 0:
        case 1:
        case 2:
            Nodes.AppendChild(Random() % 4 == 0 ? nullptr : E, "x");
            break;
        case 3:
            if (E)
                Nodes.DeleteEntry(E);
            break;
        case 4:
        case 5:
            if (E)
                Nodes.ExpandEntry(E, Random() % 2 == 0);
            break;
        case 6:
            if (E)
                Nodes.CollapseEntry(E, Random() % 2 == 0);
            break;
        case 7:
            if (E)
                Nodes.MoveEntry(E, Pick(), static_cast<TEntryPlacement>(Random() % 5));
            break;
        case 8:
            if (E && Detached.size() < 3) {
                Nodes.DetachEntry(E);
                Detached.push_back(E);
            }
            break;
        case 9:
            if (!Detached.empty()) {
                TTreeNode* Back = Detached.back();
                Detached.pop_back();
                if (Random() % 2 == 0)
                    Nodes.ReinsertEntry(Back, Pick(), static_cast<int>(Random() % 3));
                else
                    Nodes.ReleaseDetached(Back);
            }
            break;
        case 10:
            if (Random() % 2 == 0)
                Nodes.ExpandAll();
            else
                Nodes.CollapseAll();
            break;
        default:
            if (Random() % 20 == 0 && Detached.empty())
                Nodes.ClearOutline();
            break;
        }
        bool Any = false;
        for (int I = 0; I < Nodes.TopCount() && !Any; ++I)
            Any = SubtreeHasExpanded(Nodes.TopItem(I));
        for (const TTreeNode* D : Detached)
            Any = Any || SubtreeHasExpanded(D);
        ASSERT_EQ(Nodes.AnyExpanded(), Any) << "step " << Step;
    }
    for (TTreeNode* D : Detached)
        Nodes.ReleaseDetached(D);
    Nodes.ClearOutline();
    EXPECT_FALSE(Nodes.AnyExpanded());
}

INSTANTIATE_TEST_SUITE_P(Seeds, AnyExpandedTest, ::testing::Values(1u, 2u, 3u));

// ---------------------------------------------------------------- depth

// Runs Body on a thread with a small stack: anything that recursed along a chain of a
// million entries would overflow it.
void RunWithSmallStack(const std::function<void()>& Body) {
    pthread_attr_t Attributes;
    ASSERT_EQ(pthread_attr_init(&Attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&Attributes, 256 * 1024), 0);
    pthread_t Thread;
    auto Trampoline = [](void* Argument) -> void* {
        (*static_cast<const std::function<void()>*>(Argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&Thread, &Attributes, Trampoline, const_cast<std::function<void()>*>(&Body)), 0);
    pthread_join(Thread, nullptr);
    pthread_attr_destroy(&Attributes);
}

TEST(TreeNodesDepth, MillionDeepChainWorksOnASmallStack) {
    constexpr int Depth = 1000000;
    struct TResults {
        int Count = 0;
        int LastIndex = -1;
        int LastLevel = -1;
        bool LookupFound = false;
        bool AllExpanded = false;
        bool AllCollapsed = false;
        int Deleted = 0;
        int SelectionIndexAfterDelete = -1;
        int CountAfterDelete = 0;
        int TopCountAfterMove = 0;
        int MovedLevel = -1;
        int CountAfterClear = -1;
        int DeletedByClear = 0;
        int DeletedByDestructor = 0;
    } R;
    RunWithSmallStack([&R] {
        TTreeNodes Nodes;
        int Deleted = 0;
        Nodes.OnDeletion = [&Deleted](TObject*, TTreeNode*) { ++Deleted; };
        std::vector<TTreeNode*> Chain;
        Chain.reserve(Depth);
        TTreeNode* Last = nullptr;
        for (int I = 0; I < Depth; ++I)
            Chain.push_back(Last = Nodes.AppendChild(Last, "x"));
        R.Count = Nodes.EntryCount();
        R.LastIndex = Nodes.IndexOfEntry(Last);
        R.LastLevel = TTreeNodes::EntryLevel(Last);
        R.LookupFound = Nodes.EntryAtIndex(Depth - 1) == Last && Nodes.EntryAtIndex(Depth - 2) == Chain[Depth - 2];
        Nodes.ExpandAll();
        R.AllExpanded = Chain[0]->Expanded() && Chain[Depth - 2]->Expanded();
        Nodes.CollapseAll();
        R.AllCollapsed = !Chain[0]->Expanded() && !Chain[Depth - 2]->Expanded();

        Nodes.SelectEntry(Last);
        Nodes.DeleteEntry(Chain[Depth / 2]);
        R.Deleted = Deleted;
        R.SelectionIndexAfterDelete = Nodes.IndexOfEntry(Nodes.SelectedEntry());
        R.CountAfterDelete = Nodes.EntryCount();

        Nodes.ExpandEntry(Chain[0], true);
        Nodes.MoveEntry(Chain[1], nullptr, epLast);
        R.TopCountAfterMove = Nodes.TopCount();
        R.MovedLevel = TTreeNodes::EntryLevel(Chain[Depth / 2 - 1]);
        R.AllCollapsed = R.AllCollapsed && !Chain[Depth / 2 - 2]->Expanded();

        Deleted = 0;
        Nodes.ClearOutline();
        R.CountAfterClear = Nodes.EntryCount();
        R.DeletedByClear = Deleted;

        Last = nullptr;
        for (int I = 0; I < Depth; ++I)
            Last = Nodes.AppendChild(Last, "y");
        Deleted = 0;
        Nodes.OnDeletion = [&R](TObject*, TTreeNode*) { ++R.DeletedByDestructor; };
    });
    EXPECT_EQ(R.Count, Depth);
    EXPECT_EQ(R.LastIndex, Depth - 1);
    EXPECT_EQ(R.LastLevel, Depth - 1);
    EXPECT_TRUE(R.LookupFound);
    EXPECT_TRUE(R.AllExpanded);
    EXPECT_TRUE(R.AllCollapsed);
    EXPECT_EQ(R.Deleted, Depth / 2);
    EXPECT_EQ(R.SelectionIndexAfterDelete, Depth / 2 - 1);
    EXPECT_EQ(R.CountAfterDelete, Depth / 2);
    EXPECT_EQ(R.TopCountAfterMove, 2);
    EXPECT_EQ(R.MovedLevel, Depth / 2 - 2);
    EXPECT_EQ(R.CountAfterClear, 0);
    EXPECT_EQ(R.DeletedByClear, Depth / 2);
    EXPECT_EQ(R.DeletedByDestructor, Depth);
}

} // namespace
