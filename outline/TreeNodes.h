#pragma once
// The outline: an ordered forest of entries with titles and body references.
//
// Plain C++; the window's tree view is one observer of it among others. No operation
// recurses to the depth of the tree, so a chain of a million entries is fine.
#include "ByteString.h"
#include "NodePool.h"
#include "Object.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <new>
#include <vector>

class TStringList; // an entry's body; the outline stores the pointer and never touches it
class TTreeNodes;

// One entry of the outline. Owned by its TTreeNodes; live from the add that creates it
// until a delete or clear removes it. A move keeps it alive.
class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;
    // Entries made by the outline live in its TNodePool; deleting one gives its slot back
    // there (any other goes back to the heap).
    static void operator delete(TTreeNode* Node, std::destroying_delete_t) noexcept;

    const TByteString& Text() const noexcept { return FText; }
    // The title's first two bytes (fewer for a shorter title), kept in the entry itself: a
    // pass over many entries that looks only at how their titles begin need not reach them.
    TByteView TitleStart() const noexcept { return TByteView(FTitleStart, FText.size() < 2 ? FText.size() : 2); }
    TStringList* Data() const noexcept { return FData; }
    TTreeNode* Parent() const noexcept { return FParent; }
    TTreeNodes* Owner() const noexcept { return FOwner; }

    // Children in order. Count, and the child at a position (0-based).
    int Count() const noexcept { return static_cast<int>(FChildren.size()); }
    TTreeNode* Item(int Index) const noexcept { return FChildren[static_cast<std::size_t>(Index)]; }
    // Position among the parent's children (or among the top-level entries).
    int IndexInParent() const noexcept { return FIndexInParent; }

    bool HasChildren() const noexcept { return FHasChildren; } // the expand-button mark
    bool Expanded() const noexcept { return FExpanded; }
    bool Selected() const noexcept { return FSelected; }
    bool DropTarget() const noexcept { return FDropTarget; }

    // Pre-order neighbours over the whole outline; nullptr at either end.
    TTreeNode* GetNext() const noexcept;
    TTreeNode* GetPrev() const noexcept;
    TTreeNode* GetNextSibling() const noexcept;
    TTreeNode* GetPrevSibling() const noexcept;

    // True when this entry is Other or lies in Other's subtree.
    bool IsSelfOrDescendantOf(const TTreeNode* Other) const noexcept;

private:
    friend class TTreeNodes;
    TTreeNode(TTreeNodes* Owner, TByteString Text, TStringList* Data) noexcept;
    ~TTreeNode() = default;
    // The entry at Index among this entry's siblings (itself included), or nullptr.
    TTreeNode* SiblingAt(int Index) const noexcept;
    void KeepTitleStart() noexcept;

    TTreeNodes* FOwner;
    TTreeNode* FParent = nullptr;
    std::vector<TTreeNode*> FChildren;
    TByteString FText;
    TStringList* FData;
    int FIndexInParent = 0;
    // Flags in one byte: a million entries are in memory at once.
    bool FHasChildren : 1 = false;
    bool FExpanded : 1 = false;
    bool FSelected : 1 = false;
    bool FDropTarget : 1 = false;
    bool FDeleting : 1 = false;
    bool FPooled : 1 = false; // the slot belongs to FOwner's pool
    char FTitleStart[2];      // in the padding after the flags
};

// Where MoveEntry puts an entry relative to the destination D.
enum class TEntryPlacement {
    epLast,       // last child of D's parent (top level when D is absent or top-level)
    epFirst,      // first child of D's parent
    epLastChild,  // last child of D (top level when D is absent)
    epFirstChild, // first child of D
    epBefore      // immediately before D, under D's parent
};
using enum TEntryPlacement;

// Structural observers, for views. Each change comes as an "about to" / "done" pair;
// positions are rows among a parent's children, parent nullptr meaning the top level.
// Observers must not change the outline from these calls.
class TOutlineObserver {
public:
    virtual ~TOutlineObserver() = default;
    // Entry will be inserted at Row under Parent.
    virtual void EntryAboutToBeInserted(TTreeNode* Parent, int Row) = 0;
    virtual void EntryInserted(TTreeNode* Entry) = 0;
    // Entry, still linked at its place, will be removed with its subtree.
    virtual void EntryAboutToBeRemoved(TTreeNode* Entry) = 0;
    virtual void EntryRemoved(TTreeNode* Parent, int Row) = 0;
    // Entry will leave its place and go under NewParent; DestRow counts rows of NewParent
    // before the move (QAbstractItemModel::beginMoveRows' destinationChild). Not sent when
    // the move leaves Entry at its row; the flag changes below are sent either way.
    virtual void EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode* NewParent, int DestRow) = 0;
    virtual void EntryMoved(TTreeNode* Entry) = 0;
    // Anything may change in between: clear, and batches under BeginUpdate/EndUpdate.
    // After OutlineReset re-read everything (structure, expanded flags, drop target);
    // when there is a selection, SelectionChanged follows the reset.
    virtual void OutlineAboutToBeReset() = 0;
    virtual void OutlineReset() = 0;
    // Title, has-children mark or drop highlight of Entry changed.
    virtual void EntryChanged(TTreeNode* Entry) = 0;
    // Entry's expanded flag changed (not sent inside a reset). After EntryMoved it comes
    // for every entry of the moved subtree that the move collapsed, hidden ones included,
    // and for the old and new parent when their flags changed.
    virtual void EntryExpandedChanged(TTreeNode* Entry) = 0;
    // The selection became Entry (nullptr: none).
    virtual void SelectionChanged(TTreeNode* Entry) = 0;
    // ExpandAll and CollapseAll run between this pair; an observer may take the
    // EntryExpandedChanged calls in between as one change of the whole tree. Never nested.
    virtual void ExpansionAboutToChange() {}
    virtual void ExpansionChanged() {}
};

using TTVChangingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVExpandingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& Allow)>;
using TTVExpandedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;

// The outline. Owns its entries; never owns, copies or releases a body: a body leaves
// with its entry through OnDeletion, which fires exactly once for every entry that
// leaves the outline, while its title and body can still be read.
//
// Notifications run synchronously inside the operation that raises them. Errors thrown
// by a handler pass to the caller.
class TTreeNodes {
public:
    explicit TTreeNodes(TObject* Sender = nullptr);
    // Fires OnDeletion for every entry still there (so no body is left behind), but no
    // selection or observer notification; a handler that cannot run by then must be reset.
    ~TTreeNodes();
    TTreeNodes(const TTreeNodes&) = delete;
    TTreeNodes& operator=(const TTreeNodes&) = delete;

    // New entry after the last sibling of S (top level when S is none or top-level).
    // Fires no event; observers get the insert pair and EntryChanged for the parent.
    // Throws EOutOfResources, and then the outline is unchanged and Body still the caller's.
    TTreeNode* AppendSibling(TTreeNode* S, const TByteString& Title, TStringList* Body = nullptr);
    // New entry as the last child of P (top level when P is none).
    TTreeNode* AppendChild(TTreeNode* P, const TByteString& Title, TStringList* Body = nullptr);
    // Removes E and its subtree. If the selection lies there it first passes, through
    // OnChanging and OnChange, to E's next sibling, else its previous sibling, else its
    // parent, else none; a refusal in OnChanging makes it none. Then OnDeletion fires once
    // per removed entry, children before their parent. An error thrown by OnChanging or
    // OnChange leaves everything in place; one thrown by OnDeletion is passed on after
    // every entry of the subtree has been removed and notified.
    void DeleteEntry(TTreeNode* E);
    // Takes E with its subtree out of the outline, keeping them alive: the selection passes
    // as in DeleteEntry, observers get the remove pair, and no OnDeletion fires. The
    // caller then holds the subtree until ReinsertEntry puts it back or ReleaseDetached
    // releases it. Costs the subtree's size and E's later siblings, not the outline's.
    void DetachEntry(TTreeNode* E);
    // Puts a detached E back as child Row of Parent (the top level for nullptr), Row
    // clamped to the children there. Observers get the insert pair for E; the subtree
    // comes back collapsed. Throws EOutOfResources with nothing changed.
    void ReinsertEntry(TTreeNode* E, TTreeNode* Parent, int Row);
    // Releases a detached E with its subtree: OnDeletion once per entry, as DeleteEntry.
    void ReleaseDetached(TTreeNode* E);

    // Passes the selection to none (OnChanging, OnChange), then removes every entry with
    // one OnDeletion each; observers get one reset. Nothing fires on an empty outline.
    void ClearOutline();

    int EntryCount() const noexcept { return FCount; }
    // Throws ETreeViewError for an index below 0 or not below EntryCount.
    TTreeNode* EntryAtIndex(int Index);
    int IndexOfEntry(const TTreeNode* E) const;
    static int EntryLevel(const TTreeNode* E) noexcept;
    static TTreeNode* ParentEntry(const TTreeNode* E) noexcept { return E->Parent(); }

    static const TByteString& EntryTitle(const TTreeNode* E) noexcept { return E->Text(); }
    void SetEntryTitle(TTreeNode* E, const TByteString& Title);
    static TStringList* EntryBody(const TTreeNode* E) noexcept { return E->Data(); }
    static void SetEntryBody(TTreeNode* E, TStringList* Body) noexcept { E->FData = Body; }

    TTreeNode* SelectedEntry() const noexcept { return FSelected; }
    // Makes E (or none) the selection through OnChanging and OnChange; fires them also
    // when E is already selected.
    void SelectEntry(TTreeNode* E);

    // For an entry with children OnExpanding (OnCollapsing) and, unless refused,
    // OnExpanded (OnCollapsed) fire whatever its present state; an entry without children
    // fires nothing. Recursive: the same for every entry of E's subtree, in pre-order; a
    // recursive collapse also clears the flag of an entry left childless while expanded.
    void ExpandEntry(TTreeNode* E, bool Recursive);
    void CollapseEntry(TTreeNode* E, bool Recursive);
    // Each top-level entry recursively, between ExpansionAboutToChange and ExpansionChanged.
    void ExpandAll();
    void CollapseAll();
    // False only when no entry has its expanded flag set (entries taken out by DetachEntry
    // and not yet back or released may count), so a view can skip a walk of every entry.
    bool AnyExpanded() const noexcept { return FExpandedCount > 0; }

    // Moves E with its subtree; see TEntryPlacement. No deletion, selection or expansion
    // event; the selection stays. Nothing happens when D lies below E, when a child
    // placement names E itself, or for epBefore without D. Every entry of the moved
    // subtree ends collapsed; E's new parent is marked and expanded, its old parent, if
    // left childless, unmarked and collapsed. Throws EOutOfResources with nothing moved.
    void MoveEntry(TTreeNode* E, TTreeNode* D, TEntryPlacement Placement);

    // At most one entry is drop-highlighted; nullptr removes the highlight.
    void SetDropTarget(TTreeNode* E);
    TTreeNode* DropTarget() const noexcept { return FDropTarget; }

    // Top-level entries.
    int TopCount() const noexcept { return static_cast<int>(FRoots.size()); }
    TTreeNode* TopItem(int Index) const noexcept { return FRoots[static_cast<std::size_t>(Index)]; }
    TTreeNode* GetFirstNode() const noexcept { return FRoots.empty() ? nullptr : FRoots.front(); }

    // Batches many changes into one reset for the observers (loading a file).
    // Nested calls count; the reset pair goes out on the outermost pair.
    void BeginUpdate();
    void EndUpdate();

    void AddObserver(TOutlineObserver* Observer);
    void RemoveObserver(TOutlineObserver* Observer);

    TTVChangingEvent OnChanging;
    TTVChangedEvent OnChange;
    TTVChangedEvent OnDeletion;
    TTVExpandingEvent OnExpanding;
    TTVExpandedEvent OnExpanded;
    TTVExpandingEvent OnCollapsing;
    TTVExpandedEvent OnCollapsed;

private:
    std::vector<TTreeNode*>& ChildList(TTreeNode* Parent) noexcept { return Parent ? Parent->FChildren : FRoots; }
    const std::vector<TTreeNode*>& ChildListOf(const TTreeNode* Parent) const noexcept {
        return Parent ? Parent->FChildren : FRoots;
    }
    TTreeNode* InsertLast(TTreeNode* Parent, const TByteString& Title, TStringList* Body);
    void ClearCache() noexcept;
    void SetSelection(TTreeNode* E);
    void PassSelection(TTreeNode* Candidate);
    // The selection leaves E's subtree; then E is unlinked (remove pair for observers).
    void Unlink(TTreeNode* E);
    void ReleaseSubtree(TTreeNode* Top, std::exception_ptr& FirstError) noexcept;
    void ReleaseAll(std::exception_ptr& FirstError) noexcept;
    void ChangeExpansion(TTreeNode* E, bool Expand);
    void ChangeExpansion(TTreeNode* E, bool Expand, bool Recursive);
    void ChangeAllExpansion(bool Expand);
    // Every change of an entry's expanded flag goes through here, to keep the count.
    void SetExpandedFlag(TTreeNode* N, bool Expanded) noexcept;
    template <class TCall> void Notify(TCall&& Call);

    friend class TTreeNode;
    // Implementation details are the outline's own.
    TNodePool FPool{sizeof(TTreeNode)}; // the entries; every one is released in the destructor body
    std::vector<TTreeNode*> FRoots;
    int FCount = 0;
    int FExpandedCount = 0; // entries with the expanded flag, detached ones included
    TTreeNode* FSelected = nullptr;
    TTreeNode* FDropTarget = nullptr;
    TTreeNode* FCacheEntry = nullptr;
    int FCacheIndex = -1;
    int FUpdateCount = 0;
    bool FSilentSelection = false;
    TObject* FSender;
    std::vector<TOutlineObserver*> FObservers;
};

// Holds the outline in one BeginUpdate/EndUpdate batch for its lifetime, also when the
// work inside fails.
class TTreeNodesUpdate {
public:
    explicit TTreeNodesUpdate(TTreeNodes& Nodes) : FNodes(Nodes) { FNodes.BeginUpdate(); }
    ~TTreeNodesUpdate() { FNodes.EndUpdate(); }
    TTreeNodesUpdate(const TTreeNodesUpdate&) = delete;
    TTreeNodesUpdate& operator=(const TTreeNodesUpdate&) = delete;

private:
    TTreeNodes& FNodes;
};
