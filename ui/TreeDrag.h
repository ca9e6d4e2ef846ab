#pragma once
// TTreeDrag: dragging an entry inside the outline's tree, with the mouse captured by the
// tree's viewport (no system drag and drop: only the tree ever takes a drop).
//
// Stages: idle; pressed (left button down, watching for the drag-detection distance);
// pending (the entry was selected, watching for 5 px on either axis from the start
// point); active (drag-over events, drop highlight, drag image, cursors); spent (a press
// that will not become a drag, until its button is released).
//
// Owned by the tree control (its TDragHost), which feeds it the viewport's mouse events. While a drag is
// pending or active it filters the application's key events: Escape cancels, Ctrl
// re-evaluates the position, every other key is held back so nothing can move the
// selection under the drag. A close request, a modal box or the loss of activation ends
// the drag first, as a cancel. Ending a drag (drop, cancel, destruction) always removes the
// drop highlight, the override cursor and the drag image.
#include "Object.h"

#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <functional>

class QMouseEvent;
class TTreeNode;
class TTreeNodes;

// The drag has come over the tree, leaves it (also at the drop), or moves over it.
enum class TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using enum TDragState;

// Accept is true on entry; its value on return says whether a drop at X, Y would be taken.
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;

// The image of the dragged row, a small window that follows the pointer.
class TDragImage : public QWidget {
    Q_OBJECT
public:
    // The image's point under the pointer.
    static constexpr QPoint HotSpot{2, 2};

    TDragImage(const QPixmap& Image, QWidget* Owner);
    // Places the hot spot on GlobalPoint.
    void Follow(const QPoint& GlobalPoint);

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QPixmap FImage;
};

// What a drag needs of the tree it runs in. Points are in the client (viewport)
// coordinates of the tree.
class TDragHost {
public:
    // The whole control (frame and scroll bars included) and its client area.
    virtual QWidget* DragControl() const = 0;
    virtual QWidget* DragClient() const = 0;
    virtual TTreeNodes& DragItems() = 0;
    // The entry whose row contains Point, or nullptr.
    virtual TTreeNode* DragEntryAt(const QPoint& Point) const = 0;
    // Selects Entry as the user's selection (OnChanging, OnChange).
    virtual void DragSelect(TTreeNode* Entry) = 0;
    // The picture of the selected entry's row that follows the pointer.
    virtual QPixmap DragPicture() const = 0;
    // Raise OnDragOver (false without a handler) and OnDragDrop.
    virtual bool DragOverAt(const QPoint& Point, TDragState State) = 0;
    virtual void DragDropAt(const QPoint& Point) = 0;

protected:
    ~TDragHost() = default;
};

class TTreeDrag : public QObject {
    Q_OBJECT
public:
    enum class TStage { dgIdle, dgPressed, dgPending, dgActive, dgSpent };

    // Moves from the start point below this, on both axes, keep a drag pending.
    static constexpr int Threshold = 5;

    // Host must outlive the drag; Parent owns it.
    TTreeDrag(TDragHost& Host, QObject* Parent);
    // Ends a drag in progress silently.
    ~TTreeDrag() override;

    TStage Stage() const noexcept { return FStage; }
    // A drag is pending or active.
    bool Dragging() const noexcept { return FStage == TStage::dgPending || FStage == TStage::dgActive; }
    // The button that started the current press is still down (every stage but idle).
    bool Busy() const noexcept { return FStage != TStage::dgIdle; }
    // The drag image while one is shown, else nullptr.
    TDragImage* Image() const noexcept { return FImage; }

    // A left press (or double click) at Point (viewport coordinates). ClickSelects: a
    // release without a drag selects the entry under Point.
    void Press(const QPoint& Point, bool ClickSelects);
    // A press that can never become a drag (on an expand button): its release is swallowed.
    void PressElsewhere();
    // A pointer move with Buttons held.
    void Move(const QPoint& Point, Qt::MouseButtons Buttons);
    // A button release: ends a drag (with a drop when accepted) or completes a click.
    void Release(const QPoint& Point, Qt::MouseButton Button);
    // Escape: cancels a pending or active drag; the button's release is then swallowed.
    void Cancel();
    // Ends whatever is under way as if its button had been released without a drop.
    void Abandon();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Begin(const QPoint& Point);
    void Activate(const QPoint& Point);
    // Target, drag-over events, highlight, cursor and image for the pointer at Point.
    void Track(const QPoint& Point);
    bool DragOver(const QPoint& Point, TDragState State);
    bool OverTree(const QPoint& Point) const;
    // Removes every trace of the drag; the next stage is Next.
    void Finish(TStage Next) noexcept;
    // Finish, then a drag-leave at the last position when the tree was the target.
    void FinishWithLeave(TStage Next);

    TDragHost& FHost;
    TStage FStage = TStage::dgIdle;
    QPoint FPress; // where the button went down
    QPoint FStart; // where the drag began
    QPoint FLast;  // the last position tracked
    bool FClickSelects = false;
    bool FOverTree = false; // the tree is the current target
    bool FAccepted = false; // the last drag-over accepted
    bool FCursorSet = false;
    bool FFiltering = false;
    TDragImage* FImage = nullptr;
};
