#pragma once
// TForm1: the program's one window. Three columns across its full height: the
// outline (Panel1: the data-set bar ControlBar1 above TreeView1), the splitter, the
// entry editor (Panel3: the header Panel4 with Edit2 above Edit1, then Memo1) and the
// command buttons (Panel2). The window owns every control; they are reachable by
// their names as public members and as object names.
//
// Construction runs in three steps: the layout is built (the window's own
// properties, then each child in its order), then every component's after-load
// step, then the creation handler FormCreate(), which runs under its own error guard.
#include "BitBtn.h"
#include "Control.h"
#include "ControlBar.h"
#include "Edit.h"
#include "Memo.h"
#include "Panel.h"
#include "Splitter.h"
#include "TreeView.h"

#include <QMargins>
#include <QWidget>

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* Parent = nullptr);
    ~TForm1() override;

    // Outer geometry (frame included), in pixels. Where the platform reports no
    // frame the design frame is assumed, and values set before the real frame is
    // known are applied again once it is, so the stored outer geometry never drifts.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int Value);
    void SetTop(int Value);
    void SetWidth(int Value);

    // The frame used for outer geometry: the real one, or the design frame.
    QMargins FrameMargins() const;
    static constexpr QMargins DesignFrame{4, 23, 4, 4};

    // The window's effective minimum client width (the columns' limits).
    int EffectiveMinWidth() const;

    TSplitter* Splitter1 = nullptr;
    TPanel* Panel1 = nullptr;
    TTreeView* TreeView1 = nullptr;
    TControlBar* ControlBar1 = nullptr;
    TBitBtn* BitBtn9 = nullptr;
    TBitBtn* BitBtn10 = nullptr;
    TPanel* Panel2 = nullptr;
    TBitBtn* BitBtn1 = nullptr;
    TBitBtn* BitBtn2 = nullptr;
    TBitBtn* BitBtn3 = nullptr;
    TBitBtn* BitBtn7 = nullptr;
    TBitBtn* BitBtn8 = nullptr;
    TBitBtn* BitBtn4 = nullptr;
    TBitBtn* BitBtn6 = nullptr;
    TBitBtn* BitBtn5 = nullptr;
    TPanel* Panel3 = nullptr;
    TPanel* Panel4 = nullptr;
    TEdit* Edit1 = nullptr;
    TEdit* Edit2 = nullptr;
    TMemo* Memo1 = nullptr;

protected:
    // The creation handler: runs once, after the layout and the after-load steps.
    void FormCreate();
    // The close handler: runs when the user closes the window. An error leaving it
    // keeps the window open (the error box shows it).
    void FormClose();

    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool event(QEvent* Event) override;

private:
    void CreateControls();
    void CreateLeftColumn();
    void CreateRightColumn();
    void CreateCentreColumn();
    void SetTabOrder();
    void LoadedComponents();

    bool FrameKnown() const;
    void SetOuterGeometry(int NewLeft, int NewTop, int NewWidth);
    void UpdateMinimumWidth();

    TDockLayout* FLayout = nullptr;
    // Outer geometry last set while the real frame was not known yet.
    bool FOuterPending = false;
    int FOuterLeft = 0;
    int FOuterTop = 0;
    int FOuterWidth = 0;
    QSize FAppliedSize;
};
