#pragma once
// TSplitter: a thin bar between a left-docked control and the rest of its parent.
// A left-button drag shows an inverted checker line where the splitter will land;
// the release resizes the control left of the splitter and aligns the parent again;
// Esc during the drag cancels it. A width of MinSize or less snaps the control shut
// (its width becomes 0, which its effective minimum width then raises).
#include <QPointer>
#include <QWidget>

class TSplitterLine;

class TSplitter : public QWidget {
    Q_OBJECT
public:
    explicit TSplitter(QWidget* Parent);

    int MinSize() const { return FMinSize; }
    void SetMinSize(int MinSize) { FMinSize = MinSize; }

    // State of a drag in progress, for the window and its tests.
    bool Dragging() const { return FControl != nullptr; }
    bool PreviewVisible() const;
    // Left edge of the preview line in the parent's coordinates.
    int PreviewLeft() const;

Q_SIGNALS:
    // After a completed drag changed the control's width.
    void Moved();

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QWidget* FindControl() const;
    void CalcSplitSize(int X, int& NewSize, int& Split) const;
    void ShowLine();
    void StopSizing();
    void UpdateControlSize();

    int FMinSize = 50;
    QPointer<QWidget> FControl;
    int FDownX = 0;
    int FMaxSize = 0;
    int FNewSize = 0;
    int FSplit = 0;
    TSplitterLine* FLine = nullptr;
};
