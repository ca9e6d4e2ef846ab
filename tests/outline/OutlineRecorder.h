#pragma once
// Test helpers for the outline: build an outline from a compact shape ("A(B C) D"),
// print it back, record every event in order, and mirror the structure from the
// observer notifications alone so that wrong rows or unbalanced pairs show up.
#include "TreeNodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The outline never looks into a body, only keeps the pointer: distinct addresses will do.
inline TStringList* FakeBody(std::size_t Id) {
    static std::array<char, 1 << 12> Storage{};
    return reinterpret_cast<TStringList*>(&Storage.at(Id % Storage.size()));
}

using TEntryMap = std::map<std::string, TTreeNode*>;

// Appends the entries of Shape under the existing ones; each gets its own body.
inline TEntryMap BuildOutline(TTreeNodes& Nodes, std::string_view Shape) {
    TEntryMap Entries;
    std::vector<TTreeNode*> Parents{nullptr};
    TTreeNode* Last = nullptr;
    std::size_t I = 0;
    while (I < Shape.size()) {
        const char C = Shape[I];
        if (C == ' ') {
            ++I;
        } else if (C == '(') {
            Parents.push_back(Last);
            ++I;
        } else if (C == ')') {
            Parents.pop_back();
            ++I;
        } else {
            std::size_t End = I;
            while (End < Shape.size() && Shape[End] != ' ' && Shape[End] != '(' && Shape[End] != ')')
                ++End;
            const std::string Name(Shape.substr(I, End - I));
            Last = Nodes.AppendChild(Parents.back(), Name, FakeBody(Entries.size() + 1));
            Entries[Name] = Last;
            I = End;
        }
    }
    return Entries;
}

inline int ChildCount(const TTreeNodes& Nodes, const TTreeNode* Parent) {
    return Parent ? Parent->Count() : Nodes.TopCount();
}

inline TTreeNode* ChildAt(const TTreeNodes& Nodes, const TTreeNode* Parent, int Row) {
    return Parent ? Parent->Item(Row) : Nodes.TopItem(Row);
}

// Pre-order through the child lists only (not through GetNext, which is under test).
inline std::vector<TTreeNode*> PreOrder(const TTreeNodes& Nodes) {
    std::vector<TTreeNode*> Order;
    std::vector<std::pair<TTreeNode*, int>> Stack{{nullptr, 0}};
    while (!Stack.empty()) {
        auto [Parent, Next] = Stack.back();
        if (Next == ChildCount(Nodes, Parent)) {
            Stack.pop_back();
            continue;
        }
        ++Stack.back().second;
        TTreeNode* Child = ChildAt(Nodes, Parent, Next);
        Order.push_back(Child);
        Stack.emplace_back(Child, 0);
    }
    return Order;
}

// The outline written back as a shape, e.g. "A(B C) D".
inline std::string ShapeOf(const TTreeNodes& Nodes) {
    std::string Out;
    std::vector<std::pair<TTreeNode*, int>> Stack{{nullptr, 0}};
    while (!Stack.empty()) {
        auto [Parent, Next] = Stack.back();
        if (Next == ChildCount(Nodes, Parent)) {
            Stack.pop_back();
            if (!Stack.empty())
                Out += ')';
            continue;
        }
        ++Stack.back().second;
        if (Next > 0)
            Out += ' ';
        TTreeNode* Child = ChildAt(Nodes, Parent, Next);
        Out += Child->Text();
        if (Child->Count() > 0) {
            Out += '(';
            Stack.emplace_back(Child, 0);
        }
    }
    return Out;
}

// Titles of the expanded entries in pre-order, e.g. "A B".
inline std::string ExpandedOf(const TTreeNodes& Nodes) {
    std::string Out;
    for (TTreeNode* N : PreOrder(Nodes))
        if (N->Expanded())
            Out += (Out.empty() ? "" : " ") + N->Text();
    return Out;
}

// Links, row numbers, marks, neighbours, indices and levels all agree with the child lists.
inline void ExpectConsistent(const TTreeNodes& Nodes) {
    const std::vector<TTreeNode*> Order = PreOrder(Nodes);
    ASSERT_EQ(Nodes.EntryCount(), static_cast<int>(Order.size()));
    int SelectedSeen = 0;
    int DropSeen = 0;
    for (std::size_t I = 0; I < Order.size(); ++I) {
        TTreeNode* N = Order[I];
        SCOPED_TRACE("entry " + N->Text());
        TTreeNode* Parent = N->Parent();
        ASSERT_EQ(ChildAt(Nodes, Parent, N->IndexInParent()), N);
        EXPECT_EQ(N->HasChildren(), N->Count() > 0);
        EXPECT_EQ(N->GetNext(), I + 1 < Order.size() ? Order[I + 1] : nullptr);
        EXPECT_EQ(N->GetPrev(), I > 0 ? Order[I - 1] : nullptr);
        EXPECT_EQ(N->GetPrevSibling(),
                  N->IndexInParent() > 0 ? ChildAt(Nodes, Parent, N->IndexInParent() - 1) : nullptr);
        EXPECT_EQ(N->GetNextSibling(), N->IndexInParent() + 1 < ChildCount(Nodes, Parent)
                                           ? ChildAt(Nodes, Parent, N->IndexInParent() + 1)
                                           : nullptr);
        EXPECT_EQ(Nodes.IndexOfEntry(N), static_cast<int>(I));
        EXPECT_EQ(TTreeNodes::EntryLevel(N), Parent ? TTreeNodes::EntryLevel(Parent) + 1 : 0);
        EXPECT_EQ(N->Selected(), Nodes.SelectedEntry() == N);
        EXPECT_EQ(N->DropTarget(), Nodes.DropTarget() == N);
        SelectedSeen += N->Selected() ? 1 : 0;
        DropSeen += N->DropTarget() ? 1 : 0;
    }
    EXPECT_EQ(SelectedSeen, Nodes.SelectedEntry() ? 1 : 0);
    EXPECT_EQ(DropSeen, Nodes.DropTarget() ? 1 : 0);
}

// Records every event of the outline as text, in order, and fails a test at once when
// an event names an entry whose OnDeletion already fired, or fires OnDeletion twice.
class TRecorder : public TOutlineObserver {
public:
    std::vector<std::string> Log;
    std::vector<std::string> DeletedTitles;
    std::map<std::string, TStringList*> DeletedBodies;
    bool RefuseChange = false;
    std::set<std::string> RefuseExpansion;
    std::set<std::string> ThrowOnDeletion;

    void Attach(TTreeNodes& Nodes, TObject* Sender) {
        FNodes = &Nodes;
        FSender = Sender;
        Nodes.AddObserver(this);
        Nodes.OnChanging = [this](TObject* S, TTreeNode* Node, bool& AllowChange) {
            CheckSender(S);
            Log.push_back("Changing(" + Name(Node) + " from " + Name(FNodes->SelectedEntry()) + ")");
            AllowChange = !RefuseChange;
        };
        Nodes.OnChange = [this](TObject* S, TTreeNode* Node) {
            CheckSender(S);
            EXPECT_EQ(FNodes->SelectedEntry(), Node) << "OnChange before the selection moved";
            Log.push_back("Change(" + Name(Node) + ")");
        };
        Nodes.OnDeletion = [this](TObject* S, TTreeNode* Node) {
            CheckSender(S);
            EXPECT_FALSE(FDeleted.count(Node)) << "OnDeletion twice for one entry";
            Log.push_back("Deletion(" + Node->Text() + ")");
            DeletedTitles.push_back(Node->Text());
            DeletedBodies[Node->Text()] = Node->Data();
            FDeleted.insert(Node);
            if (ThrowOnDeletion.count(Node->Text()))
                throw std::runtime_error("handler failed for " + Node->Text());
        };
        Nodes.OnExpanding = [this](TObject* S, TTreeNode* Node, bool& Allow) {
            CheckSender(S);
            Log.push_back("Expanding(" + Name(Node) + ")");
            Allow = !RefuseExpansion.count(Node->Text());
        };
        Nodes.OnExpanded = [this](TObject* S, TTreeNode* Node) {
            CheckSender(S);
            Log.push_back("Expanded(" + Name(Node) + ")");
        };
        Nodes.OnCollapsing = [this](TObject* S, TTreeNode* Node, bool& Allow) {
            CheckSender(S);
            Log.push_back("Collapsing(" + Name(Node) + ")");
            Allow = !RefuseExpansion.count(Node->Text());
        };
        Nodes.OnCollapsed = [this](TObject* S, TTreeNode* Node) {
            CheckSender(S);
            Log.push_back("Collapsed(" + Name(Node) + ")");
        };
    }

    // A new entry may reuse the address of a removed one: the recorder listens for new
    // entries for that reason only.
    void Forget(const TTreeNode* Node) { FDeleted.erase(Node); }
    void EntryInserted(TTreeNode* Entry) override { Forget(Entry); }
    void OutlineReset() override { FDeleted.clear(); }
    void EntryAboutToBeInserted(TTreeNode*, int) override {}
    void EntryAboutToBeRemoved(TTreeNode*) override {}
    void EntryRemoved(TTreeNode*, int) override {}
    void EntryAboutToBeMoved(TTreeNode*, TTreeNode*, int) override {}
    void EntryMoved(TTreeNode*) override {}
    void OutlineAboutToBeReset() override {}
    void EntryChanged(TTreeNode*) override {}
    void EntryExpandedChanged(TTreeNode*) override {}
    void SelectionChanged(TTreeNode*) override {}

    std::string Joined() const { return Join(Log); }
    // The log without the deletions, whose order inside a subtree is free.
    std::string JoinedWithoutDeletions() const {
        std::vector<std::string> Rest;
        std::copy_if(Log.begin(), Log.end(), std::back_inserter(Rest),
                     [](const std::string& Line) { return Line.rfind("Deletion(", 0) != 0; });
        return Join(Rest);
    }
    std::string SortedDeletions() const {
        std::vector<std::string> Sorted = DeletedTitles;
        std::sort(Sorted.begin(), Sorted.end());
        return Join(Sorted);
    }
    void Clear() {
        Log.clear();
        DeletedTitles.clear();
        DeletedBodies.clear();
    }

    static std::string Join(const std::vector<std::string>& Lines) {
        std::string Out;
        for (const std::string& Line : Lines)
            Out += (Out.empty() ? "" : " ") + Line;
        return Out;
    }

private:
    std::string Name(const TTreeNode* Node) {
        if (!Node)
            return "-";
        if (FDeleted.count(Node)) {
            ADD_FAILURE() << "an event names an entry after its OnDeletion";
            return "<deleted>";
        }
        return Node->Text();
    }
    void CheckSender(TObject* S) const { EXPECT_EQ(S, FSender); }

    TTreeNodes* FNodes = nullptr;
    TObject* FSender = nullptr;
    std::set<const TTreeNode*> FDeleted;
};

// Keeps its own copy of the tree, changed only by the notifications, with the row
// semantics of QAbstractItemModel (a refused no-op move counts as a fault).
// Verify() compares the copy with the outline.
class TMirror : public TOutlineObserver {
public:
    std::vector<std::string> Log;

    explicit TMirror(TTreeNodes& Nodes) : FNodes(Nodes) {
        Sync();
        Nodes.AddObserver(this);
    }
    ~TMirror() override { FNodes.RemoveObserver(this); }
    TMirror(const TMirror&) = delete;
    TMirror& operator=(const TMirror&) = delete;

    std::string Joined() const { return TRecorder::Join(Log); }
    int CountOf(std::string_view Prefix) const {
        return static_cast<int>(
            std::count_if(Log.begin(), Log.end(), [&](const std::string& Line) { return Line.rfind(Prefix, 0) == 0; }));
    }

    void Verify() const {
        EXPECT_EQ(FPending, pkNone) << "an about-to notification without its done";
        std::vector<const TTreeNode*> Mine;
        std::vector<std::pair<const TTreeNode*, std::size_t>> Stack{{nullptr, 0}};
        while (!Stack.empty()) {
            auto [Parent, Next] = Stack.back();
            const std::vector<TTreeNode*>& List = ListOf(Parent);
            if (Next == List.size()) {
                Stack.pop_back();
                continue;
            }
            ++Stack.back().second;
            Mine.push_back(List[Next]);
            Stack.emplace_back(List[Next], 0);
        }
        const std::vector<TTreeNode*> Real = PreOrder(FNodes);
        ASSERT_EQ(std::vector<const TTreeNode*>(Real.begin(), Real.end()), Mine) << "structure differs";
        for (TTreeNode* N : Real) {
            const TItem& Item = FItems.at(N);
            SCOPED_TRACE("mirror of " + N->Text());
            EXPECT_EQ(Item.Parent, N->Parent());
            EXPECT_EQ(Item.Expanded, N->Expanded());
            EXPECT_EQ(Item.Marked, N->HasChildren());
            EXPECT_EQ(Item.DropTarget, N->DropTarget());
            EXPECT_EQ(Item.Title, N->Text());
        }
        EXPECT_EQ(FSelection, FNodes.SelectedEntry());
    }

    void EntryAboutToBeInserted(TTreeNode* Parent, int Row) override {
        Begin(pkInsert);
        Log.push_back("AboutToBeInserted");
        ExpectKnown(Parent);
        EXPECT_TRUE(Row >= 0 && Row <= static_cast<int>(ListOf(Parent).size()));
        FParent = Parent;
        FRow = Row;
    }
    void EntryInserted(TTreeNode* Entry) override {
        End(pkInsert);
        Log.push_back("Inserted(" + Entry->Text() + ")");
        EXPECT_EQ(Entry->Parent(), FParent);
        EXPECT_EQ(Entry->IndexInParent(), FRow);
        FItems[Entry] = TItem{FParent, {}, Entry->Expanded(), Entry->HasChildren(), Entry->DropTarget(), Entry->Text()};
        std::vector<TTreeNode*>& List = ListOf(FParent);
        List.insert(List.begin() + FRow, Entry);
        // A subtree put back comes whole (its rows are read from the outline, as a view does).
        std::vector<TTreeNode*> Pending{Entry};
        while (!Pending.empty()) {
            TTreeNode* Parent = Pending.back();
            Pending.pop_back();
            for (int I = 0; I < Parent->Count(); ++I) {
                TTreeNode* Child = Parent->Item(I);
                EXPECT_FALSE(FItems.count(Child)) << "inserted twice";
                FItems[Child] =
                    TItem{Parent, {}, Child->Expanded(), Child->HasChildren(), Child->DropTarget(), Child->Text()};
                FItems[Parent].Children.push_back(Child);
                Pending.push_back(Child);
            }
        }
    }
    void EntryAboutToBeRemoved(TTreeNode* Entry) override {
        Begin(pkRemove);
        Log.push_back("AboutToBeRemoved(" + Entry->Text() + ")");
        ASSERT_TRUE(FItems.count(Entry)) << "removal of an unknown entry";
        FEntry = Entry;
        FParent = FItems[Entry].Parent;
        FRow = RowOf(Entry);
        EXPECT_EQ(Entry->Parent(), FParent);
        EXPECT_EQ(Entry->IndexInParent(), FRow);
    }
    void EntryRemoved(TTreeNode* Parent, int Row) override {
        End(pkRemove);
        Log.push_back("Removed");
        EXPECT_EQ(Parent, FParent);
        ASSERT_EQ(Row, FRow);
        std::vector<TTreeNode*>& List = ListOf(Parent);
        ASSERT_LT(static_cast<std::size_t>(Row), List.size());
        ASSERT_EQ(List[static_cast<std::size_t>(Row)], FEntry);
        List.erase(List.begin() + Row);
        // Forget the subtree so that a reused address starts clean.
        std::vector<const TTreeNode*> Stack{FEntry};
        while (!Stack.empty()) {
            const TTreeNode* N = Stack.back();
            Stack.pop_back();
            for (const TTreeNode* C : FItems[N].Children)
                Stack.push_back(C);
            FItems.erase(N);
        }
    }
    void EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode* NewParent, int DestRow) override {
        Begin(pkMove);
        Log.push_back("AboutToBeMoved(" + Entry->Text() + ")");
        ASSERT_TRUE(FItems.count(Entry));
        ExpectKnown(NewParent);
        FEntry = Entry;
        FParent = FItems[Entry].Parent;
        FRow = RowOf(Entry);
        FNewParent = NewParent;
        FDestRow = DestRow;
        EXPECT_TRUE(DestRow >= 0 && DestRow <= static_cast<int>(ListOf(NewParent).size())) << DestRow;
        EXPECT_FALSE(FParent == NewParent && (DestRow == FRow || DestRow == FRow + 1))
            << "a move pair that a model would refuse";
        for (const TTreeNode* N = NewParent; N; N = FItems[N].Parent)
            EXPECT_NE(N, Entry) << "move into its own subtree";
    }
    void EntryMoved(TTreeNode* Entry) override {
        End(pkMove);
        Log.push_back("Moved(" + Entry->Text() + ")");
        EXPECT_EQ(Entry, FEntry);
        std::vector<TTreeNode*>& From = ListOf(FParent);
        From.erase(From.begin() + FRow);
        const int Target = (FParent == FNewParent && FDestRow > FRow) ? FDestRow - 1 : FDestRow;
        std::vector<TTreeNode*>& To = ListOf(FNewParent);
        To.insert(To.begin() + Target, Entry);
        FItems[Entry].Parent = FNewParent;
        EXPECT_EQ(Entry->Parent(), FNewParent);
        EXPECT_EQ(Entry->IndexInParent(), Target);
    }
    void OutlineAboutToBeReset() override {
        Begin(pkReset);
        Log.push_back("AboutToBeReset");
    }
    void OutlineReset() override {
        End(pkReset);
        Log.push_back("Reset");
        Sync();
    }
    void EntryChanged(TTreeNode* Entry) override {
        NotInside();
        Log.push_back("Changed(" + Entry->Text() + ")");
        ASSERT_TRUE(FItems.count(Entry));
        TItem& Item = FItems[Entry];
        Item.Marked = Entry->HasChildren();
        Item.DropTarget = Entry->DropTarget();
        Item.Title = Entry->Text();
    }
    void EntryExpandedChanged(TTreeNode* Entry) override {
        NotInside();
        Log.push_back("ExpandedChanged(" + Entry->Text() + ")");
        ASSERT_TRUE(FItems.count(Entry));
        FItems[Entry].Expanded = Entry->Expanded();
    }
    void SelectionChanged(TTreeNode* Entry) override {
        NotInside();
        Log.push_back("SelectionChanged(" + (Entry ? Entry->Text() : std::string("-")) + ")");
        ExpectKnown(Entry);
        FSelection = Entry;
    }

private:
    enum TPending { pkNone, pkInsert, pkRemove, pkMove, pkReset };
    struct TItem {
        TTreeNode* Parent = nullptr;
        std::vector<TTreeNode*> Children;
        bool Expanded = false;
        bool Marked = false;
        bool DropTarget = false;
        std::string Title;
    };

    void Begin(TPending Kind) {
        EXPECT_EQ(FPending, pkNone) << "pairs overlap";
        FPending = Kind;
    }
    void End(TPending Kind) {
        EXPECT_EQ(FPending, Kind) << "a done notification without its about-to";
        FPending = pkNone;
    }
    void NotInside() const { EXPECT_EQ(FPending, pkNone) << "notification inside a pair"; }
    void ExpectKnown(const TTreeNode* Entry) const {
        EXPECT_TRUE(!Entry || FItems.count(Entry)) << "an entry the observer never heard of";
    }
    std::vector<TTreeNode*>& ListOf(const TTreeNode* Parent) { return Parent ? FItems[Parent].Children : FRoots; }
    const std::vector<TTreeNode*>& ListOf(const TTreeNode* Parent) const {
        return Parent ? FItems.at(Parent).Children : FRoots;
    }
    int RowOf(const TTreeNode* Entry) {
        const std::vector<TTreeNode*>& List = ListOf(FItems[Entry].Parent);
        return static_cast<int>(std::find(List.begin(), List.end(), Entry) - List.begin());
    }
    void Sync() {
        FItems.clear();
        FRoots.clear();
        for (TTreeNode* N : PreOrder(FNodes)) {
            FItems[N] = TItem{N->Parent(), {}, N->Expanded(), N->HasChildren(), N->DropTarget(), N->Text()};
            ListOf(N->Parent()).push_back(N);
        }
        FSelection = FNodes.SelectedEntry();
    }

    TTreeNodes& FNodes;
    std::unordered_map<const TTreeNode*, TItem> FItems;
    std::vector<TTreeNode*> FRoots;
    TTreeNode* FSelection = nullptr;
    TPending FPending = pkNone;
    TTreeNode* FEntry = nullptr;
    TTreeNode* FParent = nullptr;
    TTreeNode* FNewParent = nullptr;
    int FRow = 0;
    int FDestRow = 0;
};

// An outline with a recorder and a mirror, torn down in the right order: the outline
// goes before the recorder its handlers point to.
class TOutlineFixture : public ::testing::Test {
protected:
    TOutlineFixture() { Rec.Attach(Nodes, &Sender); }

    TEntryMap Build(std::string_view Shape) {
        TEntryMap Entries = BuildOutline(Nodes, Shape);
        Mirror.Log.clear();
        return Entries;
    }
    void ExpectSound() {
        ExpectConsistent(Nodes);
        Mirror.Verify();
    }

    TObject Sender;
    TRecorder Rec;
    TTreeNodes Nodes{&Sender};
    TMirror Mirror{Nodes};
};
