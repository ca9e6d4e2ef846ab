#include "ControlBar.h"

#include "Control.h"
#include "Guard.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
void DrawEdge(QPainter& Painter, QRect R, const QColor& TopLeft, const QColor& BottomRight) {
    Painter.setPen(TopLeft);
    Painter.drawLine(R.left(), R.top(), R.right(), R.top());
    Painter.drawLine(R.left(), R.top(), R.left(), R.bottom());
    Painter.setPen(BottomRight);
    Painter.drawLine(R.left(), R.bottom(), R.right(), R.bottom());
    Painter.drawLine(R.right(), R.top(), R.right(), R.bottom());
}

QPoint ClientPoint(const QWidget* Bar, const QMouseEvent* Event) {
    return Event->position().toPoint() - Bar->contentsRect().topLeft();
}
} // namespace

TControlBar::TControlBar(QWidget* Parent) : QWidget(Parent) {
    setFocusPolicy(Qt::NoFocus);
    setContentsMargins(Frame, Frame, Frame, Frame);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void TControlBar::AddBand(QWidget* Control, QPoint Pos) {
    const int Row = std::max(0, (Pos.y() - BandMargin) / RowSize);
    FBands.push_back(TBand{Control, Row, Pos.x() - BandMarginLeft});
    Arrange();
}

int TControlBar::RowCount() const {
    int Rows = 0;
    for (const TBand& Band : FBands) {
        Rows = std::max(Rows, Band.Row + 1);
    }
    return Rows;
}

QRect TControlBar::BandRectOf(const TBand& Band) const {
    return QRect(Band.Left, Band.Row * RowSize, Band.Control->width() + BandMarginLeft + BandMargin,
                 Band.Control->height() + 2 * BandMargin);
}

QRect TControlBar::BandRect(const QWidget* Control) const {
    for (const TBand& Band : FBands) {
        if (Band.Control == Control) {
            return BandRectOf(Band);
        }
    }
    return {};
}

int TControlBar::BandAt(QPoint ClientPos) const {
    for (std::size_t I = 0; I < FBands.size(); ++I) {
        if (BandRectOf(FBands[I]).contains(ClientPos)) {
            return static_cast<int>(I);
        }
    }
    return -1;
}

void TControlBar::Arrange() {
    // Rows are renumbered without gaps; inside a row the bands keep their order from
    // the left and an overlapping band is pushed right of its neighbour.
    std::vector<int> Rows;
    for (const TBand& Band : FBands) {
        Rows.push_back(Band.Row);
    }
    std::sort(Rows.begin(), Rows.end());
    Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
    for (TBand& Band : FBands) {
        Band.Row = static_cast<int>(std::lower_bound(Rows.begin(), Rows.end(), Band.Row) - Rows.begin());
    }
    std::vector<TBand*> Order;
    for (TBand& Band : FBands) {
        Order.push_back(&Band);
    }
    std::stable_sort(Order.begin(), Order.end(), [](const TBand* A, const TBand* B) {
        return A->Row != B->Row ? A->Row < B->Row : A->Left < B->Left;
    });
    int Row = -1;
    int NextLeft = 0;
    for (TBand* Band : Order) {
        if (Band->Row != Row) {
            Row = Band->Row;
            NextLeft = 0;
        }
        Band->Left = std::max(Band->Left, NextLeft);
        NextLeft = Band->Left + BandRectOf(*Band).width() + 1;
    }
    const QPoint Origin = contentsRect().topLeft();
    for (const TBand& Band : FBands) {
        Band.Control->move(Origin + QPoint(Band.Left + BandMarginLeft, Band.Row * RowSize + BandMargin));
    }
    const int Height = RowCount() * RowSize + 2 * Frame;
    if (Height != height()) {
        resize(width(), Height);
        if (TDockLayout* Layout = TDockLayout::Of(parentWidget())) {
            Layout->AlignControls();
        }
    }
    update();
}

void TControlBar::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QColor Light = palette().color(QPalette::Light);
    const QColor Dark = palette().color(QPalette::Dark);
    // Etched frame: a lowered outer edge around a raised inner one.
    DrawEdge(Painter, rect(), Dark, Light);
    DrawEdge(Painter, rect().adjusted(1, 1, -1, -1), Light, Dark);
    Painter.translate(contentsRect().topLeft());
    for (const TBand& Band : FBands) {
        const QRect R = BandRectOf(Band);
        DrawEdge(Painter, R, Light, Dark);
        for (int GripX : {3, 6}) {
            DrawEdge(Painter, QRect(R.left() + GripX, R.top() + 2, 3, R.height() - 5), Light, Dark);
        }
    }
}

void TControlBar::mousePressEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (Event->button() != Qt::LeftButton) {
            return;
        }
        const QPoint P = ClientPoint(this, Event);
        FDragBand = BandAt(P);
        if (FDragBand >= 0) {
            FDragOffset = P - BandRectOf(FBands[static_cast<std::size_t>(FDragBand)]).topLeft();
            FBandsBeforeDrag = FBands;
        }
    });
}

void TControlBar::mouseMoveEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (FDragBand < 0 || !(Event->buttons() & Qt::LeftButton)) {
            return;
        }
        const QPoint P = ClientPoint(this, Event);
        TBand& Band = FBands[static_cast<std::size_t>(FDragBand)];
        const QRect Client(QPoint(0, 0), contentsRect().size());
        const int Outside =
            std::max({Client.left() - P.x(), P.x() - Client.right(), Client.top() - P.y(), P.y() - Client.bottom(), 0});
        if (Outside > Band.Control->height()) {
            // Too far out for a band move: the bands go back and the control itself is dragged.
            QWidget* Control = Band.Control;
            FBands = FBandsBeforeDrag;
            FDragBand = -1;
            Arrange();
            StartControlDrag(Control);
            return;
        }
        const int Top = P.y() - FDragOffset.y() + RowSize / 2;
        int Row = static_cast<int>(std::floor(static_cast<double>(Top) / RowSize));
        if (Row < 0) {
            // Above the first row: a new row on top.
            for (TBand& Other : FBands) {
                ++Other.Row;
            }
            Row = 0;
        }
        Band.Row = Row;
        Band.Left = std::max(0, P.x() - FDragOffset.x());
        // Bands the dragged one lands on make way to its right.
        for (TBand& Other : FBands) {
            if (&Other != &Band && Other.Row == Band.Row && Other.Left >= Band.Left) {
                Other.Left = std::max(Other.Left, Band.Left + 1);
            }
        }
        Arrange();
    });
}

void TControlBar::mouseReleaseEvent(QMouseEvent*) {
    FDragBand = -1;
}

void TControlBar::mouseDoubleClickEvent(QMouseEvent* Event) {
    Guarded([&] {
        const int Index = BandAt(ClientPoint(this, Event));
        if (Event->button() == Qt::LeftButton && Index >= 0) {
            FDragBand = -1;
            StartControlDrag(FBands[static_cast<std::size_t>(Index)].Control);
        }
    });
}

void TControlBar::StartControlDrag(QWidget* Control) {
    Q_EMIT ButtonDragStarted(Control);
    auto* Drag = new QDrag(Control);
    auto* Data = new QMimeData;
    Data->setData(QStringLiteral("application/x-quorvel-control"), Control->objectName().toUtf8());
    Drag->setMimeData(Data);
    Drag->setPixmap(Control->grab());
    Drag->exec(Qt::MoveAction);
}
