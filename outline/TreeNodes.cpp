#include "TreeNodes.h"

#include "Errors.h"
#include "FlagScope.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

// Keeps FIndexInParent equal to the position for every entry of List from From to To.
void Renumber(std::vector<TTreeNode*>& List, std::size_t From, std::size_t To, auto SetIndex) {
    for (std::size_t I = From; I < To && I < List.size(); ++I)
        SetIndex(List[I], static_cast<int>(I));
}

// Grows List ahead of an insertion so that the insertion itself cannot fail.
// Doubles, so a run of appends stays linear; capacities of 2^k - 1 entries fill the
// allocator's blocks exactly (most entries have few children).
void ReserveOneMore(std::vector<TTreeNode*>& List) {
    if (List.size() < List.capacity())
        return;
    try {
        List.reserve(List.size() < 3 ? 3 : List.size() * 2 + 1);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources();
    } catch (const std::length_error&) {
        throw EOutOfResources();
    }
}

// Pre-order successor of N that stays inside Top's subtree, or nullptr.
template <class TNode> TNode* NextInSubtree(TNode* N, const TTreeNode* Top) noexcept {
    if (N->Count() > 0)
        return N->Item(0);
    while (N != Top) {
        TNode* Parent = N->Parent();
        if (!Parent)
            return nullptr;
        const int Next = N->IndexInParent() + 1;
        if (Next < Parent->Count())
            return Parent->Item(Next);
        N = Parent;
    }
    return nullptr;
}

int SubtreeSize(const TTreeNode* Top) noexcept {
    int Size = 0;
    for (const TTreeNode* N = Top; N; N = NextInSubtree(N, Top))
        ++Size;
    return Size;
}

} // namespace

// ---------------------------------------------------------------- TTreeNode

TTreeNode::TTreeNode(TTreeNodes* Owner, TByteString Text, TStringList* Data) noexcept
    : FOwner(Owner), FText(std::move(Text)), FData(Data) {
    KeepTitleStart();
}

void TTreeNode::KeepTitleStart() noexcept {
    FTitleStart[0] = FText.size() > 0 ? FText[0] : '\0';
    FTitleStart[1] = FText.size() > 1 ? FText[1] : '\0';
}

void TTreeNode::operator delete(TTreeNode* Node, std::destroying_delete_t) noexcept {
    TTreeNodes* Owner = Node->FOwner;
    const bool Pooled = Node->FPooled;
    Node->~TTreeNode();
    if (Pooled)
        Owner->FPool.Release(Node);
    else
        ::operator delete(Node);
}

TTreeNode* TTreeNode::SiblingAt(int Index) const noexcept {
    if (FParent)
        return Index < FParent->Count() ? FParent->Item(Index) : nullptr;
    return Index < FOwner->TopCount() ? FOwner->TopItem(Index) : nullptr;
}

TTreeNode* TTreeNode::GetNextSibling() const noexcept {
    return SiblingAt(FIndexInParent + 1);
}

TTreeNode* TTreeNode::GetPrevSibling() const noexcept {
    return FIndexInParent == 0 ? nullptr : SiblingAt(FIndexInParent - 1);
}

TTreeNode* TTreeNode::GetNext() const noexcept {
    if (!FChildren.empty())
        return FChildren.front();
    for (const TTreeNode* N = this; N; N = N->FParent)
        if (TTreeNode* Sibling = N->GetNextSibling())
            return Sibling;
    return nullptr;
}

TTreeNode* TTreeNode::GetPrev() const noexcept {
    TTreeNode* N = GetPrevSibling();
    if (!N)
        return FParent;
    while (!N->FChildren.empty())
        N = N->FChildren.back();
    return N;
}

bool TTreeNode::IsSelfOrDescendantOf(const TTreeNode* Other) const noexcept {
    for (const TTreeNode* N = this; N; N = N->FParent)
        if (N == Other)
            return true;
    return false;
}

// ---------------------------------------------------------------- TTreeNodes

TTreeNodes::TTreeNodes(TObject* Sender) : FSender(Sender) {}

TTreeNodes::~TTreeNodes() {
    // Nobody is left to hear about an error now; every body still gets its chance.
    std::exception_ptr Ignored;
    ReleaseAll(Ignored);
}

void TTreeNodes::SetExpandedFlag(TTreeNode* N, bool Expanded) noexcept {
    if (N->FExpanded == Expanded)
        return;
    N->FExpanded = Expanded;
    FExpandedCount += Expanded ? 1 : -1;
}

template <class TCall> void TTreeNodes::Notify(TCall&& Call) {
    if (FUpdateCount != 0)
        return;
    for (std::size_t I = 0; I < FObservers.size(); ++I)
        Call(*FObservers[I]);
}

void TTreeNodes::ClearCache() noexcept {
    FCacheEntry = nullptr;
    FCacheIndex = -1;
}

TTreeNode* TTreeNodes::AppendSibling(TTreeNode* S, const TByteString& Title, TStringList* Body) {
    return InsertLast(S ? S->FParent : nullptr, Title, Body);
}

TTreeNode* TTreeNodes::AppendChild(TTreeNode* P, const TByteString& Title, TStringList* Body) {
    return InsertLast(P, Title, Body);
}

TTreeNode* TTreeNodes::InsertLast(TTreeNode* Parent, const TByteString& Title, TStringList* Body) {
    if (FCount == std::numeric_limits<int>::max())
        throw EOutOfResources();
    ClearCache();
    std::vector<TTreeNode*>& Siblings = ChildList(Parent);
    // Everything that can fail happens before the outline changes, so a failure leaves
    // no half-inserted entry and the body stays with the caller.
    ReserveOneMore(Siblings);
    TTreeNode* Entry = nullptr;
    try {
        TByteString Text = Title;
        Entry = new (FPool.Allocate()) TTreeNode(this, std::move(Text), Body); // cannot throw
        Entry->FPooled = true;
    } catch (const std::bad_alloc&) {
        throw EOutOfResources();
    } catch (const std::length_error&) {
        throw EOutOfResources();
    }
    const int Row = static_cast<int>(Siblings.size());
    Notify([&](TOutlineObserver& O) { O.EntryAboutToBeInserted(Parent, Row); });
    Entry->FParent = Parent;
    Entry->FIndexInParent = Row;
    Siblings.push_back(Entry);
    ++FCount;
    Notify([&](TOutlineObserver& O) { O.EntryInserted(Entry); });
    if (Parent) {
        Parent->FHasChildren = true;
        Notify([&](TOutlineObserver& O) { O.EntryChanged(Parent); });
    }
    return Entry;
}

void TTreeNodes::SetSelection(TTreeNode* E) {
    if (E == FSelected)
        return;
    if (FSelected)
        FSelected->FSelected = false;
    FSelected = E;
    if (E)
        E->FSelected = true;
    Notify([&](TOutlineObserver& O) { O.SelectionChanged(E); });
}

void TTreeNodes::SelectEntry(TTreeNode* E) {
    if (E && E->FOwner != this)
        return;
    bool AllowChange = true;
    if (OnChanging && !FSilentSelection)
        OnChanging(FSender, E, AllowChange);
    if (!AllowChange)
        return;
    SetSelection(E);
    if (OnChange && !FSilentSelection)
        OnChange(FSender, E);
}

// The selection has to leave entries that are about to be removed, so a refusal cannot
// keep it; it then goes to none. The entry being left is still fully alive meanwhile.
void TTreeNodes::PassSelection(TTreeNode* Candidate) {
    bool AllowChange = true;
    if (OnChanging && !FSilentSelection)
        OnChanging(FSender, Candidate, AllowChange);
    TTreeNode* NewSelection = AllowChange ? Candidate : nullptr;
    SetSelection(NewSelection);
    if (OnChange && !FSilentSelection)
        OnChange(FSender, NewSelection);
}

// Post-order, so that the parent of an entry being reported is still alive; uses no
// memory of its own and no recursion. Top must already be detached from the outline.
void TTreeNodes::ReleaseSubtree(TTreeNode* Top, std::exception_ptr& FirstError) noexcept {
    TTreeNode* N = Top;
    while (!N->FChildren.empty())
        N = N->FChildren.front();
    for (;;) {
        // Every child of N is gone by now: don't let a handler reach them.
        N->FChildren.clear();
        N->FHasChildren = false;
        N->FDeleting = true;
        if (OnDeletion) {
            try {
                OnDeletion(FSender, N);
            } catch (...) {
                if (!FirstError)
                    FirstError = std::current_exception();
            }
        }
        SetExpandedFlag(N, false);
        if (N == Top) {
            delete N;
            return;
        }
        TTreeNode* Parent = N->FParent;
        const std::size_t Next = static_cast<std::size_t>(N->FIndexInParent) + 1;
        delete N;
        if (Next < Parent->FChildren.size()) {
            N = Parent->FChildren[Next];
            while (!N->FChildren.empty())
                N = N->FChildren.front();
        } else {
            N = Parent;
        }
    }
}

// Detaches every entry at once, without passing the selection or telling the observers,
// then releases them all.
void TTreeNodes::ReleaseAll(std::exception_ptr& FirstError) noexcept {
    std::vector<TTreeNode*> Roots;
    Roots.swap(FRoots);
    FCount = 0;
    FSelected = nullptr;
    FDropTarget = nullptr;
    ClearCache();
    for (TTreeNode* Root : Roots)
        ReleaseSubtree(Root, FirstError);
}

void TTreeNodes::Unlink(TTreeNode* E) {
    if (FSelected && FSelected->IsSelfOrDescendantOf(E)) {
        TTreeNode* Candidate = E->GetNextSibling();
        if (!Candidate)
            Candidate = E->GetPrevSibling();
        if (!Candidate)
            Candidate = E->FParent;
        PassSelection(Candidate);
        // A handler that selected into the doomed subtree again loses that selection.
        if (FSelected && FSelected->IsSelfOrDescendantOf(E))
            SetSelection(nullptr);
    }

    ClearCache();
    E->FDeleting = true;
    if (FDropTarget && FDropTarget->IsSelfOrDescendantOf(E))
        FDropTarget = nullptr;
    TTreeNode* Parent = E->FParent;
    const int Row = E->FIndexInParent;
    const int Size = SubtreeSize(E);

    Notify([&](TOutlineObserver& O) { O.EntryAboutToBeRemoved(E); });
    std::vector<TTreeNode*>& Siblings = ChildList(Parent);
    Siblings.erase(Siblings.begin() + Row);
    Renumber(Siblings, static_cast<std::size_t>(Row), Siblings.size(),
             [](TTreeNode* N, int I) { N->FIndexInParent = I; });
    FCount -= Size;
    Notify([&](TOutlineObserver& O) { O.EntryRemoved(Parent, Row); });
    if (Parent && Siblings.empty()) {
        Parent->FHasChildren = false;
        Notify([&](TOutlineObserver& O) { O.EntryChanged(Parent); });
    }
}

void TTreeNodes::DeleteEntry(TTreeNode* E) {
    if (!E || E->FOwner != this || E->FDeleting)
        return;
    Unlink(E);
    std::exception_ptr FirstError;
    ReleaseSubtree(E, FirstError);
    if (FirstError)
        std::rethrow_exception(FirstError);
}

void TTreeNodes::DetachEntry(TTreeNode* E) {
    if (!E || E->FOwner != this || E->FDeleting)
        return;
    Unlink(E);
    // The old parent link stays readable, but nothing of the outline refers to E now.
    E->FParent = nullptr;
}

void TTreeNodes::ReinsertEntry(TTreeNode* E, TTreeNode* Parent, int Row) {
    if (!E || E->FOwner != this || !E->FDeleting || (Parent && (Parent->FOwner != this || Parent->FDeleting)))
        return;
    const int Size = SubtreeSize(E);
    if (Size > std::numeric_limits<int>::max() - FCount)
        throw EOutOfResources();
    std::vector<TTreeNode*>& Siblings = ChildList(Parent);
    ReserveOneMore(Siblings);
    Row = std::clamp(Row, 0, static_cast<int>(Siblings.size()));
    ClearCache();
    // Rows come back collapsed, as a view shows rows it has not seen before.
    for (TTreeNode* N = E; N; N = NextInSubtree(N, E))
        SetExpandedFlag(N, false);
    Notify([&](TOutlineObserver& O) { O.EntryAboutToBeInserted(Parent, Row); });
    E->FDeleting = false;
    E->FParent = Parent;
    Siblings.insert(Siblings.begin() + Row, E); // capacity reserved above: cannot throw
    Renumber(Siblings, static_cast<std::size_t>(Row), Siblings.size(),
             [](TTreeNode* N, int I) { N->FIndexInParent = I; });
    FCount += Size;
    Notify([&](TOutlineObserver& O) { O.EntryInserted(E); });
    if (Parent && !Parent->FHasChildren) {
        Parent->FHasChildren = true;
        Notify([&](TOutlineObserver& O) { O.EntryChanged(Parent); });
    }
}

void TTreeNodes::ReleaseDetached(TTreeNode* E) {
    if (!E || E->FOwner != this || !E->FDeleting || E->FParent)
        return;
    std::exception_ptr FirstError;
    ReleaseSubtree(E, FirstError);
    if (FirstError)
        std::rethrow_exception(FirstError);
}

void TTreeNodes::ClearOutline() {
    if (FRoots.empty())
        return;
    ClearCache();
    if (FSelected)
        PassSelection(nullptr);

    const bool OwnReset = FUpdateCount == 0;
    if (OwnReset)
        for (std::size_t I = 0; I < FObservers.size(); ++I)
            FObservers[I]->OutlineAboutToBeReset();
    // A plain reset of the fields: a handler may have re-selected during the passage, and
    // the observers re-read everything after the reset anyway.
    std::exception_ptr FirstError;
    ReleaseAll(FirstError);
    if (OwnReset)
        for (std::size_t I = 0; I < FObservers.size(); ++I)
            FObservers[I]->OutlineReset();
    if (FirstError)
        std::rethrow_exception(FirstError);
}

TTreeNode* TTreeNodes::EntryAtIndex(int Index) {
    if (Index < 0 || Index >= FCount)
        throw ETreeViewError();
    TTreeNode* Found = nullptr;
    if (FCacheEntry && Index == FCacheIndex)
        Found = FCacheEntry;
    else if (FCacheEntry && Index == FCacheIndex - 1)
        Found = FCacheEntry->GetPrev();
    else if (FCacheEntry && Index == FCacheIndex + 1)
        Found = FCacheEntry->GetNext();
    else {
        Found = GetFirstNode();
        for (int Step = 0; Step < Index && Found; ++Step)
            Found = Found->GetNext();
    }
    if (!Found)
        throw ETreeViewError();
    FCacheEntry = Found;
    FCacheIndex = Index;
    return Found;
}

// Counts the entries before E: for E and each of its ancestors, the subtrees of the
// earlier siblings plus the parent itself. Same result as stepping back one by one.
int TTreeNodes::IndexOfEntry(const TTreeNode* E) const {
    if (E == FCacheEntry)
        return FCacheIndex;
    int Index = 0;
    for (const TTreeNode* N = E; N; N = N->FParent) {
        const std::vector<TTreeNode*>& Siblings = ChildListOf(N->FParent);
        for (int I = 0; I < N->FIndexInParent; ++I)
            Index += SubtreeSize(Siblings[static_cast<std::size_t>(I)]);
        if (N->FParent)
            ++Index;
    }
    return Index;
}

int TTreeNodes::EntryLevel(const TTreeNode* E) noexcept {
    int Level = 0;
    for (const TTreeNode* N = E->Parent(); N; N = N->Parent())
        ++Level;
    return Level;
}

void TTreeNodes::SetEntryTitle(TTreeNode* E, const TByteString& Title) {
    E->FText = Title;
    E->KeepTitleStart();
    Notify([&](TOutlineObserver& O) { O.EntryChanged(E); });
}

void TTreeNodes::ChangeExpansion(TTreeNode* E, bool Expand) {
    if (E->FChildren.empty())
        return;
    // The events fire also when the flag already has the asked value.
    bool Allow = true;
    const TTVExpandingEvent& Before = Expand ? OnExpanding : OnCollapsing;
    if (Before)
        Before(FSender, E, Allow);
    if (!Allow)
        return;
    const TTVExpandedEvent& After = Expand ? OnExpanded : OnCollapsed;
    if (After)
        After(FSender, E);
    if (E->FExpanded == Expand)
        return;
    SetExpandedFlag(E, Expand);
    Notify([&](TOutlineObserver& O) { O.EntryExpandedChanged(E); });
}

void TTreeNodes::ChangeExpansion(TTreeNode* E, bool Expand, bool Recursive) {
    if (!Recursive) {
        ChangeExpansion(E, Expand);
        return;
    }
    for (TTreeNode* N = E; N; N = NextInSubtree(N, E)) {
        if (!Expand && N->FChildren.empty() && N->FExpanded) {
            // Its last child was deleted while it was expanded: a later first child must
            // not show at once. Nothing to see, so no event.
            SetExpandedFlag(N, false);
            Notify([&](TOutlineObserver& O) { O.EntryExpandedChanged(N); });
            continue;
        }
        ChangeExpansion(N, Expand);
    }
}

void TTreeNodes::ExpandEntry(TTreeNode* E, bool Recursive) {
    ChangeExpansion(E, true, Recursive);
}

void TTreeNodes::CollapseEntry(TTreeNode* E, bool Recursive) {
    ChangeExpansion(E, false, Recursive);
}

void TTreeNodes::ChangeAllExpansion(bool Expand) {
    if (FRoots.empty())
        return;
    // The closing call goes out also when a handler fails, so no observer stays in the batch.
    struct TBatch {
        TTreeNodes& Nodes;
        explicit TBatch(TTreeNodes& Owner) : Nodes(Owner) {
            Nodes.Notify([](TOutlineObserver& O) { O.ExpansionAboutToChange(); });
        }
        ~TBatch() {
            Nodes.Notify([](TOutlineObserver& O) { O.ExpansionChanged(); });
        }
        TBatch(const TBatch&) = delete;
        TBatch& operator=(const TBatch&) = delete;
    } Batch(*this);
    for (std::size_t I = 0; I < FRoots.size(); ++I)
        ChangeExpansion(FRoots[I], Expand, true);
}

void TTreeNodes::ExpandAll() {
    ChangeAllExpansion(true);
}

void TTreeNodes::CollapseAll() {
    ChangeAllExpansion(false);
}

void TTreeNodes::MoveEntry(TTreeNode* E, TTreeNode* D, TEntryPlacement Placement) {
    if (!E || E->FOwner != this || (D && D->FOwner != this))
        return;
    if (Placement == epBefore && !D)
        return;
    const TFlagScope Silent(FSilentSelection);
    if (D && D != E && D->IsSelfOrDescendantOf(E))
        return;

    TTreeNode* NewParent = nullptr;
    bool AtEnd = false;
    switch (Placement) {
    case epLast:
        NewParent = D ? D->FParent : nullptr;
        AtEnd = true;
        break;
    case epFirst:
        NewParent = D ? D->FParent : nullptr;
        break;
    case epLastChild:
        NewParent = D;
        AtEnd = true;
        break;
    case epFirstChild:
        NewParent = D;
        break;
    case epBefore:
        NewParent = D->FParent;
        break;
    }
    if (NewParent == E)
        return;

    TTreeNode* OldParent = E->FParent;
    const int Row = E->FIndexInParent;
    std::vector<TTreeNode*>& From = ChildList(OldParent);
    std::vector<TTreeNode*>& To = ChildList(NewParent);
    const bool SameList = &From == &To;
    // The destination row in the numbering before E leaves, as beginMoveRows wants it.
    int DestRow = 0;
    if (Placement == epBefore)
        DestRow = D->FIndexInParent;
    else if (AtEnd)
        DestRow = static_cast<int>(To.size());
    const bool Stays = SameList && (DestRow == Row || DestRow == Row + 1);
    if (!SameList)
        ReserveOneMore(To);

    ClearCache();
    const bool OldMarked = OldParent && OldParent->FHasChildren;
    const bool OldExpanded = OldParent && OldParent->FExpanded;
    const bool NewMarked = NewParent && NewParent->FHasChildren;
    const bool NewExpanded = NewParent && NewParent->FExpanded;
    if (OldParent && From.size() == 1) {
        SetExpandedFlag(OldParent, false);
        OldParent->FHasChildren = false;
    }

    if (!Stays) {
        Notify([&](TOutlineObserver& O) { O.EntryAboutToBeMoved(E, NewParent, DestRow); });
        auto SetIndex = [](TTreeNode* N, int I) { N->FIndexInParent = I; };
        const auto At = [](std::vector<TTreeNode*>& List, int I) { return List.begin() + I; };
        if (SameList) {
            const int Target = DestRow > Row ? DestRow - 1 : DestRow;
            if (Target < Row)
                std::rotate(At(From, Target), At(From, Row), At(From, Row + 1));
            else
                std::rotate(At(From, Row), At(From, Row + 1), At(From, Target + 1));
            Renumber(From, static_cast<std::size_t>(std::min(Row, Target)),
                     static_cast<std::size_t>(std::max(Row, Target)) + 1, SetIndex);
        } else {
            From.erase(At(From, Row));
            Renumber(From, static_cast<std::size_t>(Row), From.size(), SetIndex);
            To.insert(At(To, DestRow), E); // capacity reserved above: cannot throw
            Renumber(To, static_cast<std::size_t>(DestRow), To.size(), SetIndex);
            E->FParent = NewParent;
        }
        Notify([&](TOutlineObserver& O) { O.EntryMoved(E); });
    }

    for (TTreeNode* N = E; N; N = NextInSubtree(N, E)) {
        if (N->FExpanded) {
            SetExpandedFlag(N, false);
            Notify([&](TOutlineObserver& O) { O.EntryExpandedChanged(N); });
        }
    }
    if (NewParent) {
        NewParent->FHasChildren = true;
        SetExpandedFlag(NewParent, true);
    }
    if (OldParent && OldParent != NewParent) {
        if (OldParent->FHasChildren != OldMarked)
            Notify([&](TOutlineObserver& O) { O.EntryChanged(OldParent); });
        if (OldParent->FExpanded != OldExpanded)
            Notify([&](TOutlineObserver& O) { O.EntryExpandedChanged(OldParent); });
    }
    if (NewParent) {
        const bool WasMarked = NewParent == OldParent ? OldMarked : NewMarked;
        const bool WasExpanded = NewParent == OldParent ? OldExpanded : NewExpanded;
        if (NewParent->FHasChildren != WasMarked)
            Notify([&](TOutlineObserver& O) { O.EntryChanged(NewParent); });
        if (NewParent->FExpanded != WasExpanded)
            Notify([&](TOutlineObserver& O) { O.EntryExpandedChanged(NewParent); });
    }
}

void TTreeNodes::SetDropTarget(TTreeNode* E) {
    if (E == FDropTarget || (E && E->FOwner != this))
        return;
    TTreeNode* Old = FDropTarget;
    if (Old)
        Old->FDropTarget = false;
    FDropTarget = E;
    if (E)
        E->FDropTarget = true;
    if (Old)
        Notify([&](TOutlineObserver& O) { O.EntryChanged(Old); });
    if (E)
        Notify([&](TOutlineObserver& O) { O.EntryChanged(E); });
}

void TTreeNodes::BeginUpdate() {
    if (FUpdateCount++ == 0)
        for (std::size_t I = 0; I < FObservers.size(); ++I)
            FObservers[I]->OutlineAboutToBeReset();
}

void TTreeNodes::EndUpdate() {
    if (FUpdateCount == 0)
        return;
    if (--FUpdateCount != 0)
        return;
    for (std::size_t I = 0; I < FObservers.size(); ++I)
        FObservers[I]->OutlineReset();
    if (FSelected)
        Notify([&](TOutlineObserver& O) { O.SelectionChanged(FSelected); });
}

void TTreeNodes::AddObserver(TOutlineObserver* Observer) {
    if (Observer && std::find(FObservers.begin(), FObservers.end(), Observer) == FObservers.end())
        FObservers.push_back(Observer);
}

void TTreeNodes::RemoveObserver(TOutlineObserver* Observer) {
    FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), Observer), FObservers.end());
}
