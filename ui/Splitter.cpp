#include "Splitter.h"

#include "Control.h"
#include "Guard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

// The preview line: painted in difference mode with a white checker, so every other
// pixel under it is inverted and the rest stays as it was.
class TSplitterLine : public QWidget {
public:
    explicit TSplitterLine(QWidget* Parent) : QWidget(Parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter Painter(this);
        Painter.setCompositionMode(QPainter::CompositionMode_Difference);
        Painter.fillRect(rect(), QBrush(Qt::white, Qt::Dense4Pattern));
    }
};

TSplitter::TSplitter(QWidget* Parent) : QWidget(Parent) {
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

bool TSplitter::PreviewVisible() const {
    return FLine != nullptr && FLine->isVisible();
}

int TSplitter::PreviewLeft() const {
    return FLine != nullptr ? FLine->x() : x();
}

QWidget* TSplitter::FindControl() const {
    // The control to resize is the sibling under the pixel just left of the splitter.
    const QPoint P(x() - 1, y());
    for (QObject* Child : parentWidget()->children()) {
        auto* Widget = qobject_cast<QWidget*>(Child);
        if (Widget == nullptr || Widget == this || Widget == FLine || !Widget->isVisibleTo(parentWidget())) {
            continue;
        }
        QRect R = Widget->geometry();
        if (R.width() == 0) {
            R.setLeft(R.left() - 1); // a shut control still counts as one pixel wide
        }
        if (R.contains(P)) {
            return Widget;
        }
    }
    return nullptr;
}

void TSplitter::CalcSplitSize(int X, int& NewSize, int& Split) const {
    Split = X - FDownX;
    const int S = FControl->width() + Split;
    NewSize = S;
    if (S < FMinSize) {
        NewSize = FMinSize;
    } else if (S > FMaxSize) {
        NewSize = FMaxSize;
    }
    Split += NewSize - S;
}

void TSplitter::mousePressEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (Event->button() != Qt::LeftButton || Dragging()) {
            return;
        }
        FControl = FindControl();
        FDownX = qRound(Event->position().x());
        if (FControl == nullptr) {
            return;
        }
        // The centre keeps at least MinSize: subtract every side-docked sibling.
        FMaxSize = parentWidget()->width() - FMinSize;
        if (const TDockLayout* Layout = TDockLayout::Of(parentWidget())) {
            for (QObject* Child : parentWidget()->children()) {
                auto* Widget = qobject_cast<QWidget*>(Child);
                if (Widget == nullptr || !Widget->isVisibleTo(parentWidget())) {
                    continue;
                }
                const TAlign Align = Layout->AlignOf(Widget);
                if (Align == TAlign::alLeft || Align == TAlign::alRight) {
                    FMaxSize -= Widget->width();
                }
            }
        }
        FMaxSize += FControl->width();
        CalcSplitSize(FDownX, FNewSize, FSplit);
        qApp->installEventFilter(this);
        ShowLine();
    });
}

void TSplitter::mouseMoveEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (!(Event->buttons() & Qt::LeftButton) || !Dragging()) {
            return;
        }
        int NewSize = 0;
        int Split = 0;
        CalcSplitSize(qRound(Event->position().x()), NewSize, Split);
        if (NewSize <= FMinSize) {
            NewSize = 0; // snaps shut; the line stays at the MinSize position
        }
        FNewSize = NewSize;
        FSplit = Split;
        ShowLine();
    });
}

void TSplitter::mouseReleaseEvent(QMouseEvent* Event) {
    Guarded([&] {
        if (Event->button() != Qt::LeftButton || !Dragging()) {
            return;
        }
        UpdateControlSize();
        StopSizing();
    });
}

bool TSplitter::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::KeyPress && Dragging()) {
        if (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
            Guarded([this] { StopSizing(); });
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TSplitter::ShowLine() {
    if (FLine == nullptr) {
        FLine = new TSplitterLine(parentWidget());
    }
    FLine->setGeometry(x() + FSplit, y(), width(), height());
    FLine->raise();
    FLine->show();
    FLine->update();
}

void TSplitter::StopSizing() {
    if (FLine != nullptr) {
        FLine->hide();
    }
    FControl = nullptr;
    qApp->removeEventFilter(this);
}

void TSplitter::UpdateControlSize() {
    QWidget* Control = FControl;
    // A width below the control's effective minimum (the snap's 0) is raised to it.
    const int Width = std::max(FNewSize, TDockLayout::EffectiveMinWidthOf(Control));
    if (Width == Control->width()) {
        return;
    }
    Control->resize(Width, Control->height());
    if (TDockLayout* Layout = TDockLayout::Of(parentWidget())) {
        Layout->AlignControls();
    }
    Q_EMIT Moved();
}
