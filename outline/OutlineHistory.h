#pragma once
// TOutlineHistory: undo and redo of the outline's edits.
//
// Each step is recorded after its change was made, and knows how to take it back and to
// do it again: an added entry, a deleted subtree (with every title and body), a commit
// (an entry's title and body) and a move. A step costs what its change costs: a subtree
// is kept alive and put back whole, never copied or looked up by absolute index.
//
// Ownership: while a deletion is done, or an addition undone, the step holds the
// detached subtree; a commit step holds the body that is not in the entry at the moment.
// Whatever a dropped step holds is released: subtrees through the outline's
// ReleaseDetached (so OnDeletion releases their bodies), bodies through TBodyTraits.
//
// Steps refer to entries by pointer. That is sound because the history is strictly
// last in, first out and every change of the outline's structure is recorded here: the
// outline is in the state right after a step whenever that step is undone, and right
// before it whenever it is redone. Whoever changes the outline in any other way (load,
// clear) clears the history first.
//
// Bounds: at most MaxSteps steps; beyond MinSteps the oldest steps are also dropped
// while all steps together hold more than MaxBytes of titles and bodies.
#include "ByteString.h"
#include "TreeNodes.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

struct TBodyTraits {
    // Releases a body the history owns.
    std::function<void(TStringList* Body)> Release;
    // Bytes a body holds, for the memory bound (0 for none).
    std::function<std::size_t(const TStringList* Body)> Size;
};

struct THistoryLimits {
    std::size_t MaxSteps = 1000;
    std::size_t MinSteps = 100;
    std::size_t MaxBytes = std::size_t{64} << 20;
};

class TOutlineHistory {
public:
    TOutlineHistory(TTreeNodes& Nodes, TBodyTraits Traits, THistoryLimits Limits = {});
    // Releases everything the steps hold; Nodes must still be alive.
    ~TOutlineHistory();
    TOutlineHistory(const TOutlineHistory&) = delete;
    TOutlineHistory& operator=(const TOutlineHistory&) = delete;

    // Recording. Each drops the steps that could have been redone.
    // Entry has just been added (it has no children yet).
    void RecordAdd(TTreeNode* Entry);
    // Deletes Entry with its subtree (DetachEntry: the selection passes through OnChanging
    // and OnChange) and keeps the subtree for undo.
    void DeleteEntry(TTreeNode* Entry);
    // Entry has just taken a new title and body; OldBody passes to the history. OldBody
    // equal to the entry's body means only the title changed; the body stays the entry's.
    void RecordCommit(TTreeNode* Entry, const TByteString& OldTitle, TStringList* OldBody);
    // Entry has just been moved away from row OldRow of OldParent (nullptr: top level).
    // Nothing is recorded when it is still there.
    void RecordMove(TTreeNode* Entry, TTreeNode* OldParent, int OldRow);

    bool CanUndo() const noexcept { return !FUndo.empty(); }
    bool CanRedo() const noexcept { return !FRedo.empty(); }
    // Take back the last step, or do the last undone one again. Return the entry the
    // step concerns when it is in the outline afterwards (to be shown), else its parent
    // or nullptr. A step whose outline operation fails stays where it was.
    TTreeNode* Undo();
    TTreeNode* Redo();
    // Drops every step, releasing what they hold.
    void Clear();

    std::size_t UndoCount() const noexcept { return FUndo.size(); }
    std::size_t RedoCount() const noexcept { return FRedo.size(); }
    std::size_t HeldBytes() const noexcept { return FBytes; }

private:
    enum class TStepKind { skAdd, skDelete, skCommit, skMove };
    struct TStep {
        TStepKind Kind;
        TTreeNode* Entry;
        // Add and delete: where the entry lives when attached. Move: the other place.
        TTreeNode* Parent;
        int Row;
        // Add and delete: whether the entry is out of the outline (the step owns it).
        bool Detached;
        // Commit: the title and body not in the entry now (the step owns the body).
        TByteString OtherTitle;
        TStringList* OtherBody;
        std::size_t Bytes;
        // Commit of the title alone: the body is not exchanged.
        bool TitleOnly = false;
    };

    void Push(TStep Step);
    TTreeNode* Toggle(TStep& Step);
    void Release(TStep& Step) noexcept;
    void DropRedo() noexcept;
    void Trim() noexcept;
    std::size_t SubtreeBytes(const TTreeNode* Top) const;
    void MoveTo(TTreeNode* Entry, TTreeNode* Parent, int Row);

    TTreeNodes& FNodes;
    TBodyTraits FTraits;
    THistoryLimits FLimits;
    std::deque<TStep> FUndo;
    std::vector<TStep> FRedo;
    std::size_t FBytes = 0;
};
