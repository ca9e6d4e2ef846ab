#pragma once
// Mouse and key input for a tree's viewport, sent as the window system delivers it:
// moves carry the buttons held, positions are in viewport coordinates.
#include "SendMouse.h"
#include "TreeView.h"

#include <QApplication>
#include <QKeyEvent>

class TTreeMouse {
public:
    explicit TTreeMouse(TTreeView* View) : FView(View) {}

    void Send(QEvent::Type Type, QPoint At, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
        SendMouse(FView->viewport(), Type, At, Button, Buttons);
    }
    void Press(QPoint At) { Send(QEvent::MouseButtonPress, At, Qt::LeftButton, Qt::LeftButton); }
    void MoveTo(QPoint At) { Send(QEvent::MouseMove, At, Qt::NoButton, Qt::LeftButton); }
    void Release(QPoint At) { Send(QEvent::MouseButtonRelease, At, Qt::LeftButton, Qt::NoButton); }
    // Key events go to the tree, which has the focus during a drag.
    void Key(Qt::Key Code, QEvent::Type Type = QEvent::KeyPress) {
        const bool Control = Type == QEvent::KeyPress && Code == Qt::Key_Control;
        QKeyEvent Event(Type, Code, Control ? Qt::ControlModifier : Qt::NoModifier);
        QApplication::sendEvent(FView, &Event);
    }

    // Presses at From and moves just far enough for the tree to see a drag; returns the
    // drag's start point.
    QPoint Begin(QPoint From) {
        Press(From);
        const QPoint Start = From + QPoint(QApplication::startDragDistance(), 0);
        MoveTo(Start);
        return Start;
    }
    // A whole drag from From to To in a few steps, released at To.
    void Drag(QPoint From, QPoint To) {
        const QPoint Start = Begin(From);
        for (int Step = 1; Step <= 4; ++Step)
            MoveTo(Start + (To - Start) * Step / 4);
        Release(To);
    }

    // A point of another widget, in the viewport's coordinates.
    QPoint InPort(const QWidget* Widget, QPoint At) const {
        return FView->viewport()->mapFromGlobal(Widget->mapToGlobal(At));
    }

private:
    TTreeView* FView;
};
