#pragma once
// TControlBar: a bar of movable bands. Each band holds one control (a button) and is
// the control's rectangle enlarged by BandMarginLeft on the left and BandMargin on
// the other sides, with a grip in its left margin. Bands lie in rows RowSize high;
// the bar's height follows its rows (rows x RowSize + the 2 px frame top and bottom),
// and the parent's layout is aligned again when it changes.
//
// Dragging a band by its margin moves it along its row or into another row. A band
// dragged farther outside the client area than its control is high, or a double-click
// on its margin, starts an ordinary drag of the control instead (ButtonDragStarted).
// Positions are in the client area, which lies inside the 2 px frame (contentsRect()).
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <vector>

class TControlBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int RowSize = 26;
    static constexpr int BandMarginLeft = 11;
    static constexpr int BandMargin = 2;
    static constexpr int Frame = 2;

    explicit TControlBar(QWidget* Parent);

    // Puts Control (a child of the bar) on a new band; Pos is the control's top-left
    // in the client area, from which the band's row and place are taken.
    void AddBand(QWidget* Control, QPoint Pos);

    int RowCount() const;
    // The band of Control in client coordinates (empty if it has none).
    QRect BandRect(const QWidget* Control) const;
    QRect ClientRect() const { return contentsRect(); }

Q_SIGNALS:
    // An ordinary drag of Control is starting (emitted just before it runs).
    void ButtonDragStarted(QWidget* Control);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;

private:
    struct TBand {
        QWidget* Control;
        int Row;
        int Left; // band's left edge in the client area
    };

    QRect BandRectOf(const TBand& Band) const;
    int BandAt(QPoint ClientPos) const;
    void Arrange();
    void StartControlDrag(QWidget* Control);

    std::vector<TBand> FBands;
    int FDragBand = -1;
    QPoint FDragOffset;
    std::vector<TBand> FBandsBeforeDrag;
};
