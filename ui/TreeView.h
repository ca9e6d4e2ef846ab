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
#include "Object.h"
#include "TreeNodes.h"

#include <QElapsedTimer>
#include <QTreeView>

class TOutlineModel;

class TTreeView : public QTreeView, public TObject, private TOutlineObserver {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* Parent = nullptr);
    ~TTreeView() override;

    // The outline; its events pass this view as Sender.
    TTreeNodes& Items() noexcept { return FItems; }
    TOutlineModel* Model() const noexcept { return FModel; }

    QModelIndex IndexOf(const TTreeNode* Entry) const;
    // The entry whose row lies under Point (viewport coordinates) right of its indentation,
    // or nullptr.
    TTreeNode* EntryAt(const QPoint& Point) const;
    // The expand-button cell of Entry's row (viewport coordinates); empty when not shown.
    QRect ButtonRect(const TTreeNode* Entry) const;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyboardSearch(const QString& Search) override;
    void drawBranches(QPainter* Painter, const QRect& Rect, const QModelIndex& Index) const override;
    bool viewportEvent(QEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    void EntryAboutToBeInserted(TTreeNode*, int) override {}
    void EntryInserted(TTreeNode*) override {}
    void EntryAboutToBeRemoved(TTreeNode*) override {}
    void EntryRemoved(TTreeNode*, int) override {}
    void EntryAboutToBeMoved(TTreeNode*, TTreeNode*, int) override {}
    void EntryMoved(TTreeNode*) override {}
    void OutlineAboutToBeReset() override {}
    void OutlineReset() override {}
    void EntryChanged(TTreeNode*) override {}
    void EntryExpandedChanged(TTreeNode* Entry) override;
    void SelectionChanged(TTreeNode* Entry) override;

    // Asks the outline to select Entry; the view then shows what the outline decided.
    void SelectByUser(TTreeNode* Entry);
    // Asks the outline to expand or collapse Entry. A collapse that hides the selection
    // moves it to Entry, as a classic tree control does.
    void ToggleByUser(TTreeNode* Entry, bool Expand, bool Recursive);
    bool HandleKey(QKeyEvent* Event);

    // Shows the outline's selection.
    void SyncSelection();
    // Shows Entry's expanded flag; the relayout is deferred, so runs of changes cost one layout.
    void SyncExpanded(const TTreeNode* Entry);
    void SyncSubtree(const TTreeNode* Entry);
    void SyncAll();
    void ApplyPalette();

    TTreeNodes FItems;
    TOutlineModel* FModel;
    bool FSelecting = false;      // the view's selection model accepts changes only while set
    bool FResetting = false;      // between the model's reset signals
    bool FSwallowRelease = false; // the press went to an expand button
    bool FApplyingPalette = false;
    QString FSearch;
    QElapsedTimer FSearchTimer;
};
