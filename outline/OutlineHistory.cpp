#include "OutlineHistory.h"

#include <utility>

namespace {

// Rough bookkeeping of an entry's own memory besides its title and body.
constexpr std::size_t EntryOverhead = 64;

// Pre-order successor inside Top's subtree; Top itself may be detached.
const TTreeNode* NextBelow(const TTreeNode* N, const TTreeNode* Top) noexcept {
    if (N->Count() > 0)
        return N->Item(0);
    while (N != Top) {
        const TTreeNode* Parent = N->Parent();
        const int Next = N->IndexInParent() + 1;
        if (Next < Parent->Count())
            return Parent->Item(Next);
        N = Parent;
    }
    return nullptr;
}

} // namespace

TOutlineHistory::TOutlineHistory(TTreeNodes& Nodes, TBodyTraits Traits, THistoryLimits Limits)
    : FNodes(Nodes), FTraits(std::move(Traits)), FLimits(Limits) {}

TOutlineHistory::~TOutlineHistory() {
    Clear();
}

std::size_t TOutlineHistory::SubtreeBytes(const TTreeNode* Top) const {
    std::size_t Bytes = 0;
    for (const TTreeNode* N = Top; N; N = NextBelow(N, Top))
        Bytes += EntryOverhead + N->Text().size() + (FTraits.Size ? FTraits.Size(N->Data()) : 0);
    return Bytes;
}

void TOutlineHistory::RecordAdd(TTreeNode* Entry) {
    Push({TStepKind::skAdd,
          Entry,
          Entry->Parent(),
          Entry->IndexInParent(),
          false,
          {},
          nullptr,
          EntryOverhead + Entry->Text().size()});
}

void TOutlineHistory::DeleteEntry(TTreeNode* Entry) {
    if (Entry == nullptr || Entry->Owner() != &FNodes)
        return;
    TTreeNode* Parent = Entry->Parent();
    const int Row = Entry->IndexInParent();
    const std::size_t Bytes = SubtreeBytes(Entry);
    FNodes.DetachEntry(Entry);
    Push({TStepKind::skDelete, Entry, Parent, Row, true, {}, nullptr, Bytes});
}

void TOutlineHistory::RecordCommit(TTreeNode* Entry, const TByteString& OldTitle, TStringList* OldBody) {
    const bool TitleOnly = OldBody == Entry->Data();
    if (TitleOnly)
        OldBody = nullptr;
    const std::size_t Bytes = EntryOverhead + OldTitle.size() + (FTraits.Size ? FTraits.Size(OldBody) : 0);
    Push({TStepKind::skCommit, Entry, nullptr, 0, false, OldTitle, OldBody, Bytes, TitleOnly});
}

void TOutlineHistory::RecordMove(TTreeNode* Entry, TTreeNode* OldParent, int OldRow) {
    if (Entry->Parent() == OldParent && Entry->IndexInParent() == OldRow)
        return;
    Push({TStepKind::skMove, Entry, OldParent, OldRow, false, {}, nullptr, EntryOverhead});
}

TTreeNode* TOutlineHistory::Undo() {
    if (FUndo.empty())
        return nullptr;
    TTreeNode* Shown = Toggle(FUndo.back());
    FRedo.push_back(std::move(FUndo.back()));
    FUndo.pop_back();
    return Shown;
}

TTreeNode* TOutlineHistory::Redo() {
    if (FRedo.empty())
        return nullptr;
    TTreeNode* Shown = Toggle(FRedo.back());
    FUndo.push_back(std::move(FRedo.back()));
    FRedo.pop_back();
    return Shown;
}

// Undoing and redoing a step are the same exchange of two states.
TTreeNode* TOutlineHistory::Toggle(TStep& Step) {
    switch (Step.Kind) {
    case TStepKind::skAdd:
    case TStepKind::skDelete:
        if (Step.Detached) {
            FNodes.ReinsertEntry(Step.Entry, Step.Parent, Step.Row);
            Step.Detached = false;
            return Step.Entry;
        }
        FNodes.DetachEntry(Step.Entry);
        Step.Detached = true;
        return nullptr;
    case TStepKind::skCommit: {
        TByteString Title = Step.Entry->Text();
        FNodes.SetEntryTitle(Step.Entry, Step.OtherTitle);
        Step.OtherTitle = std::move(Title);
        if (!Step.TitleOnly) {
            TStringList* Body = Step.Entry->Data();
            TTreeNodes::SetEntryBody(Step.Entry, Step.OtherBody);
            Step.OtherBody = Body;
        }
        const std::size_t Bytes =
            EntryOverhead + Step.OtherTitle.size() + (FTraits.Size ? FTraits.Size(Step.OtherBody) : 0);
        FBytes = FBytes - Step.Bytes + Bytes;
        Step.Bytes = Bytes;
        return Step.Entry;
    }
    case TStepKind::skMove: {
        TTreeNode* Parent = Step.Entry->Parent();
        const int Row = Step.Entry->IndexInParent();
        MoveTo(Step.Entry, Step.Parent, Step.Row);
        Step.Parent = Parent;
        Step.Row = Row;
        return Step.Entry;
    }
    }
    return nullptr;
}

// Puts Entry at row Row of Parent's children, as counted without Entry.
void TOutlineHistory::MoveTo(TTreeNode* Entry, TTreeNode* Parent, int Row) {
    const bool Inside = Entry->Parent() == Parent;
    const int Count = (Parent ? Parent->Count() : FNodes.TopCount()) - (Inside ? 1 : 0);
    if (Row >= Count) {
        FNodes.MoveEntry(Entry, Parent, epLastChild);
        return;
    }
    int Index = Row;
    if (Inside && Row >= Entry->IndexInParent())
        ++Index;
    FNodes.MoveEntry(Entry, Parent ? Parent->Item(Index) : FNodes.TopItem(Index), epBefore);
}

void TOutlineHistory::Push(TStep Step) {
    DropRedo();
    FBytes += Step.Bytes;
    FUndo.push_back(std::move(Step));
    Trim();
}

void TOutlineHistory::Release(TStep& Step) noexcept {
    try {
        if ((Step.Kind == TStepKind::skAdd || Step.Kind == TStepKind::skDelete) && Step.Detached)
            FNodes.ReleaseDetached(Step.Entry);
        if (Step.OtherBody != nullptr && FTraits.Release)
            FTraits.Release(Step.OtherBody);
    } catch (...) {
        // A failing release handler cannot take back the drop; the rest still goes.
    }
    Step.Detached = false;
    Step.OtherBody = nullptr;
    FBytes -= Step.Bytes;
    Step.Bytes = 0;
}

void TOutlineHistory::DropRedo() noexcept {
    while (!FRedo.empty()) {
        Release(FRedo.back());
        FRedo.pop_back();
    }
}

void TOutlineHistory::Trim() noexcept {
    while (FUndo.size() > FLimits.MaxSteps || (FUndo.size() > FLimits.MinSteps && FBytes > FLimits.MaxBytes)) {
        Release(FUndo.front());
        FUndo.pop_front();
    }
}

void TOutlineHistory::Clear() {
    DropRedo();
    while (!FUndo.empty()) {
        Release(FUndo.back());
        FUndo.pop_back();
    }
}
