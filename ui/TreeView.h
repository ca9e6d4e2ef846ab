#pragma once
// TTreeView: the outline's tree view. It owns the outline (Items()) and shows it through
// TOutlineModel.
//
// The outline decides; the view follows. Every selection change, by mouse, keyboard or
// program, goes through Items().SelectEntry (OnChanging, which may refuse, then OnChange),
// and the view's current item and highlight follow the outline's SelectionChanged only.
// Expanding and collapsing by the user go through Items().ExpandEntry / CollapseEntry,
// so the expansion events fire once per entry; the view shows the entries' flags.
//
// Look: lines, expand buttons and root lines; indent 40; titles read-only; no tooltips;
// the selection stays highlighted without the focus; the drop target is highlighted.
//
// Mouse: a left click selects the entry whose title (or the space right of it) was
// pressed, when the button is released without a drag; a press on an expand button
// toggles it. Pressing on a row and moving the pointer drags the entry (TTreeDrag):
// OnDragOver and OnDragDrop decide where it may go; the view moves nothing itself.
// Drops from outside (system drag and drop) are never accepted.
#include "HitZones.h"
#include "Object.h"
#include "TreeDrag.h"
#include "TreeNodes.h"

#include <QElapsedTimer>
#include <QTreeView>

#include <memory>
#include <vector>

class TOutlineModel;

class TTreeView : public QTreeView, public TObject, private TOutlineObserver, private TDragHost {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* Parent = nullptr);
    ~TTreeView() override;

    // The outline; its events pass this view as Sender.
    TTreeNodes& Items() noexcept { return FItems; }
    TOutlineModel* Model() const noexcept { return FModel; }

    QModelIndex IndexOf(const TTreeNode* Entry) const;

    // Hit testing, in client (viewport) coordinates. The client area is the viewport: the
    // frame and the scroll bars lie outside it (hzAbove, hzBelow, hzToLeft, hzToRight,
    // one or two of them). Inside it a point is below the last row (hzNowhere) or in a
    // row: in the indentation (hzOnIndent), in the entry's own button cell (hzOnButton
    // when the entry shows a button, which is where a click toggles it; hzOnIndent for an
    // entry without children), on the title text as drawn (hzOnLabel) or right of it
    // (hzOnRight). The tree has no icons, so hzOnEntry, hzOnIcon and hzOnStateIcon do
    // not occur. Never empty.
    TTreeHitZones HitZonesAt(int X, int Y) const;
    // The entry whose row contains the point, indentation and the space right of the
    // title included; nullptr below the last row and outside the client area.
    TTreeNode* EntryAt(int X, int Y) const;
    TTreeNode* EntryAt(const QPoint& Point) const { return EntryAt(Point.x(), Point.y()); }
    // The expand-button cell of Entry's row (viewport coordinates); empty when not shown.
    QRect ButtonRect(const TTreeNode* Entry) const;
    // The box of Entry's title text as drawn (viewport coordinates); empty when not shown.
    QRect LabelRect(const TTreeNode* Entry) const;
    // Space drawn on either side of a title inside its box.
    static constexpr int TitlePadding = 2;

    // The drag in progress, if any.
    const TTreeDrag& Drag() const noexcept { return *FDrag; }

    // Raised during a drag of one of this tree's entries, with this tree as Sender and
    // Source. Without OnDragOver nothing is accepted.
    TDragOverEvent OnDragOver;
    TDragDropEvent OnDragDrop;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyboardSearch(const QString& Search) override;
    void drawBranches(QPainter* Painter, const QRect& Rect, const QModelIndex& Index) const override;
    bool viewportEvent(QEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void rowsAboutToBeRemoved(const QModelIndex& Parent, int Start, int End) override;

private:
    QWidget* DragControl() const override { return const_cast<TTreeView*>(this); }
    QWidget* DragClient() const override { return viewport(); }
    TTreeNodes& DragItems() override { return FItems; }
    TTreeNode* DragEntryAt(const QPoint& Point) const override { return EntryAt(Point); }
    void DragSelect(TTreeNode* Entry) override { SelectByUser(Entry); }
    QPixmap DragPicture() const override;
    bool DragOverAt(const QPoint& Point, TDragState State) override;
    void DragDropAt(const QPoint& Point) override;

    void EntryAboutToBeInserted(TTreeNode*, int) override {}
    void EntryInserted(TTreeNode*) override {}
    void EntryAboutToBeRemoved(TTreeNode*) override {}
    void EntryRemoved(TTreeNode*, int) override {}
    void EntryAboutToBeMoved(TTreeNode*, TTreeNode*, int) override {}
    void EntryMoved(TTreeNode*) override {}
    void OutlineAboutToBeReset() override {}
    void OutlineReset() override {}
    void EntryChanged(TTreeNode* Entry) override;
    void EntryExpandedChanged(TTreeNode* Entry) override;
    void SelectionChanged(TTreeNode* Entry) override;
    void ExpansionAboutToChange() override;
    void ExpansionChanged() override;

    // Asks the outline to select Entry; the view then shows what the outline decided.
    void SelectByUser(TTreeNode* Entry);
    // Asks the outline to expand or collapse Entry. A collapse that hides the selection
    // moves it to Entry, as a classic tree control does.
    void ToggleByUser(TTreeNode* Entry, bool Expand, bool Recursive);
    bool HandleKey(QKeyEvent* Event);
    // The row that shows Entry: Entry itself, or the outermost collapsed entry hiding it.
    static TTreeNode* ShownRowOf(TTreeNode* Entry) noexcept;
    // The row below Row, the first row after the last; Row must be shown.
    TTreeNode* NextShownRow(const TTreeNode* Row) const noexcept;
    // Asks the memory for the rows that come after Row among its siblings.
    void FetchAhead(const TTreeNode* Row) const noexcept;

    // Shows the outline's selection.
    void SyncSelection();
    // Shows Entry's expanded flag; the relayout is deferred, so runs of changes cost one layout.
    void SyncExpanded(const TTreeNode* Entry);
    void SyncSubtree(const TTreeNode* Entry);
    void SyncAll();
    // Shows the whole tree's flags in one step, after ExpandAll or CollapseAll.
    void SyncWholeTree();
    // Builds the view's row list from the flags (Rows) and lists in FWanted the entries
    // with children shown expanded, hidden ones included (Wanted), in one pass. With
    // RecordStays the rows follow the record for childless entries that it may still hold.
    void WalkOutline(bool Rows, bool Wanted, bool RecordStays);
    // QTreeView's record of expanded entries: emptied; joined by Entries (with their
    // persistent indexes kept in FRecorded); made from FWanted alone.
    void ClearRecord();
    void JoinRecord(const std::vector<const TTreeNode*>& Entries);
    void RemakeRecord();
    // Scrolls so that Entry, or its highest collapsed ancestor when it is hidden, is the top row.
    void KeepAtTop(const TTreeNode* Entry);
    void ApplyPalette();

    // Adds, removals and moves of rows would make QTreeView lay out every shown row again
    // (all top-level rows at least). Where the change is simple (rows without children of
    // their own coming, any rows going, one row moving, no layout pending anyway) the view's
    // row list is changed in place instead, and the full layout is called off.
    struct TRowPatch;
    void PlanRemoval(const QModelIndex& Parent, int Start, int End);
    void PatchInserted(const QModelIndex& Parent, int Start, int End);
    void PatchRemoved();
    void PlanMove(const QModelIndex& From, int Start, int End);
    void PatchMoved(TTreeNode* NewParent);
    void ShiftRows(int ParentItem, int FirstItem, int FromRow, int By);

    TTreeNodes FItems;
    TOutlineModel* FModel;
    bool FSelecting = false;      // the view's selection model accepts changes only while set
    bool FResetting = false;      // between the model's reset signals
    bool FSwallowRelease = false; // the press went to an expand button
    bool FApplyingPalette = false;
    bool FExpansionBatch = false;            // between ExpansionAboutToChange and ExpansionChanged
    bool FBatchDisturbed = false;            // the batch changed the structure too
    std::vector<const TTreeNode*> FTurnedOn; // entries with children the batch expanded
    std::size_t FTurnedOff = 0;              // and collapsed
    const TTreeNode* FTopEntry = nullptr;    // the top row's entry when the batch began
    QString FSearch;
    QElapsedTimer FSearchTimer;
    TTreeDrag* FDrag; // a QObject child; ended first in the destructor
    std::unique_ptr<TRowPatch> FRowPatch;
    int FDirectExpansions = 0; // expansion changes applied at once in this turn of the event loop
    // The persistent indexes of the whole-tree records since the last clear, in the order
    // they were made (those the record gave up since stay alive until then), and the lists
    // used while recording (kept for their capacity: fresh memory costs more).
    std::vector<QPersistentModelIndex> FRecorded;
    std::vector<QPersistentModelIndex> FPrevious;
    std::vector<const TTreeNode*> FWanted;
};
