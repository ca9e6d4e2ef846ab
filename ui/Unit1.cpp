#include "Unit1.h"

#include "BitBtn.h"
#include "Control.h"
#include "ControlBar.h"
#include "Edit.h"
#include "Fonts.h"
#include "Guard.h"
#include "Memo.h"
#include "Panel.h"
#include "Splitter.h"
#include "TreeView.h"

#include <QCloseEvent>
#include <QIcon>
#include <QImage>

#include <algorithm>

// Resources of a static library are registered by hand (nothing references them).
static void InitResources() {
    Q_INIT_RESOURCE(quorvel);
}

namespace {
constexpr int DesignOuterHeight = 483;

const QColor clBlue(0, 0, 255);
const QColor clFuchsia(255, 0, 255);
const QColor clRed(255, 0, 0);
const QColor clMaroon(128, 0, 0);
const QColor clBlack(0, 0, 0);

template <class T> T* Named(T* Control, const char* Name) {
    Control->setObjectName(QString::fromLatin1(Name));
    return Control;
}

TBitBtn* CommandButton(QWidget* Parent, const char* Name, const QString& Caption, const QColor& Color) {
    TBitBtn* Button = Named(new TBitBtn(Parent), Name);
    Button->setText(Caption);
    Button->setFont(TFonts::Make(12));
    TFonts::SetFontColor(Button, Color);
    return Button;
}
} // namespace

TForm1::TForm1(QWidget* Parent) : QWidget(Parent) {
    CreateControls();
    LoadedComponents();
    // The creation handler has its own guard: an error is shown and creation goes on.
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    InitResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quorvelノート　1.7"));
    setWindowIcon(QIcon(QStringLiteral(":/quorvel/Quorvel.ico")));
    setFont(TFonts::Make(12));
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    FLayout = new TDockLayout(this, 0, QSize(920, 456));
    SetOuterGeometry(54, 42, 928);

    Splitter1 = Named(new TSplitter(this), "Splitter1");
    Splitter1->SetMinSize(50);
    CreateLeftColumn();
    CreateRightColumn();
    CreateCentreColumn();
    FLayout->AddControl(Splitter1, TAlign::alLeft, QRect(313, 0, 2, 456));
    FLayout->SetOnAligned([this] { UpdateMinimumWidth(); });
    SetTabOrder();
    FLayout->AlignControls();
}

void TForm1::CreateLeftColumn() {
    Panel1 = Named(new TPanel(this, QSize(313, 456)), "Panel1");
    Panel1->SetCaption(QStringLiteral("Panel1"));
    FLayout->AddControl(Panel1, TAlign::alLeft, QRect(0, 0, 313, 456));

    TreeView1 = Named(new TTreeView(Panel1), "TreeView1");
    TreeView1->setFont(TFonts::Make(13));
    TFonts::SetFontColor(TreeView1, clBlack);
    TreeView1->setMinimumWidth(40);
    TreeView1->setIndentation(40);
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Panel1->Layout().AddControl(TreeView1, TAlign::alClient, QRect(1, 31, 311, 424));

    ControlBar1 = Named(new TControlBar(Panel1), "ControlBar1");
    Panel1->Layout().AddControl(ControlBar1, TAlign::alTop, QRect(1, 1, 311, 30));
    BitBtn9 = Named(new TBitBtn(ControlBar1), "BitBtn9");
    BitBtn9->setText(QStringLiteral("類型別要件事実"));
    BitBtn9->setFixedSize(118, 22);
    ControlBar1->AddBand(BitBtn9, QPoint(11, 2));
    BitBtn10 = Named(new TBitBtn(ControlBar1), "BitBtn10");
    BitBtn10->setText(QStringLiteral("条文別要件事実"));
    BitBtn10->setFixedSize(118, 22);
    ControlBar1->AddBand(BitBtn10, QPoint(143, 2));
}

void TForm1::CreateRightColumn() {
    Panel2 = Named(new TPanel(this, QSize(89, 456)), "Panel2");
    FLayout->AddControl(Panel2, TAlign::alRight, QRect(831, 0, 89, 456));

    struct TButtonDef {
        TBitBtn* TForm1::*Member;
        const char* Name;
        int Top;
        QString Caption;
        QColor Color;
    };
    const TButtonDef Buttons[] = {
        {&TForm1::BitBtn1, "BitBtn1", 14, QStringLiteral("兄弟追加"), clBlue},
        {&TForm1::BitBtn2, "BitBtn2", 54, QStringLiteral("子供追加"), clBlue},
        {&TForm1::BitBtn3, "BitBtn3", 94, QStringLiteral("抹　　消"), clBlue},
        {&TForm1::BitBtn7, "BitBtn7", 206, QStringLiteral("開　　く"), clFuchsia},
        {&TForm1::BitBtn8, "BitBtn8", 246, QStringLiteral("閉じる"), clFuchsia},
        {&TForm1::BitBtn4, "BitBtn4", 310, QStringLiteral("訂　　正"), clRed},
        {&TForm1::BitBtn6, "BitBtn6", 350, QStringLiteral("保　　存"), clMaroon},
    };
    for (const TButtonDef& Def : Buttons) {
        TBitBtn* Button = CommandButton(Panel2, Def.Name, Def.Caption, Def.Color);
        Panel2->Layout().AddControl(Button, TAlign::alNone, QRect(11, Def.Top, 65, 33), akTop | akRight);
        this->*Def.Member = Button;
    }
    BitBtn5 = Named(new TBitBtn(Panel2), "BitBtn5");
    BitBtn5->SetGlyph(QImage(QStringLiteral(":/quorvel/Credits.bmp")));
    Panel2->Layout().AddControl(BitBtn5, TAlign::alNone, QRect(11, 392, 65, 33), akTop | akRight);
}

void TForm1::CreateCentreColumn() {
    Panel3 = Named(new TPanel(this, QSize(516, 456)), "Panel3");
    Panel3->SetCaption(QStringLiteral("Panel3"));
    FLayout->AddControl(Panel3, TAlign::alClient, QRect(315, 0, 516, 456));

    Panel4 = Named(new TPanel(Panel3, QSize(514, 44)), "Panel4");
    Panel3->Layout().AddControl(Panel4, TAlign::alTop, QRect(1, 1, 514, 44));

    Edit1 = Named(new TEdit(Panel4), "Edit1");
    Edit1->setFont(TFonts::Make(13));
    TFonts::SetFontColor(Edit1, clFuchsia);
    Panel4->Layout().AddControl(Edit1, TAlign::alNone, QRect(0, 22, 511, 21), akLeft | akTop | akRight);

    // Edit2 lies above Edit1 although it follows it in the tab order.
    Edit2 = Named(new TEdit(Panel4), "Edit2");
    Edit2->setFont(TFonts::Make(13));
    TFonts::SetFontColor(Edit2, clBlue);
    Edit2->setText(QStringLiteral("　Quorvel"));
    Panel4->Layout().AddControl(Edit2, TAlign::alNone, QRect(0, 0, 511, 21), akLeft | akTop | akRight);

    Memo1 = Named(new TMemo(Panel3), "Memo1");
    Memo1->setFont(TFonts::Make(13));
    Memo1->setMinimumWidth(40);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setTabChangesFocus(true);
    Panel3->Layout().AddControl(Memo1, TAlign::alClient, QRect(1, 45, 514, 410));
}

void TForm1::SetTabOrder() {
    QWidget* const Order[] = {TreeView1, BitBtn9, BitBtn10, BitBtn1, BitBtn2, BitBtn3, BitBtn7,
                              BitBtn8,   BitBtn4, BitBtn6,  BitBtn5, Edit1,   Edit2,   Memo1};
    for (std::size_t I = 0; I + 1 < std::size(Order); ++I) {
        QWidget::setTabOrder(Order[I], Order[I + 1]);
    }
    // First activation focuses the first tab stop.
    TreeView1->setFocus();
}

void TForm1::LoadedComponents() {
    // After-load step of every component, the window first. The window's own step
    // places the controls for the size the layout left it.
    FLayout->AlignControls();
}

void TForm1::FormCreate() {}

void TForm1::FormClose() {}

void TForm1::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    if (FLayout != nullptr) {
        Guarded([this] { FLayout->AlignControls(); });
    }
}

void TForm1::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    if (focusWidget() == nullptr) {
        TreeView1->setFocus();
    }
}

void TForm1::closeEvent(QCloseEvent* Event) {
    if (Guarded([this] { FormClose(); })) {
        Event->accept();
    } else {
        Event->ignore();
    }
}

bool TForm1::event(QEvent* Event) {
    const bool Result = QWidget::event(Event);
    switch (Event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowStateChange:
        if (FOuterPending && FrameKnown()) {
            // The window manager has framed the window: apply the outer geometry again
            // with the real frame, once the platform has finished placing it.
            FOuterPending = false;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    // A size set since then by other means (the user, a resize()) wins.
                    if (size() == FAppliedSize) {
                        Guarded([this] { SetOuterGeometry(FOuterLeft, FOuterTop, FOuterWidth); });
                    }
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return Result;
}

bool TForm1::FrameKnown() const {
    return frameGeometry() != geometry();
}

QMargins TForm1::FrameMargins() const {
    if (!FrameKnown()) {
        return DesignFrame;
    }
    const QRect Outer = frameGeometry();
    const QRect Inner = geometry();
    return {Inner.left() - Outer.left(), Inner.top() - Outer.top(), Outer.right() - Inner.right(),
            Outer.bottom() - Inner.bottom()};
}

int TForm1::Left() const {
    return geometry().x() - FrameMargins().left();
}

int TForm1::Top() const {
    return geometry().y() - FrameMargins().top();
}

int TForm1::Width() const {
    const QMargins Frame = FrameMargins();
    return geometry().width() + Frame.left() + Frame.right();
}

int TForm1::Height() const {
    const QMargins Frame = FrameMargins();
    return geometry().height() + Frame.top() + Frame.bottom();
}

void TForm1::SetLeft(int Value) {
    SetOuterGeometry(Value, Top(), Width());
}

void TForm1::SetTop(int Value) {
    SetOuterGeometry(Left(), Value, Width());
}

void TForm1::SetWidth(int Value) {
    SetOuterGeometry(Left(), Top(), Value);
}

void TForm1::SetOuterGeometry(int NewLeft, int NewTop, int NewWidth) {
    const QMargins Frame = FrameMargins();
    FOuterPending = !FrameKnown();
    FOuterLeft = NewLeft;
    FOuterTop = NewTop;
    FOuterWidth = NewWidth;
    // The height is the design's outer height; only the frame decides the client's.
    setGeometry(NewLeft + Frame.left(), NewTop + Frame.top(), NewWidth - Frame.left() - Frame.right(),
                DesignOuterHeight - Frame.top() - Frame.bottom());
    FAppliedSize = size();
}

int TForm1::EffectiveMinWidth() const {
    return FLayout->EffectiveMinWidth();
}

void TForm1::UpdateMinimumWidth() {
    const int Min = FLayout->EffectiveMinWidth();
    if (Min != minimumWidth()) {
        setMinimumWidth(Min);
    }
}
