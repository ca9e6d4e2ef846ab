#include "TreeDrag.h"

#include "Guard.h"
#include "TreeNodes.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>

#include <cstdlib>

TDragImage::TDragImage(const QPixmap& Image, QWidget* Owner)
    : QWidget(Owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                         Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      FImage(Image) {
    setObjectName("DragImage");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // Translucent where the window system can blend; the frame keeps it legible where not.
    setWindowOpacity(0.75);
    resize(Image.deviceIndependentSize().toSize());
}

void TDragImage::Follow(const QPoint& GlobalPoint) {
    move(GlobalPoint - HotSpot);
}

void TDragImage::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.drawPixmap(0, 0, FImage);
}

TTreeDrag::TTreeDrag(TDragHost& Host, QObject* Parent) : QObject(Parent), FHost(Host) {}

TTreeDrag::~TTreeDrag() {
    Finish(TStage::dgIdle);
}

void TTreeDrag::Press(const QPoint& Point, bool ClickSelects) {
    if (Busy())
        return;
    FStage = TStage::dgPressed;
    FPress = Point;
    FClickSelects = ClickSelects;
}

void TTreeDrag::PressElsewhere() {
    if (!Busy())
        FStage = TStage::dgSpent;
}

void TTreeDrag::Move(const QPoint& Point, Qt::MouseButtons Buttons) {
    if (!Busy())
        return;
    if (!(Buttons & (Qt::LeftButton | Qt::RightButton))) {
        // The release never reached us (the capture was lost): nothing may stay half-done.
        Abandon();
        return;
    }
    switch (FStage) {
    case TStage::dgPressed:
        if ((Point - FPress).manhattanLength() >= QApplication::startDragDistance())
            Begin(Point);
        break;
    case TStage::dgPending:
        if (std::abs(Point.x() - FStart.x()) >= Threshold || std::abs(Point.y() - FStart.y()) >= Threshold)
            Activate(Point);
        break;
    case TStage::dgActive:
        Track(Point);
        break;
    default:
        break;
    }
}

void TTreeDrag::Release(const QPoint& Point, Qt::MouseButton Button) {
    switch (FStage) {
    case TStage::dgPressed: {
        // No drag: the press was a click. Only the left button arms a press.
        const bool Selects = FClickSelects && Button == Qt::LeftButton;
        FStage = TStage::dgIdle;
        if (Selects)
            if (TTreeNode* Entry = FHost.DragEntryAt(FPress))
                FHost.DragSelect(Entry);
        break;
    }
    case TStage::dgActive: {
        if (Button != Qt::LeftButton && Button != Qt::RightButton)
            return;
        if (Point != FLast) {
            try {
                Track(Point);
            } catch (...) {
                Finish(TStage::dgIdle);
                throw;
            }
        }
        const bool Over = FStage == TStage::dgActive && FOverTree;
        Finish(TStage::dgIdle);
        // The target learns that the drag leaves it; its answer decides the drop.
        const bool Drop = Over && DragOver(Point, dsDragLeave);
        if (Drop)
            FHost.DragDropAt(Point);
        break;
    }
    case TStage::dgPending:
    case TStage::dgSpent:
        if (Button == Qt::LeftButton || Button == Qt::RightButton)
            Finish(TStage::dgIdle);
        break;
    case TStage::dgIdle:
        break;
    }
}

void TTreeDrag::Cancel() {
    if (!Dragging())
        return;
    // Whatever the handler does, the drag is over and the button's release belongs to it.
    FinishWithLeave(TStage::dgSpent);
}

void TTreeDrag::Abandon() {
    FinishWithLeave(TStage::dgIdle);
}

void TTreeDrag::FinishWithLeave(TStage Next) {
    const bool Leave = FStage == TStage::dgActive && FOverTree;
    Finish(Next);
    if (Leave)
        DragOver(FLast, dsDragLeave);
}

bool TTreeDrag::eventFilter(QObject* Watched, QEvent* Event) {
    if (!Dragging())
        return QObject::eventFilter(Watched, Event);
    const QEvent::Type Type = Event->type();
    // The window is asked to close, a modal box blocks it or it loses activation: the
    // drag ends first, as cancelled, so the keys are free again for what comes next.
    const bool Interrupted =
        Type == QEvent::ApplicationDeactivate ||
        (Watched == FHost.DragControl()->window() &&
         (Type == QEvent::Close || Type == QEvent::WindowBlocked || Type == QEvent::WindowDeactivate));
    if (Interrupted) {
        Guarded([this] { Cancel(); });
        return QObject::eventFilter(Watched, Event);
    }
    if (Type != QEvent::KeyPress && Type != QEvent::KeyRelease && Type != QEvent::ShortcutOverride)
        return QObject::eventFilter(Watched, Event);
    // Qt calls filters: errors must not leave here.
    Guarded([&] {
        const auto* Key = static_cast<QKeyEvent*>(Event);
        if (Type == QEvent::KeyPress && Key->key() == Qt::Key_Escape)
            Cancel();
        else if (Type != QEvent::ShortcutOverride && Key->key() == Qt::Key_Control && FStage == TStage::dgActive)
            Track(FLast);
    });
    // Shortcuts and mnemonics stay silent too.
    Event->accept();
    return true;
}

void TTreeDrag::Begin(const QPoint& Point) {
    TTreeNode* Entry = FHost.DragEntryAt(FPress);
    if (!Entry) {
        FStage = TStage::dgSpent;
        return;
    }
    FStage = TStage::dgSpent; // until the selection has been made
    // The edit fields are committed and the dragged entry shown, also when it is selected.
    FHost.DragSelect(Entry);
    // A refused change leaves another entry selected: a drop would move that one.
    if (FHost.DragItems().SelectedEntry() != Entry)
        return;
    FStage = TStage::dgPending;
    FStart = Point;
    FLast = Point;
    qApp->installEventFilter(this);
    FFiltering = true;
}

void TTreeDrag::Activate(const QPoint& Point) {
    FStage = TStage::dgActive;
    FOverTree = false;
    FAccepted = false;
    QApplication::setOverrideCursor(QCursor(Qt::ForbiddenCursor));
    FCursorSet = true;
    if (const TTreeNode* Entry = FHost.DragItems().SelectedEntry(); Entry && !FImage)
        FImage = new TDragImage(FHost.DragPicture(), FHost.DragControl()->window());
    Track(Point);
}

void TTreeDrag::Track(const QPoint& Point) {
    try {
        FLast = Point;
        const bool Over = OverTree(Point);
        if (Over != FOverTree) {
            if (FOverTree) {
                FOverTree = false;
                FHost.DragItems().SetDropTarget(nullptr);
                DragOver(Point, dsDragLeave);
            }
            if (Over) {
                FOverTree = true;
                DragOver(Point, dsDragEnter);
            }
        }
        // A drag-over handler may have ended the drag (Escape inside a box it showed).
        if (FStage != TStage::dgActive)
            return;
        FAccepted = FOverTree && DragOver(Point, dsDragMove);
        if (FStage != TStage::dgActive)
            return;
        if (FOverTree)
            if (TTreeNode* Entry = FHost.DragEntryAt(Point))
                FHost.DragItems().SetDropTarget(Entry);
        QApplication::changeOverrideCursor(QCursor(FAccepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor));
        if (FImage) {
            const QPoint Global = FHost.DragClient()->mapToGlobal(Point);
            // Over the tree, and outside the window, the image follows; over the window's
            // other controls only the cursor shows.
            const bool Shown = FOverTree || !FHost.DragControl()->window()->frameGeometry().contains(Global);
            FImage->Follow(Global);
            FImage->setVisible(Shown);
        }
    } catch (...) {
        Finish(TStage::dgSpent);
        throw;
    }
}

bool TTreeDrag::DragOver(const QPoint& Point, TDragState State) {
    return FHost.DragOverAt(Point, State);
}

bool TTreeDrag::OverTree(const QPoint& Point) const {
    // The whole control counts, its frame and scroll bars included.
    const QWidget* Control = FHost.DragControl();
    return Control->isVisible() && Control->rect().contains(FHost.DragClient()->mapTo(Control, Point));
}

void TTreeDrag::Finish(TStage Next) noexcept {
    FStage = Next;
    FOverTree = false;
    FAccepted = false;
    if (FFiltering) {
        qApp->removeEventFilter(this);
        FFiltering = false;
    }
    if (FCursorSet) {
        QApplication::restoreOverrideCursor();
        FCursorSet = false;
    }
    if (FImage) {
        FImage->hide();
        FImage->deleteLater();
        FImage = nullptr;
    }
    if (FHost.DragItems().DropTarget())
        Guarded([this] { FHost.DragItems().SetDropTarget(nullptr); });
}
