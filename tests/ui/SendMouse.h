#pragma once
// A mouse event sent straight to a widget, At in its own coordinates.
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

inline void SendMouse(QWidget* To, QEvent::Type Type, QPointF At, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
    QMouseEvent Event(Type, At, To->mapToGlobal(At), Button, Buttons, Qt::NoModifier);
    QApplication::sendEvent(To, &Event);
}
