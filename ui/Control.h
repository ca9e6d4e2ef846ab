#pragma once
// Docking and anchoring of a container's children.
//
// A container (the window, a panel) owns one TDockLayout. Each child it places is
// registered with its alignment, anchors and design bounds; AlignControls() then
// places the children inside the container's inner area in the fixed order:
// top-docked, bottom-docked, left-docked, right-docked, the client-docked child,
// and finally the anchored (undocked) children. A child that is itself a container
// is aligned again at once, so a whole subtree follows one size change without
// waiting for Qt's (deferred while hidden) resize events.
#include <QObject>
#include <QRect>
#include <QSize>

#include <functional>
#include <vector>

class QWidget;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Anchor sides; an undocked child holds the distance to every side it is anchored to.
enum TAnchorKind { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TDockLayout : public QObject {
    Q_OBJECT
public:
    // Owned by Container (as a QObject child). Frame is the width of the container's
    // own border inside its client area (1 for a bevelled panel), DesignSize the
    // container's client size that the children's design bounds refer to.
    TDockLayout(QWidget* Container, int Frame, QSize DesignSize);

    // Places Child at its design Bounds and registers how it follows the container.
    // Anchors matter only for alNone; docked children ignore them.
    void AddControl(QWidget* Child, TAlign Align, QRect Bounds, int Anchors = akLeft | akTop);

    // Places every registered child again for the container's current client size.
    void AlignControls();

    // The container's effective minimum client width: the largest of the minimum
    // widths of its top/bottom-docked children and, when client-docked children have
    // minimum widths, their sum plus the current widths of the left/right-docked
    // children; the container's frame is added on top. 0 when nothing limits it.
    int EffectiveMinWidth() const;

    // The layout of Container, or null if it places no children.
    static TDockLayout* Of(const QWidget* Container);
    // A widget's effective minimum width: its own minimumWidth(), or for a container
    // the larger of that and its layout's EffectiveMinWidth().
    static int EffectiveMinWidthOf(const QWidget* Widget);
    // Called after every AlignControls() (the window uses it to refresh its minimum size).
    void SetOnAligned(std::function<void()> Handler) { FOnAligned = std::move(Handler); }

    TAlign AlignOf(const QWidget* Child) const;

private:
    struct TItem {
        QWidget* Control;
        TAlign Align;
        int Anchors;
        QRect DesignBounds;
    };

    void PlaceAnchored(const TItem& Item, QSize Client) const;
    static void SetBoundsLimited(QWidget* Control, QRect Bounds);

    QWidget* FContainer;
    int FFrame;
    QSize FDesignSize;
    std::vector<TItem> FItems;
    bool FAligning = false;
    std::function<void()> FOnAligned;
};
