#include "Panel.h"

#include "Guard.h"

#include <QPainter>

TPanel::TPanel(QWidget* Parent, QSize DesignSize) : QWidget(Parent), FLayout(new TDockLayout(this, 1, DesignSize)) {
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void TPanel::SetCaption(const QString& Caption) {
    FCaption = Caption;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QRect R = rect();
    if (!FCaption.isEmpty()) {
        Painter.setPen(palette().color(QPalette::WindowText));
        Painter.drawText(R, Qt::AlignCenter | Qt::TextSingleLine, FCaption);
    }
    // Raised outer bevel: light on the top and left, shadow on the bottom and right.
    Painter.setPen(palette().color(QPalette::Light));
    Painter.drawLine(R.left(), R.top(), R.right(), R.top());
    Painter.drawLine(R.left(), R.top(), R.left(), R.bottom());
    Painter.setPen(palette().color(QPalette::Dark));
    Painter.drawLine(R.left(), R.bottom(), R.right(), R.bottom());
    Painter.drawLine(R.right(), R.top(), R.right(), R.bottom());
}

void TPanel::resizeEvent(QResizeEvent*) {
    Guarded([this] { FLayout->AlignControls(); });
}
