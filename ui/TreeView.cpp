#include "TreeView.h"

#include "CodePage932.h"
#include "FlagScope.h"

#include "Guard.h"
#include "OutlineModel.h"
#include "Prefetch.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QtCore/private/qabstractitemmodel_p.h>
#include <QtWidgets/private/qtreeview_p.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

// Lets the view's own selection code change nothing: the outline's SelectionChanged is
// the one source of the view's selection. Changes pass only while Open is set.
class TFollowingSelectionModel : public QItemSelectionModel {
public:
    TFollowingSelectionModel(QAbstractItemModel* Model, QObject* Parent, const bool& Open)
        : QItemSelectionModel(Model, Parent), FOpen(Open) {}

    void setCurrentIndex(const QModelIndex& Index, QItemSelectionModel::SelectionFlags Command) override {
        if (FOpen)
            QItemSelectionModel::setCurrentIndex(Index, Command);
    }
    void select(const QModelIndex& Index, QItemSelectionModel::SelectionFlags Command) override {
        if (FOpen)
            QItemSelectionModel::select(Index, Command);
    }
    void select(const QItemSelection& Selection, QItemSelectionModel::SelectionFlags Command) override {
        if (FOpen)
            QItemSelectionModel::select(Selection, Command);
    }
    void clearCurrentIndex() override {
        if (FOpen)
            QItemSelectionModel::clearCurrentIndex();
    }

private:
    const bool& FOpen;
};

// Draws a title the way a classic tree control does: the highlight covers the text only,
// in the active colours also without the focus; the drop target is highlighted too.
class TOutlineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        Guarded([&] {
            QStyleOptionViewItem Item = Option;
            initStyleOption(&Item, Index);
            const TTreeNode* Entry = TOutlineModel::EntryOf(Index);
            // While a drop target is shown it is the one highlighted row, so the user sees
            // where the entry would go rather than where it comes from.
            const bool DropShown = Entry && Entry->Owner()->DropTarget();
            const bool Highlighted =
                (Entry && Entry->DropTarget()) || ((Item.state & QStyle::State_Selected) && !DropShown);
            const int Width = Item.fontMetrics.horizontalAdvance(Item.text) + 2 * TTreeView::TitlePadding;
            const QRect Box(Item.rect.left(), Item.rect.top(), Width, Item.rect.height());
            Painter->save();
            Painter->setClipRect(Item.rect);
            Painter->setFont(Item.font);
            if (Highlighted) {
                Painter->fillRect(Box, Item.palette.color(QPalette::Active, QPalette::Highlight));
                Painter->setPen(Item.palette.color(QPalette::Active, QPalette::HighlightedText));
            } else {
                Painter->setPen(Item.palette.color(QPalette::Active, QPalette::Text));
            }
            Painter->drawText(Box.adjusted(TTreeView::TitlePadding, 0, 0, 0),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, Item.text);
            if ((Item.state & QStyle::State_HasFocus) && Item.widget && Item.widget->hasFocus()) {
                QStyleOptionFocusRect Focus;
                Focus.QStyleOption::operator=(Item);
                Focus.rect = Box;
                Focus.backgroundColor = Item.palette.color(QPalette::Active, QPalette::Highlight);
                const QStyle* Style = Item.widget->style();
                Style->drawPrimitive(QStyle::PE_FrameFocusRect, &Focus, Painter, Item.widget);
            }
            Painter->restore();
        });
    }

    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override {
        QStyleOptionViewItem Item = Option;
        initStyleOption(&Item, Index);
        return {TextWidth(Item) + 2 * TTreeView::TitlePadding, Item.fontMetrics.height() + 3};
    }

private:
    // Qt asks for the widths of the rows around the shown ones after every change; shaping
    // each title again costs more than the change. The widths are kept per text for the
    // font they were measured in.
    int TextWidth(const QStyleOptionViewItem& Item) const {
        if (!FMetrics || !(*FMetrics == Item.fontMetrics)) {
            FWidths.clear();
            FMetrics = Item.fontMetrics;
        }
        if (const auto Found = FWidths.constFind(Item.text); Found != FWidths.cend())
            return *Found;
        if (FWidths.size() >= MaxKeptWidths)
            FWidths.clear();
        const int Width = Item.fontMetrics.horizontalAdvance(Item.text);
        FWidths.insert(Item.text, Width);
        return Width;
    }

    static constexpr qsizetype MaxKeptWidths = 16384;
    mutable std::optional<QFontMetrics> FMetrics;
    mutable QHash<QString, int> FWidths;
};

// Dotted lines one pixel on, one off, aligned to the content so they do not crawl when scrolling.
void DrawDottedV(QPainter* Painter, int X, int Top, int Bottom, int Phase) {
    for (int Y = Top; Y <= Bottom; ++Y)
        if (((Y + Phase) & 1) == 0)
            Painter->drawPoint(X, Y);
}

void DrawDottedH(QPainter* Painter, int Left, int Right, int Y, int Phase) {
    for (int X = Left; X <= Right; ++X)
        if (((X + Y + Phase) & 1) == 0)
            Painter->drawPoint(X, Y);
}

QTreeViewPrivate* PrivateOf(QTreeView* View) {
    return static_cast<QTreeViewPrivate*>(QObjectPrivate::get(View));
}

// The timer of the view's scheduled layout is a private member with no accessor that the
// library exports; an explicit instantiation may name it.
struct TDelayedLayoutTimer {
    using TMember = QBasicTimer QAbstractItemViewPrivate::*;
    friend TMember MemberOf(TDelayedLayoutTimer);
};
template <class TTag, typename TTag::TMember Member> struct TMemberAccess {
    friend typename TTag::TMember MemberOf(TTag) { return Member; }
};
template struct TMemberAccess<TDelayedLayoutTimer, &QAbstractItemViewPrivate::delayedLayout>;

// Calls off the full layout that QTreeView scheduled, once its row list is right again.
void CallOffLayout(QTreeViewPrivate* D) {
    (D->*MemberOf(TDelayedLayoutTimer{})).stop();
    D->delayedPendingLayout = false;
    D->lastViewedItem = 0;
}

// Expansion changes applied to the view at once in one turn of the event loop; beyond
// them one full layout serves the rest (expanding everything).
constexpr int DirectExpansionLimit = 8;

} // namespace

// A removal in progress, as planned before the rows go.
struct TTreeView::TRowPatch {
    bool Inserting = false; // no layout was pending when the rows came
    bool Removing = false;
    bool Moving = false;
    TTreeNode* Moved = nullptr;
    TTreeNode* Before = nullptr; // the moved entry's previous sibling where it was
    bool WasLast = false;        // it had no later sibling there
    QList<QTreeViewItem> Saved;  // the view's rows before the removal (shared, not copied)
    TTreeNode* Parent = nullptr;
    int ParentItem = -1; // the parent's row in the view, -1 for the top level
    int First = 0;       // the view rows removed
    int Count = 0;
    int Start = 0; // the model rows removed
    int End = 0;
};

TTreeView::TTreeView(QWidget* Parent)
    : QTreeView(Parent), FItems(this), FModel(new TOutlineModel(FItems, this)), FDrag(new TTreeDrag(*this, this)),
      FRowPatch(std::make_unique<TRowPatch>()) {
    setModel(FModel);
    setSelectionModel(new TFollowingSelectionModel(FModel, this, FSelecting));
    setItemDelegate(new TOutlineDelegate(this));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setIndentation(40);
    setRootIsDecorated(true);
    // Qt's own expansion paths (button clicks, keys, scrolling to a hidden entry) are
    // closed: expansion goes through the outline.
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setTextElideMode(Qt::ElideNone);
    // The column is as wide as the widest title Qt measures around the shown rows, so a
    // horizontal scroll bar appears when a title is wider than the view.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAnimated(false);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // Entries are dragged by TTreeDrag inside the application; nothing is dropped from outside.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    ApplyPalette();

    // Structure comes through the model; the view's own follow-ups run after Qt's, so the
    // indexes they use are already valid.
    connect(FModel, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        FResetting = true;
        FBatchDisturbed = FExpansionBatch;
    });
    connect(FModel, &QAbstractItemModel::modelReset, this, [this] {
        FResetting = false;
        FRecorded.clear(); // invalid by now, as every persistent index
        Guarded([this] {
            SyncAll();
            // A reloaded outline starts at its first entry, not at the old one's offset.
            verticalScrollBar()->setValue(0);
            horizontalScrollBar()->setValue(0);
        });
    });
    connect(FModel, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex&, int, int) {
        FBatchDisturbed = FBatchDisturbed || FExpansionBatch;
        FRowPatch->Inserting = !FResetting && !PrivateOf(this)->delayedPendingLayout;
    });
    connect(FModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& Under, int Start, int End) {
        Guarded([&] {
            if (FRowPatch->Inserting)
                PatchInserted(Under, Start, End);
            SyncExpanded(TOutlineModel::EntryOf(Under));
        });
    });
    connect(FModel, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex& Under, int, int) {
        Guarded([&] {
            if (FRowPatch->Removing)
                PatchRemoved();
            SyncExpanded(TOutlineModel::EntryOf(Under));
        });
    });
    connect(FModel, &QAbstractItemModel::rowsAboutToBeMoved, this,
            [this](const QModelIndex& From, int Start, int End, const QModelIndex&, int) {
                FBatchDisturbed = FBatchDisturbed || FExpansionBatch;
                Guarded([&] { PlanMove(From, Start, End); });
            });
    connect(FModel, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex& From, int Row, int, const QModelIndex& To, int DestRow) {
                Guarded([&] {
                    if (FRowPatch->Moving)
                        PatchMoved(TOutlineModel::EntryOf(To));
                    SyncExpanded(TOutlineModel::EntryOf(From));
                    SyncExpanded(TOutlineModel::EntryOf(To));
                    const int NewRow = (From == To && DestRow > Row) ? DestRow - 1 : DestRow;
                    SyncSubtree(TOutlineModel::EntryOf(FModel->index(NewRow, 0, To)));
                });
            });
    FItems.AddObserver(this);
}

TTreeView::~TTreeView() {
    // A drag in progress gives back the cursor and the highlight while all is alive.
    delete FDrag;
    FDrag = nullptr;
    FItems.RemoveObserver(this);
    FRecorded.clear();
    // The model observes the outline, which outlives it only if it goes first.
    setModel(nullptr);
    delete FModel;
    FModel = nullptr;
}

QModelIndex TTreeView::IndexOf(const TTreeNode* Entry) const {
    return FModel->IndexOf(Entry);
}

TTreeNode* TTreeView::EntryAt(int X, int Y) const {
    if (!viewport()->rect().contains(X, Y))
        return nullptr;
    // The row counts across its whole width, also where the title's column does not reach.
    const int Left = columnViewportPosition(0);
    const int Column = std::clamp(X, Left, Left + std::max(columnWidth(0), 1) - 1);
    return TOutlineModel::EntryOf(indexAt(QPoint(Column, Y)));
}

TTreeHitZones TTreeView::HitZonesAt(int X, int Y) const {
    const QRect Client = viewport()->rect();
    if (!Client.contains(X, Y)) {
        TTreeHitZones Outside;
        if (Y < Client.top())
            Outside.Include(hzAbove);
        else if (Y > Client.bottom())
            Outside.Include(hzBelow);
        if (X < Client.left())
            Outside.Include(hzToLeft);
        else if (X > Client.right())
            Outside.Include(hzToRight);
        return Outside;
    }
    const TTreeNode* Entry = EntryAt(X, Y);
    if (!Entry)
        return {hzNowhere};
    const int ContentLeft = visualRect(IndexOf(Entry)).left();
    if (X < ContentLeft)
        return {ButtonRect(Entry).contains(X, Y) ? hzOnButton : hzOnIndent};
    if (X <= LabelRect(Entry).right())
        return {hzOnLabel};
    return {hzOnRight};
}

QRect TTreeView::ButtonRect(const TTreeNode* Entry) const {
    if (!Entry || !Entry->HasChildren())
        return {};
    const QRect Row = visualRect(IndexOf(Entry));
    if (!Row.isValid())
        return {};
    return {Row.left() - indentation(), Row.top(), indentation(), Row.height()};
}

QRect TTreeView::LabelRect(const TTreeNode* Entry) const {
    const QModelIndex Index = IndexOf(Entry);
    const QRect Row = visualRect(Index);
    if (!Row.isValid())
        return {};
    // As the delegate draws it: the text's advance in the view's font and a margin each side.
    const int Width = fontMetrics().horizontalAdvance(Index.data().toString()) + 2 * TitlePadding;
    return {Row.left(), Row.top(), Width, Row.height()};
}

bool TTreeView::DragOverAt(const QPoint& Point, TDragState DragState) {
    if (!OnDragOver)
        return false;
    bool Accept = true;
    OnDragOver(this, this, Point.x(), Point.y(), DragState, Accept);
    return Accept;
}

void TTreeView::DragDropAt(const QPoint& Point) {
    if (OnDragDrop)
        OnDragDrop(this, this, Point.x(), Point.y());
}

QPixmap TTreeView::DragPicture() const {
    const TTreeNode* Entry = FItems.SelectedEntry();
    const QRect Label = LabelRect(Entry);
    const qreal Ratio = devicePixelRatioF();
    QPixmap Image(Label.size() * Ratio);
    Image.setDevicePixelRatio(Ratio);
    const QPalette& Colours = palette();
    Image.fill(Colours.color(QPalette::Active, QPalette::Base));
    QPainter Painter(&Image);
    Painter.setFont(font());
    Painter.setPen(Colours.color(QPalette::Active, QPalette::Text));
    const QRect Frame(QPoint(0, 0), Label.size());
    Painter.drawText(Frame.adjusted(TitlePadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     IndexOf(Entry).data().toString());
    Painter.setPen(QPen(Colours.color(QPalette::Active, QPalette::Highlight), 1, Qt::DotLine));
    Painter.drawRect(Frame.adjusted(0, 0, -1, -1));
    return Image;
}

void TTreeView::SelectByUser(TTreeNode* Entry) {
    // Whatever the handlers do, even failing, the view ends up showing the outline's choice.
    try {
        FItems.SelectEntry(Entry);
    } catch (...) {
        SyncSelection();
        throw;
    }
    SyncSelection();
}

void TTreeView::ToggleByUser(TTreeNode* Entry, bool Expand, bool Recursive) {
    if (!Entry || !Entry->HasChildren())
        return;
    if (Expand) {
        FItems.ExpandEntry(Entry, Recursive);
        return;
    }
    FItems.CollapseEntry(Entry, Recursive);
    const TTreeNode* Selected = FItems.SelectedEntry();
    if (Selected && Selected != Entry && Selected->IsSelfOrDescendantOf(Entry) && !Entry->Expanded())
        SelectByUser(Entry);
}

void TTreeView::SyncSelection() {
    if (FResetting)
        return;
    const QModelIndex Index = IndexOf(FItems.SelectedEntry());
    const TFlagScope Selecting(FSelecting);
    if (Index.isValid()) {
        selectionModel()->setCurrentIndex(Index, QItemSelectionModel::ClearAndSelect);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->clearCurrentIndex();
    }
}

void TTreeView::SyncExpanded(const TTreeNode* Entry) {
    if (!Entry || FResetting)
        return;
    const QModelIndex Index = IndexOf(Entry);
    const bool Expanded = Entry->Expanded() && Entry->HasChildren();
    if (isExpanded(Index) == Expanded)
        return;
    // A few changes (a new child's parent, a drop) are cheap for QTreeView one by one. With
    // a relayout pending it only records the flag, so a run of changes (expanding 100,000
    // entries) costs one layout instead of one each.
    if (FDirectExpansions == 0)
        QTimer::singleShot(0, this, [this] { FDirectExpansions = 0; });
    if (++FDirectExpansions > DirectExpansionLimit)
        scheduleDelayedItemsLayout();
    setExpanded(Index, Expanded);
}

void TTreeView::rowsAboutToBeRemoved(const QModelIndex& Parent, int Start, int End) {
    FBatchDisturbed = FBatchDisturbed || FExpansionBatch;
    Guarded([&] { PlanRemoval(Parent, Start, End); });
    QTreeView::rowsAboutToBeRemoved(Parent, Start, End);
}

void TTreeView::PlanRemoval(const QModelIndex& Parent, int Start, int End) {
    TRowPatch& Patch = *FRowPatch;
    Patch.Removing = false;
    QTreeViewPrivate* D = PrivateOf(this);
    if (FResetting || D->delayedPendingLayout || D->viewItems.isEmpty())
        return;
    Patch.ParentItem = -1;
    Patch.Count = 0;
    if (Parent.isValid()) {
        Patch.ParentItem = D->viewIndex(Parent);
        // A hidden parent: the view shows none of the rows and keeps its list as it is.
        if (Patch.ParentItem < 0)
            Patch.ParentItem = -2;
    }
    const bool Shown = Patch.ParentItem == -1 || (Patch.ParentItem >= 0 && D->viewItems[Patch.ParentItem].expanded);
    if (Shown) {
        Patch.First = D->viewIndex(FModel->index(Start, 0, Parent));
        const int Last = D->viewIndex(FModel->index(End, 0, Parent));
        if (Patch.First < 0 || Last < Patch.First)
            return;
        Patch.Count = Last + 1 + static_cast<int>(D->viewItems[Last].total) - Patch.First;
    }
    Patch.Parent = TOutlineModel::EntryOf(Parent);
    Patch.Start = Start;
    Patch.End = End;
    Patch.Saved = D->viewItems;
    Patch.Removing = true;
}

void TTreeView::PatchRemoved() {
    TRowPatch& Patch = *FRowPatch;
    Patch.Removing = false;
    QTreeViewPrivate* D = PrivateOf(this);
    D->viewItems = std::move(Patch.Saved);
    Patch.Saved = {};
    if (Patch.ParentItem == -2) {
        CallOffLayout(D);
        return;
    }
    const QModelIndex Parent = IndexOf(Patch.Parent);
    const int Removed = Patch.End - Patch.Start + 1;
    const int Rows = FModel->rowCount(Parent);
    QTreeViewItem* Items = D->viewItems.data();
    if (Patch.Count > 0) {
        D->removeViewItems(Patch.First, Patch.Count);
        Items = D->viewItems.data();
        for (int A = Patch.ParentItem; A >= 0; A = Items[A].parentItem)
            Items[A].total -= static_cast<uint>(Patch.Count);
        // Later siblings moved up: their indexes carry the new rows.
        const int Size = static_cast<int>(D->viewItems.size());
        if (Patch.Start < Rows)
            for (int I = Patch.First; I < Size; ++I)
                if (Items[I].parentItem == Patch.ParentItem)
                    Items[I].index = FModel->index(Items[I].index.row() - Removed, 0, Parent);
        if (Patch.Start == Rows && Patch.Start > 0) {
            const int Previous = D->viewIndex(FModel->index(Patch.Start - 1, 0, Parent));
            if (Previous >= 0)
                Items[Previous].hasMoreSiblings = false;
        }
    }
    if (Patch.ParentItem >= 0 && Rows == 0)
        Items[Patch.ParentItem].hasChildren = false;
    CallOffLayout(D);
    updateGeometries();
    viewport()->update();
}

void TTreeView::PlanMove(const QModelIndex& From, int Start, int End) {
    TRowPatch& Patch = *FRowPatch;
    Patch.Moving = false;
    QTreeViewPrivate* D = PrivateOf(this);
    if (FResetting || D->delayedPendingLayout || D->viewItems.isEmpty() || Start != End)
        return;
    Patch.Moved = TOutlineModel::EntryOf(FModel->index(Start, 0, From));
    Patch.Parent = TOutlineModel::EntryOf(From);
    Patch.Start = Start;
    Patch.Before = Patch.Moved->GetPrevSibling();
    Patch.WasLast = Patch.Moved->GetNextSibling() == nullptr;
    Patch.ParentItem = -1;
    Patch.Count = 0;
    if (From.isValid()) {
        Patch.ParentItem = D->viewIndex(From);
        if (Patch.ParentItem < 0)
            Patch.ParentItem = -2;
    }
    if (Patch.ParentItem == -1 || (Patch.ParentItem >= 0 && D->viewItems[Patch.ParentItem].expanded)) {
        Patch.First = D->viewIndex(FModel->index(Start, 0, From));
        if (Patch.First < 0)
            return;
        Patch.Count = 1 + static_cast<int>(D->viewItems[Patch.First].total);
    }
    Patch.Moving = true;
}

void TTreeView::ShiftRows(int ParentItem, int FirstItem, int FromRow, int By) {
    // The rows under ParentItem from view row FirstItem on whose model row is FromRow or
    // later: their indexes carry the row moved by By. Only the view's list is read.
    QTreeViewPrivate* D = PrivateOf(this);
    QTreeViewItem* Items = D->viewItems.data();
    const int Size = static_cast<int>(D->viewItems.size());
    const int End = ParentItem >= 0 ? std::min(Size, ParentItem + 1 + static_cast<int>(Items[ParentItem].total)) : Size;
    for (int I = std::max(FirstItem, ParentItem + 1); I < End; ++I) {
        if (Items[I].parentItem != ParentItem)
            continue;
        const int Row = Items[I].index.row();
        if (Row >= FromRow)
            Items[I].index = FModel->IndexAt(Row + By, TOutlineModel::EntryOf(Items[I].index));
    }
}

void TTreeView::PatchMoved(TTreeNode* NewParent) {
    TRowPatch& Patch = *FRowPatch;
    Patch.Moving = false;
    QTreeViewPrivate* D = PrivateOf(this);
    if (!D->delayedPendingLayout)
        return;
    TTreeNode* Moved = Patch.Moved;
    if (Patch.Count > 0) {
        D->removeViewItems(Patch.First, Patch.Count);
        for (int A = Patch.ParentItem; A >= 0; A = D->viewItems[A].parentItem)
            D->viewItems[A].total -= static_cast<uint>(Patch.Count);
        // The later siblings where it was moved up one row.
        ShiftRows(Patch.ParentItem, Patch.First, Patch.Start + 1, -1);
    }
    if (Patch.ParentItem >= 0)
        D->viewItems[Patch.ParentItem].hasChildren = Patch.Parent->Count() > 0;
    int ParentItem = -1;
    if (NewParent) {
        ParentItem = D->viewIndex(IndexOf(NewParent));
        if (ParentItem < 0 || !D->viewItems[ParentItem].expanded)
            ParentItem = -2; // hidden where it went: the new parent's expansion shows it later
    }
    if (ParentItem != -2) {
        int Position = ParentItem + 1;
        int Previous = -1;
        if (const TTreeNode* Before = Moved->GetPrevSibling()) {
            Previous = D->viewIndex(IndexOf(Before));
            if (Previous < 0) {
                // Not where it should be: leave it to the full layout.
                return;
            }
            Position = Previous + 1 + static_cast<int>(D->viewItems[Previous].total);
        }
        QTreeViewItem Item;
        Item.parentItem = ParentItem;
        Item.level = ParentItem >= 0 ? D->viewItems[ParentItem].level + 1 : 0;
        Item.index = IndexOf(Moved);
        // As the view remembers it; the collapse of the moved subtree follows at once.
        Item.expanded = isExpanded(Item.index);
        Item.hasChildren = Moved->Count() > 0;
        Item.hasMoreSiblings = Moved->GetNextSibling() != nullptr;
        D->insertViewItems(Position, 1, Item);
        for (int A = ParentItem; A >= 0; A = D->viewItems[A].parentItem)
            D->viewItems[A].total += 1;
        // The later siblings where it went moved down one row.
        ShiftRows(ParentItem, Position + 1, Item.index.row(), 1);
        if (Previous >= 0)
            D->viewItems[Previous].hasMoreSiblings = true;
        if (ParentItem >= 0)
            D->viewItems[ParentItem].hasChildren = true;
    }
    // Its old previous sibling may be the last one there now.
    if (Patch.Count > 0 && Patch.WasLast && Patch.Before) {
        const int Previous = D->viewIndex(IndexOf(Patch.Before));
        if (Previous >= 0)
            D->viewItems[Previous].hasMoreSiblings = Patch.Before->GetNextSibling() != nullptr;
    }
    CallOffLayout(D);
    updateGeometries();
    viewport()->update();
}

void TTreeView::PatchInserted(const QModelIndex& Parent, int Start, int End) {
    FRowPatch->Inserting = false;
    QTreeViewPrivate* D = PrivateOf(this);
    // No layout scheduled: the view did not need one (the rows are hidden).
    if (!D->delayedPendingLayout)
        return;
    int ParentItem = -1;
    if (Parent.isValid()) {
        ParentItem = D->viewIndex(Parent);
        if (ParentItem < 0 || !D->viewItems[ParentItem].expanded)
            return;
    }
    // Rows that bring children along are left to the full layout.
    for (int Row = Start; Row <= End; ++Row)
        if (FModel->hasChildren(FModel->index(Row, 0, Parent)))
            return;
    int Position = ParentItem + 1;
    int Previous = -1;
    if (Start > 0) {
        Previous = D->viewIndex(FModel->index(Start - 1, 0, Parent));
        if (Previous < 0)
            return;
        Position = Previous + 1 + static_cast<int>(D->viewItems[Previous].total);
    }
    const int Count = End - Start + 1;
    const int Rows = FModel->rowCount(Parent);
    QTreeViewItem Item;
    Item.parentItem = ParentItem;
    Item.level = ParentItem >= 0 ? D->viewItems[ParentItem].level + 1 : 0;
    D->insertViewItems(Position, Count, Item);
    QTreeViewItem* Items = D->viewItems.data();
    for (int I = 0; I < Count; ++I) {
        Items[Position + I].index = FModel->index(Start + I, 0, Parent);
        Items[Position + I].hasMoreSiblings = Start + I < Rows - 1;
    }
    if (Previous >= 0)
        Items[Previous].hasMoreSiblings = true;
    // Later siblings moved down.
    if (End < Rows - 1) {
        const int Size = static_cast<int>(D->viewItems.size());
        for (int I = Position + Count; I < Size; ++I)
            if (Items[I].parentItem == ParentItem)
                Items[I].index = FModel->index(Items[I].index.row() + Count, 0, Parent);
    }
    for (int A = ParentItem; A >= 0; A = Items[A].parentItem)
        Items[A].total += static_cast<uint>(Count);
    if (ParentItem >= 0)
        Items[ParentItem].hasChildren = true;
    CallOffLayout(D);
    updateGeometries();
    viewport()->update();
}

void TTreeView::SyncSubtree(const TTreeNode* Entry) {
    if (!Entry)
        return;
    std::vector<const TTreeNode*> Pending{Entry};
    while (!Pending.empty()) {
        const TTreeNode* Node = Pending.back();
        Pending.pop_back();
        SyncExpanded(Node);
        for (int Index = Node->Count() - 1; Index >= 0; --Index)
            Pending.push_back(Node->Item(Index));
    }
}

void TTreeView::SyncAll() {
    // After a reset QTreeView has forgotten every expansion: record the flags in one pass.
    scheduleDelayedItemsLayout();
    // The record is made as after a whole-tree expansion; the layout due lays the rows out
    // from it. A loaded outline starts collapsed: no need to visit a million entries then.
    if (FItems.AnyExpanded()) {
        WalkOutline(false, true, false);
        RemakeRecord();
    }
    SyncSelection();
}

void TTreeView::EntryChanged(TTreeNode*) {
    // The selected row's highlight depends on whether there is a drop target at all.
    if (const TTreeNode* Selected = FItems.SelectedEntry(); Selected && !FResetting)
        viewport()->update(visualRect(IndexOf(Selected)));
}

void TTreeView::EntryExpandedChanged(TTreeNode* Entry) {
    if (!FExpansionBatch) {
        SyncExpanded(Entry);
        return;
    }
    // Inside a whole-tree batch the view is brought up to date once, at its end; the
    // changes are noted for it. An entry without children is not recorded either way.
    if (!Entry->HasChildren())
        return;
    if (!Entry->Expanded()) {
        ++FTurnedOff;
        return;
    }
    try {
        FTurnedOn.push_back(Entry);
    } catch (const std::bad_alloc&) {
        FBatchDisturbed = true; // the whole tree is read again at the end
    }
}

void TTreeView::ExpansionAboutToChange() {
    FExpansionBatch = true;
    FBatchDisturbed = false;
    FTurnedOn.clear();
    FTurnedOff = 0;
    FTopEntry = FResetting ? nullptr : EntryAt(0, 0);
}

void TTreeView::ExpansionChanged() {
    FExpansionBatch = false;
    const TTreeNode* Top = FTopEntry;
    FTopEntry = nullptr;
    // Called from the outline's batch guard: nothing may leave here.
    Guarded([&] {
        SyncWholeTree();
        KeepAtTop(Top);
    });
    FTurnedOn.clear();
}

void TTreeView::SyncWholeTree() {
    if (FResetting)
        return;
    // QTreeView would take every change through setExpanded (a lookup of the entry and a
    // persistent index each) and then lay out every shown row through the model. Here its
    // record of expanded entries is brought to the outline's flags and its row list is
    // built as its own layout builds it from that record (no hidden rows, no spanned ones,
    // nothing to fetch), in one pass over the shown entries.
    QTreeViewPrivate* D = PrivateOf(this);
    const QSet<QPersistentModelIndex>& Record = D->expandedIndexes;
    // Outside a batch the record holds exactly the entries with children shown expanded,
    // besides indexes of removed entries and entries that lost their last child while
    // expanded. So when the batch only collapsed, and as many entries as the record holds,
    // nothing stays; when it only expanded, the entries it expanded join. Anything else, or
    // a batch that changed the outline's structure, reads the whole tree, and so does a
    // view whose signals for each change are listened to.
    const bool Simple = !FBatchDisturbed && !isSignalConnected(QMetaMethod::fromSignal(&QTreeView::collapsed)) &&
                        !isSignalConnected(QMetaMethod::fromSignal(&QTreeView::expanded));
    const bool Cleared = Simple && FTurnedOn.empty() && FTurnedOff == static_cast<std::size_t>(Record.size());
    // FRecorded holds the record's indexes from these steps; past twice the record's size
    // it is made again from the whole tree.
    const bool Joined = Simple && FTurnedOff == 0 && FRecorded.size() <= 2 * static_cast<std::size_t>(Record.size());
    // A full layout already due lays the rows out from the record made here.
    const bool LayOut = !D->delayedPendingLayout;
    try {
        WalkOutline(LayOut, !Cleared && !Joined, Joined);
        if (Cleared)
            ClearRecord();
        else if (Joined)
            JoinRecord(FTurnedOn);
        else
            RemakeRecord();
    } catch (...) {
        // Short of memory half way: Qt lays the rows out again from what was recorded.
        scheduleDelayedItemsLayout();
        throw;
    }
    if (LayOut) {
        if (D->uniformRowHeights && !D->viewItems.isEmpty())
            D->defaultItemHeight = indexRowSizeHint(D->viewItems.front().index);
        CallOffLayout(D);
        updateGeometries();
        viewport()->update();
    }
}

void TTreeView::WalkOutline(bool Rows, bool Wanted, bool RecordStays) {
    QList<QTreeViewItem>& Items = PrivateOf(this)->viewItems;
    if (Rows)
        Items.clear(); // its capacity stays for the new rows
    FWanted.clear();
    if (!Rows && !Wanted)
        return;
    // The entries whose children are being walked: the entry (nullptr for the top level),
    // its row (-1 for the top level or when hidden), the next child, whether they are shown.
    struct TOpen {
        const TTreeNode* Entry;
        int Item;
        int Next;
        bool Shown;
    };
    std::vector<TOpen> Open{{nullptr, -1, 0, Rows}};
    while (!Open.empty()) {
        TOpen& Top = Open.back();
        const int Count = Top.Entry ? Top.Entry->Count() : FItems.TopCount();
        if (Top.Next == Count) {
            if (Top.Shown && Top.Item >= 0) {
                QTreeViewItem& Parent = Items[Top.Item];
                Parent.total = static_cast<uint>(Items.size() - 1 - Top.Item);
                Parent.hasChildren = Parent.total > 0;
            }
            Open.pop_back();
            continue;
        }
        const int Row = Top.Next++;
        const TTreeNode* Entry = Top.Entry ? Top.Entry->Item(Row) : FItems.TopItem(Row);
        const bool Expanded = Entry->Expanded() && Entry->HasChildren();
        if (Expanded && Wanted)
            FWanted.push_back(Entry);
        const bool Shown = Top.Shown;
        int Item = -1;
        if (Shown) {
            const uint Level = Top.Item >= 0 ? Items[Top.Item].level + 1 : 0;
            QTreeViewItem& New = Items.emplace_back();
            New.index = FModel->IndexAt(Row, Entry);
            New.parentItem = Top.Item;
            New.level = Level;
            // The last child of an expanded entry may have gone while the entry kept its
            // place in the record; a layout shows it expanded then. Only a record that stays
            // can hold it.
            New.expanded = Expanded || (RecordStays && Entry->Expanded() && isExpanded(New.index));
            New.hasChildren = Entry->Count() > 0;
            New.hasMoreSiblings = Row < Count - 1;
            Item = static_cast<int>(Items.size() - 1);
        }
        // Hidden entries are walked only for the record.
        if (Entry->Count() > 0 && ((Shown && Expanded) || Wanted))
            Open.push_back({Entry, Item, 0, Shown && Expanded});
    }
}

void TTreeView::ClearRecord() {
    // FRecorded holds most of the record's indexes, so clearing it costs a release each;
    // they are then dropped in the order they were made, which costs the model's table of
    // persistent indexes a fraction of what the record's own order would.
    PrivateOf(this)->expandedIndexes.clear();
    FRecorded.clear();
}

void TTreeView::JoinRecord(const std::vector<const TTreeNode*>& Entries) {
    QSet<QPersistentModelIndex>& Record = PrivateOf(this)->expandedIndexes;
    const auto Count = static_cast<qsizetype>(Entries.size());
    if (Count == 0)
        return;
    QMultiHash<QModelIndex, QPersistentModelIndexData*>& Persistent =
        static_cast<QAbstractItemModelPrivate*>(QObjectPrivate::get(FModel))->persistent.indexes;
    Persistent.reserve(Persistent.size() + Count);
    Record.reserve(Record.size() + Count);
    FRecorded.reserve(FRecorded.size() + Entries.size());
    for (const TTreeNode* Entry : Entries)
        Record.insert(FRecorded.emplace_back(IndexOf(Entry)));
}

void TTreeView::RemakeRecord() {
    QSet<QPersistentModelIndex>& Record = PrivateOf(this)->expandedIndexes;
    // QTreeView signals each change of the record, where anyone listens.
    const bool TellCollapsed = !signalsBlocked() && isSignalConnected(QMetaMethod::fromSignal(&QTreeView::collapsed));
    const bool TellExpanded = !signalsBlocked() && isSignalConnected(QMetaMethod::fromSignal(&QTreeView::expanded));
    const QSet<QPersistentModelIndex> Before = TellCollapsed || TellExpanded ? Record : QSet<QPersistentModelIndex>();
    // The indexes that stay are held by FPrevious meanwhile, so they are not made again.
    FPrevious.swap(FRecorded);
    ClearRecord();
    JoinRecord(FWanted);
    FPrevious.clear();
    FWanted.clear();
    // Indexes of removed entries are gone now, as after a full layout.
    if (TellCollapsed)
        for (const QPersistentModelIndex& Index : Before)
            if (Index.isValid() && !Record.contains(Index))
                emit collapsed(Index);
    if (TellExpanded)
        for (const QPersistentModelIndex& Index : std::as_const(FRecorded))
            if (!Before.contains(Index))
                emit expanded(Index);
}

void TTreeView::KeepAtTop(const TTreeNode* Entry) {
    if (!Entry || FResetting)
        return;
    const TTreeNode* Shown = Entry;
    for (const TTreeNode* Ancestor = Entry->Parent(); Ancestor; Ancestor = Ancestor->Parent())
        if (!Ancestor->Expanded())
            Shown = Ancestor;
    const int Horizontal = horizontalScrollBar()->value();
    scrollTo(IndexOf(Shown), QAbstractItemView::PositionAtTop);
    horizontalScrollBar()->setValue(Horizontal);
}

void TTreeView::SelectionChanged(TTreeNode*) {
    SyncSelection();
}

void TTreeView::ApplyPalette() {
    // The selection stays highlighted in its active colours while the tree has no focus.
    QPalette Colours = palette();
    const QColor Highlight = Colours.color(QPalette::Active, QPalette::Highlight);
    const QColor HighlightedText = Colours.color(QPalette::Active, QPalette::HighlightedText);
    if (Colours.color(QPalette::Inactive, QPalette::Highlight) == Highlight &&
        Colours.color(QPalette::Inactive, QPalette::HighlightedText) == HighlightedText)
        return;
    Colours.setColor(QPalette::Inactive, QPalette::Highlight, Highlight);
    Colours.setColor(QPalette::Inactive, QPalette::HighlightedText, HighlightedText);
    const TFlagScope Applying(FApplyingPalette);
    setPalette(Colours);
}

void TTreeView::changeEvent(QEvent* Event) {
    QTreeView::changeEvent(Event);
    Guarded([&] {
        if (Event->type() == QEvent::PaletteChange && !FApplyingPalette)
            ApplyPalette();
    });
}

bool TTreeView::viewportEvent(QEvent* Event) {
    // No tips for titles cut off at the edge.
    if (Event->type() == QEvent::ToolTip)
        return true;
    return QTreeView::viewportEvent(Event);
}

void TTreeView::mousePressEvent(QMouseEvent* Event) {
    bool PassOn = true;
    Guarded([&] {
        if (FDrag->Busy()) {
            // Another button during a press or a drag belongs to that press.
            if (Event->buttons() != Event->button()) {
                PassOn = false;
                return;
            }
            // The earlier press lost its release (the window lost the mouse).
            FDrag->Abandon();
        }
        const QPoint Point = Event->position().toPoint();
        TTreeNode* Entry = EntryAt(Point);
        const bool Left = Event->button() == Qt::LeftButton;
        if (Entry && ButtonRect(Entry).contains(Point)) {
            PassOn = false;
            if (Left) {
                FDrag->PressElsewhere();
                ToggleByUser(Entry, !Entry->Expanded(), false);
            }
            return;
        }
        const bool OnTitleSide = Entry && Point.x() >= visualRect(IndexOf(Entry)).left();
        // Any other left press may become a drag; released in place it is a click, which
        // selects when it was on the title or right of it.
        if (Left)
            FDrag->Press(Point, OnTitleSide);
        if (Entry && !OnTitleSide)
            PassOn = false;
    });
    FSwallowRelease = !PassOn;
    // Qt's press handling stays (focus, its own bookkeeping); it cannot move the selection.
    if (PassOn)
        QTreeView::mousePressEvent(Event);
}

void TTreeView::mouseMoveEvent(QMouseEvent* Event) {
    if (!FDrag->Busy()) {
        QTreeView::mouseMoveEvent(Event);
        return;
    }
    // The press is ours until its release: no selection dragging, no autoscroll by Qt.
    Guarded([&] { FDrag->Move(Event->position().toPoint(), Event->buttons()); });
}

void TTreeView::mouseReleaseEvent(QMouseEvent* Event) {
    Guarded([&] { FDrag->Release(Event->position().toPoint(), Event->button()); });
    if (FSwallowRelease) {
        FSwallowRelease = false;
        return;
    }
    QTreeView::mouseReleaseEvent(Event);
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (Event->button() != Qt::LeftButton || FDrag->Busy())
            return;
        const QPoint Point = Event->position().toPoint();
        TTreeNode* Entry = EntryAt(Point);
        if (!Entry)
            return;
        const bool OnButton = ButtonRect(Entry).contains(Point);
        // A double click toggles, on the button as on the title.
        if (OnButton || Point.x() >= visualRect(IndexOf(Entry)).left())
            ToggleByUser(Entry, !Entry->Expanded(), false);
        // Like a press, it may begin a drag; the first click has already selected.
        if (OnButton)
            FDrag->PressElsewhere();
        else
            FDrag->Press(Point, false);
    });
    FSwallowRelease = true;
}

void TTreeView::dragEnterEvent(QDragEnterEvent* Event) {
    Event->ignore();
}

void TTreeView::dragMoveEvent(QDragMoveEvent* Event) {
    Event->ignore();
}

void TTreeView::dropEvent(QDropEvent* Event) {
    Event->ignore();
}

bool TTreeView::HandleKey(QKeyEvent* Event) {
    TTreeNode* Current = FItems.SelectedEntry();
    const bool Control = Event->modifiers() & Qt::ControlModifier;
    CursorAction Action = MoveDown;
    QAbstractSlider::SliderAction Scroll = QAbstractSlider::SliderSingleStepAdd;
    switch (Event->key()) {
    case Qt::Key_Up:
        Action = MoveUp;
        Scroll = QAbstractSlider::SliderSingleStepSub;
        break;
    case Qt::Key_Down:
        break;
    case Qt::Key_PageUp:
        Action = MovePageUp;
        Scroll = QAbstractSlider::SliderPageStepSub;
        break;
    case Qt::Key_PageDown:
        Action = MovePageDown;
        Scroll = QAbstractSlider::SliderPageStepAdd;
        break;
    case Qt::Key_Home:
        Action = MoveHome;
        Scroll = QAbstractSlider::SliderToMinimum;
        break;
    case Qt::Key_End:
        Action = MoveEnd;
        Scroll = QAbstractSlider::SliderToMaximum;
        break;
    case Qt::Key_Left:
        if (Current && Current->HasChildren() && Current->Expanded())
            ToggleByUser(Current, false, false);
        else if (Current && Current->Parent())
            SelectByUser(Current->Parent());
        return true;
    case Qt::Key_Right:
        if (Current && Current->HasChildren()) {
            if (!Current->Expanded())
                ToggleByUser(Current, true, false);
            else
                SelectByUser(Current->Item(0));
        }
        return true;
    case Qt::Key_Backspace:
        if (Current && Current->Parent())
            SelectByUser(Current->Parent());
        return true;
    case Qt::Key_Plus:
        ToggleByUser(Current, true, false);
        return true;
    case Qt::Key_Minus:
        ToggleByUser(Current, false, false);
        return true;
    case Qt::Key_Asterisk:
        ToggleByUser(Current, true, true);
        return true;
    default:
        return false;
    }
    if (Control) {
        // Ctrl with a movement key scrolls and leaves the selection where it is.
        verticalScrollBar()->triggerAction(Scroll);
        return true;
    }
    const QModelIndex Target = moveCursor(Action, Qt::NoModifier);
    if (Target.isValid() && Target != currentIndex())
        SelectByUser(TOutlineModel::EntryOf(Target));
    return true;
}

void TTreeView::keyPressEvent(QKeyEvent* Event) {
    bool Handled = false;
    Guarded([&] { Handled = HandleKey(Event); });
    if (Handled)
        Event->accept();
    else
        QTreeView::keyPressEvent(Event);
}

void TTreeView::keyboardSearch(const QString& Search) {
    Guarded([&] {
        if (Search.isEmpty())
            return;
        // Keys typed in quick succession extend the search; a new one starts after the selection.
        const bool Extends = FSearchTimer.isValid() && FSearchTimer.elapsed() < QApplication::keyboardInputInterval();
        FSearch = Extends ? FSearch + Search : Search;
        FSearchTimer.start();
        TTreeNode* First = FItems.GetFirstNode();
        if (!First)
            return;
        // The rows as the outline shows them. A selection hidden in a collapsed entry counts
        // as that entry's row, so the walk starts on a row and ends after one pass.
        TTreeNode* Current = TOutlineModel::EntryOf(currentIndex());
        TTreeNode* Row = Current ? ShownRowOf(Current) : nullptr;
        TTreeNode* const Start = !Row ? First : (Extends ? Row : NextShownRow(Row));
        TTreeNode* Entry = Start;
        // Only as much of each title is decoded as the search can compare, so a pass over
        // every row decodes a character or two of each and keeps nothing.
        const auto Needed = static_cast<std::size_t>(FSearch.size());
        std::u16string Head;
        // A title's first character comes from its first two bytes, which the entry keeps
        // itself; most rows differ there, as the comparison, which folds one unit at a time
        // from the start, would find.
        const char32_t FirstFolded = QChar::toCaseFolded(static_cast<char32_t>(FSearch[0].unicode()));
        // Never more rows than entries, whatever the flags say.
        for (int Left = FItems.EntryCount(); Left > 0; --Left) {
            FetchAhead(Entry);
            Head.clear();
            TCodePage932::DecodeHead(Entry->TitleStart(), 1, Head);
            bool Starts = !Head.empty() && QChar::toCaseFolded(static_cast<char32_t>(Head[0])) == FirstFolded;
            if (Starts && Needed > 1) {
                Head.clear();
                TCodePage932::DecodeHead(Entry->Text(), Needed, Head);
                Starts = QStringView(Head).startsWith(FSearch, Qt::CaseInsensitive);
            }
            if (Starts) {
                if (Entry != Current)
                    SelectByUser(Entry);
                return;
            }
            Entry = NextShownRow(Entry);
            if (Entry == Start)
                return;
        }
    });
}

void TTreeView::FetchAhead(const TTreeNode* Row) const noexcept {
    // The rows of a large outline lie far apart in memory: waiting for each in turn costs
    // more than comparing them, so siblings further on are asked for now.
    const TTreeNode* Parent = Row->Parent();
    const int Count = Parent ? Parent->Count() : FItems.TopCount();
    const int At = Row->IndexInParent();
    const auto Sibling = [&](int Index) { return Parent ? Parent->Item(Index) : FItems.TopItem(Index); };
    if (At + 32 < Count) {
        const char* Entry = reinterpret_cast<const char*>(Sibling(At + 32));
        Prefetch(Entry);
        Prefetch(Entry + sizeof(TTreeNode) - 1); // an entry may span two cache lines
    }
}

TTreeNode* TTreeView::ShownRowOf(TTreeNode* Entry) noexcept {
    TTreeNode* Row = Entry;
    for (TTreeNode* Ancestor = Entry->Parent(); Ancestor; Ancestor = Ancestor->Parent())
        if (!Ancestor->Expanded())
            Row = Ancestor;
    return Row;
}

TTreeNode* TTreeView::NextShownRow(const TTreeNode* Row) const noexcept {
    if (Row->Expanded() && Row->Count() > 0)
        return Row->Item(0);
    for (const TTreeNode* Node = Row; Node; Node = Node->Parent())
        if (TTreeNode* Next = Node->GetNextSibling())
            return Next;
    return FItems.GetFirstNode();
}

void TTreeView::drawBranches(QPainter* Painter, const QRect& Rect, const QModelIndex& Index) const {
    Guarded([&] {
        const TTreeNode* Entry = TOutlineModel::EntryOf(Index);
        if (!Entry)
            return;
        const int Indent = indentation();
        const int Middle = Rect.top() + Rect.height() / 2;
        const int Phase = verticalOffset() + horizontalOffset();
        const QColor Line(128, 128, 128);
        Painter->save();
        // The style paints the indentation of a selected row highlighted; a classic tree
        // marks the title only.
        Painter->fillRect(Rect, palette().color(QPalette::Active, QPalette::Base));
        Painter->setRenderHint(QPainter::Antialiasing, false);
        Painter->setPen(Line);

        // The entry's own cell: its connecting lines and its button.
        int CellLeft = Rect.left() + Rect.width() - Indent;
        const int X = CellLeft + Indent / 2;
        const bool Above = Entry->Parent() || Entry->GetPrevSibling();
        const bool Below = Entry->GetNextSibling() != nullptr;
        DrawDottedV(Painter, X, Above ? Rect.top() : Middle, Below ? Rect.bottom() : Middle, Phase);
        DrawDottedH(Painter, X, CellLeft + Indent - 1, Middle, Phase);
        if (Entry->HasChildren()) {
            const QRect Button(X - 4, Middle - 4, 9, 9);
            Painter->fillRect(Button, palette().color(QPalette::Active, QPalette::Base));
            Painter->drawRect(Button.adjusted(0, 0, -1, -1));
            Painter->setPen(palette().color(QPalette::Active, QPalette::Text));
            Painter->drawLine(X - 2, Middle, X + 2, Middle);
            if (!Entry->Expanded())
                Painter->drawLine(X, Middle - 2, X, Middle + 2);
            Painter->setPen(Line);
        }
        // Ancestors' cells: a line down wherever an ancestor has a later sibling.
        for (const TTreeNode* Ancestor = Entry->Parent(); Ancestor && CellLeft > 0; Ancestor = Ancestor->Parent()) {
            CellLeft -= Indent;
            if (Ancestor->GetNextSibling())
                DrawDottedV(Painter, CellLeft + Indent / 2, Rect.top(), Rect.bottom(), Phase);
        }
        Painter->restore();
    });
}
