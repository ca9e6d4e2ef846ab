#include "FindBar.h"

#include "Edit.h"
#include "Fonts.h"
#include "Guard.h"
#include "Memo.h"
#include "TreeView.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <vector>

namespace {

const QColor clRed(255, 0, 0);

QToolButton* BarButton(QWidget* Parent, const char* Name, const QString& Tip) {
    auto* Button = new QToolButton(Parent);
    Button->setObjectName(QString::fromLatin1(Name));
    Button->setToolTip(Tip);
    Button->setAutoRaise(true);
    // The focus stays in the field whatever is clicked.
    Button->setFocusPolicy(Qt::NoFocus);
    Button->setFixedSize(20, 20);
    return Button;
}

QAction* WindowAction(QWidget* Window, const QString& Text, const QKeySequence& Key) {
    auto* Action = new QAction(Text, Window);
    Action->setShortcut(Key);
    Action->setShortcutContext(Qt::WindowShortcut);
    Window->addAction(Action);
    return Action;
}

} // namespace

TFindBar::TFindBar(QWidget* Window, TTreeView* Tree, TEdit* Title, TMemo* Body)
    : QFrame(Window), FWindow(Window), FTree(Tree), FTitle(Title), FBody(Body),
      FIndex(std::make_unique<TFindIndex>(Tree->Items())) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    // Keeps the focus from leaving the field when the bar itself is clicked.
    setFocusPolicy(Qt::NoFocus);

    FField = new QLineEdit(this);
    FField->setObjectName(QStringLiteral("FindEdit"));
    FField->setPlaceholderText(QStringLiteral("検索"));
    FField->setMinimumWidth(100);
    FField->installEventFilter(this);

    FPrevious = BarButton(this, "FindPrevious", QStringLiteral("前を検索 (Shift+F3)"));
    FPrevious->setArrowType(Qt::UpArrow);
    FNext = BarButton(this, "FindNext", QStringLiteral("次を検索 (F3)"));
    FNext->setArrowType(Qt::DownArrow);

    FStatus = new QLabel(this);
    FStatus->setObjectName(QStringLiteral("FindStatus"));
    TFonts::SetFontColor(FStatus, clRed);
    // Room for the message from the start: the bar keeps its size when it appears.
    FStatus->setMinimumWidth(FStatus->fontMetrics().horizontalAdvance(QStringLiteral("見つかりません")) + 4);

    FClose = BarButton(this, "FindClose", QStringLiteral("閉じる (Esc)"));
    FClose->setText(QStringLiteral("×"));

    auto* Row = new QHBoxLayout(this);
    Row->setContentsMargins(4, 2, 4, 2);
    Row->setSpacing(3);
    Row->addWidget(FField, 1);
    Row->addWidget(FPrevious);
    Row->addWidget(FNext);
    Row->addWidget(FStatus);
    Row->addWidget(FClose);

    FFindAction = WindowAction(Window, QStringLiteral("検索"), QKeySequence::Find);
    FFindAction->setObjectName(QStringLiteral("FindAction"));
    FNextAction = WindowAction(Window, QStringLiteral("次を検索"), QKeySequence(Qt::Key_F3));
    FPreviousAction = WindowAction(Window, QStringLiteral("前を検索"), QKeySequence(Qt::SHIFT | Qt::Key_F3));
    connect(FFindAction, &QAction::triggered, this, [this] { Guarded([this] { Open(); }); });
    connect(FNextAction, &QAction::triggered, this, [this] { Guarded([this] { FindNext(fdNext); }); });
    connect(FPreviousAction, &QAction::triggered, this, [this] { Guarded([this] { FindNext(fdPrevious); }); });
    connect(FNext, &QToolButton::clicked, this, [this] { Guarded([this] { FindNext(fdNext); }); });
    connect(FPrevious, &QToolButton::clicked, this, [this] { Guarded([this] { FindNext(fdPrevious); }); });
    connect(FClose, &QToolButton::clicked, this, [this] { Guarded([this] { Close(); }); });
    connect(FField, &QLineEdit::textEdited, this, [this] { Guarded([this] { ShowStatus(QString()); }); });

    FBuildTimer.setInterval(0);
    connect(&FBuildTimer, &QTimer::timeout, this, [this] {
        Guarded([this] {
            if (FIndex->BuildFor(BuildSlice))
                FBuildTimer.stop();
        });
    });

    // Once find has been used, a newly loaded data set is folded between events too.
    FIndex->OnReset = [this] {
        if (FUsed)
            StartBuilding();
    };
    FTree->installEventFilter(this);
    hide();
}

TFindBar::~TFindBar() {
    FTree->removeEventFilter(this);
}

void TFindBar::Open() {
    if (!isVisible()) {
        FField->setText(FLastSearched);
        ShowStatus(QString());
        Place();
        show();
    }
    raise();
    FField->selectAll();
    FField->setFocus(Qt::ShortcutFocusReason);
    StartBuilding();
}

void TFindBar::Close() {
    hide();
    FTitle->ClearMark();
    FTree->setFocus(Qt::OtherFocusReason);
}

void TFindBar::StartBuilding() {
    FUsed = true;
    if (!FIndex->Complete() && !FBuildTimer.isActive())
        FBuildTimer.start();
}

void TFindBar::ShowStatus(const QString& Text) {
    if (FStatus->text() != Text)
        FStatus->setText(Text);
}

TTreeNode* TFindBar::FindNext(TFindDirection Direction) {
    if (!isVisible())
        Open();
    const QString Text = FField->text();
    if (Text.isEmpty())
        return nullptr;
    FLastSearched = Text;
    const std::optional<std::string> Needle = TFindText::Needle(Text);
    TTreeNodes& Items = FTree->Items();
    TTreeNode* Selected = Items.SelectedEntry();
    TTreeNode* Found = nullptr;
    if (Needle) {
        // The selected entry is searched as the fields show it, committed or not.
        Found = FIndex->Find(*Needle, Selected, Direction, Selected, Selected ? FieldsFolded() : std::string_view());
    }
    FBuildTimer.stop();
    if (Found == nullptr) {
        ShowStatus(QStringLiteral("見つかりません"));
        return nullptr;
    }
    ShowStatus(QString());
    Reveal(Found);
    if (Found != Selected)
        Items.SelectEntry(Found);
    // A handler may have kept the selection elsewhere: mark only what the fields show.
    if (Items.SelectedEntry() != Found)
        return nullptr;
    FTree->scrollTo(FTree->IndexOf(Found));
    const QRect Row(FTree->viewport()->mapTo(FWindow, FTree->visualRect(FTree->IndexOf(Found)).topLeft()),
                    FTree->visualRect(FTree->IndexOf(Found)).size());
    if (Row.intersects(geometry())) {
        // Centring a row also centres the column sideways, which would hide the start of
        // every title once one is wider than the tree.
        const int Horizontal = FTree->horizontalScrollBar()->value();
        FTree->scrollTo(FTree->IndexOf(Found), QAbstractItemView::PositionAtCenter);
        FTree->horizontalScrollBar()->setValue(Horizontal);
    }
    Mark(*Needle);
    return Found;
}

std::string_view TFindBar::FieldsFolded() {
    // Comparing the fields' text costs far less than folding it again.
    QString Title = FTitle->text();
    QString Body = FBody->toPlainText();
    if (Title != FFieldsTitle || Body != FFieldsBody) {
        FFieldsFolded = TFindIndex::FoldFields(Title, Body);
        FFieldsTitle = std::move(Title);
        FFieldsBody = std::move(Body);
    }
    return FFieldsFolded;
}

void TFindBar::Reveal(TTreeNode* Entry) {
    std::vector<TTreeNode*> Ancestors;
    for (TTreeNode* N = Entry->Parent(); N; N = N->Parent())
        Ancestors.push_back(N);
    TTreeNodes& Items = FTree->Items();
    for (auto It = Ancestors.rbegin(); It != Ancestors.rend(); ++It)
        if (!(*It)->Expanded())
            Items.ExpandEntry(*It, false);
}

void TFindBar::Mark(const std::string& Needle) {
    FTitle->ClearMark();
    const TFindText::TRange InTitle = TFindText::Locate(FTitle->text(), Needle);
    if (InTitle.Length > 0) {
        FTitle->MarkText(static_cast<int>(InTitle.Start), static_cast<int>(InTitle.Length));
        return;
    }
    const TFindText::TRange InBody = TFindText::Locate(FBody->toPlainText(), Needle);
    if (InBody.Length == 0)
        return;
    QTextCursor Cursor(FBody->document());
    Cursor.setPosition(static_cast<int>(InBody.Start));
    Cursor.setPosition(static_cast<int>(InBody.Start + InBody.Length), QTextCursor::KeepAnchor);
    FBody->setTextCursor(Cursor);
    FBody->ensureCursorVisible();
}

void TFindBar::Place() {
    const QRect Tree(FTree->mapTo(FWindow, QPoint(0, 0)), FTree->size());
    const QSize Hint = sizeHint();
    const int Width = std::min(std::max(Tree.width() - 4, Hint.width()), FWindow->width());
    const int Left = std::max(0, std::min(Tree.left() + 2, FWindow->width() - Width));
    setGeometry(Left, Tree.bottom() - 1 - Hint.height(), Width, Hint.height());
}

bool TFindBar::eventFilter(QObject* Watched, QEvent* Event) {
    bool Handled = false;
    Guarded([&] {
        if (Watched == FTree && (Event->type() == QEvent::Resize || Event->type() == QEvent::Move)) {
            if (isVisible())
                Place();
            return;
        }
        if (Watched != FField || Event->type() != QEvent::KeyPress)
            return;
        const auto* Key = static_cast<QKeyEvent*>(Event);
        const Qt::KeyboardModifiers Modifiers = Key->modifiers() & ~Qt::KeypadModifier;
        if ((Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) &&
            (Modifiers == Qt::NoModifier || Modifiers == Qt::ShiftModifier)) {
            Handled = true;
            FindNext(Modifiers == Qt::ShiftModifier ? fdPrevious : fdNext);
        } else if (Key->key() == Qt::Key_Escape && Modifiers == Qt::NoModifier) {
            Handled = true;
            Close();
        }
    });
    return Handled || QFrame::eventFilter(Watched, Event);
}
