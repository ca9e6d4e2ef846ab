#include "Unit1.h"

#include "BitBtn.h"
#include "CodePage932.h"
#include "Control.h"
#include "ControlBar.h"
#include "DataFile.h"
#include "Dialogs.h"
#include "DropRules.h"
#include "Edit.h"
#include "Errors.h"
#include "FlagScope.h"
#include "Fonts.h"
#include "Guard.h"
#include "Memo.h"
#include "OutlineHistory.h"
#include "Panel.h"
#include "Splitter.h"
#include "StringList.h"
#include "TreeDrag.h"
#include "TreeView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QShortcut>
#include <QWindow>

#include <algorithm>
#include <utility>

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

// The program's own texts are written here in UTF-8; the outline and the fields hold
// code page 932.
TByteString Cp932(const char* Utf8) {
    TByteString Bytes;
    std::size_t BadOffset = 0;
    TCodePage932::FromUtf8(Utf8, Bytes, BadOffset);
    return Bytes;
}

const char* const NewEntryTitle = "未入力";
const char* const SavePrompt = "現在の変更を保存します。よろしいですか";
const char* const SavePromptCaption = "確認";
const char* const SettingsSection = "form";

// Asks whether to save the changes; Icon is the box's icon flag. Returns the answer.
int AskToSave(int Icon) {
    return TDialogs::Current().MessageBox(QString::fromUtf8(SavePrompt), QString::fromUtf8(SavePromptCaption),
                                          TDialogs::MB_YESNO | Icon);
}

// The pleading stage of each level, alternately the plaintiff's and the defendant's.
struct TLevelLabel {
    const char* Text;
    QColor Color;
};
const TLevelLabel LevelLabels[] = {
    {"原告　　請求原因", clRed},
    {"被告　　抗弁", clBlue},
    {"原告　　再抗弁", clRed},
    {"被告　　再々抗弁", clBlue},
};

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

TForm1::TForm1(QWidget* Parent) : TForm1(TIniGTSystem::Platform(), TFormStart::fsRun, Parent) {}

TForm1::TForm1(TIniGTSystem Settings, TFormStart Start, QWidget* Parent)
    : QWidget(Parent), FSettingsSystem(std::move(Settings)) {
    CreateControls();
    LoadedComponents();
    if (Start == TFormStart::fsRun) {
        // The creation handler has its own guard: an error is shown and creation goes on.
        Guarded([this] { FormCreate(); });
    }
}

TForm1::~TForm1() {
    // The find bar's index observes the outline, which goes with the tree.
    delete FindBar1;
    FindBar1 = nullptr;
    DisconnectHandlers();
    // The steps hold detached entries of the outline; they go while it is still there.
    FHistory.reset();
}

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
    CreateSettings();
    FHistory = std::make_unique<TOutlineHistory>(
        TreeView1->Items(),
        TBodyTraits{[](TStringList* Body) { delete Body; },
                    [](const TStringList* Body) { return Body != nullptr ? Body->Capacity() : std::size_t{0}; }});
    CreateTreeMenu();
    ConnectHandlers();
    CreateFindBar();
}

void TForm1::CreateTreeMenu() {
    FTreeMenu = new QMenu(TreeView1);
    FTreeMenu->setObjectName(QStringLiteral("TreeMenu"));
    FUndoAction = FTreeMenu->addAction(QStringLiteral("元に戻す"));
    FUndoAction->setObjectName(QStringLiteral("UndoAction"));
    FUndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    FRedoAction = FTreeMenu->addAction(QStringLiteral("やり直し"));
    FRedoAction->setObjectName(QStringLiteral("RedoAction"));
    FRedoAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    for (QAction* Action : {FUndoAction, FRedoAction}) {
        Action->setShortcutVisibleInContextMenu(true);
    }
    connect(FUndoAction, &QAction::triggered, this, [this] { Guarded([this] { UndoClick(); }); });
    connect(FRedoAction, &QAction::triggered, this, [this] { Guarded([this] { RedoClick(); }); });
    // The keys work in the whole window but the text fields, which keep their own undo.
    const std::pair<QKeySequence, void (TForm1::*)()> Keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Z), &TForm1::UndoClick},
        {QKeySequence(Qt::CTRL | Qt::Key_Y), &TForm1::RedoClick},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &TForm1::RedoClick},
    };
    for (const auto& [Key, Handler] : Keys) {
        auto* Shortcut = new QShortcut(Key, this);
        connect(Shortcut, &QShortcut::activated, this, [this, Handler = Handler] {
            Guarded([&] {
                if (!FocusInFields())
                    (this->*Handler)();
            });
        });
    }
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& At) {
        Guarded([&] {
            UpdateUndoActions();
            FTreeMenu->popup(TreeView1->viewport()->mapToGlobal(At));
        });
    });
    UpdateUndoActions();
}

void TForm1::UpdateUndoActions() {
    FUndoAction->setEnabled(FHistory->CanUndo());
    FRedoAction->setEnabled(FHistory->CanRedo());
}

bool TForm1::FocusInFields() const {
    // In the text fields the keys keep their meaning there (the field's own undo).
    const QWidget* Focus = QApplication::focusWidget();
    return Focus != nullptr && (Focus == Edit1 || Focus == Edit2 || Focus == Memo1);
}

void TForm1::CreateSettings() {
    FIniGT1 = std::make_unique<TIniGT>(nullptr, FSettingsSystem);
    IniGT1 = FIniGT1.get();
    IniGT1->SetName("IniGT1");
    IniGT1->SetDefaultDir(TIniGTDefaultDir::ddApplication);
    IniGT1->SetFence(TIniGTFence::fnNone);
}

void TForm1::ConnectHandlers() {
    const std::pair<TBitBtn*, void (TForm1::*)()> Clicks[] = {
        {BitBtn1, &TForm1::BitBtn1Click},   {BitBtn2, &TForm1::BitBtn2Click}, {BitBtn3, &TForm1::BitBtn3Click},
        {BitBtn4, &TForm1::BitBtn4Click},   {BitBtn5, &TForm1::BitBtn5Click}, {BitBtn6, &TForm1::BitBtn6Click},
        {BitBtn7, &TForm1::BitBtn7Click},   {BitBtn8, &TForm1::BitBtn8Click}, {BitBtn9, &TForm1::BitBtn9Click},
        {BitBtn10, &TForm1::BitBtn10Click},
    };
    for (const auto& [Button, Handler] : Clicks) {
        connect(Button, &QAbstractButton::clicked, this,
                [this, Handler = Handler] { Guarded([&] { (this->*Handler)(); }); });
    }
    TTreeNodes& Items = TreeView1->Items();
    Items.OnChanging = [this](TObject* Sender, TTreeNode* Node, bool& AllowChange) {
        TreeView1Changing(Sender, Node, AllowChange);
    };
    Items.OnChange = [this](TObject* Sender, TTreeNode* Node) {
        if (FCompleting == 0) {
            TreeView1Change(Sender, Node);
            return;
        }
        try {
            TreeView1Change(Sender, Node);
        } catch (...) {
            if (!FDeferredError)
                FDeferredError = std::current_exception();
        }
    };
    Items.OnDeletion = [this](TObject* Sender, TTreeNode* Node) { TreeView1Deletion(Sender, Node); };
    Edit1->OnClick = [this](TObject* Sender) { Edit1Click(Sender); };
    Memo1->OnChange = [this](TObject* Sender) { Memo1Change(Sender); };
    TreeView1->OnDragOver = [this](TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept) {
        TreeView1DragOver(Sender, Source, X, Y, State, Accept);
    };
    TreeView1->OnDragDrop = [this](TObject* Sender, TObject* Source, int X, int Y) {
        TreeView1DragDrop(Sender, Source, X, Y);
    };
}

void TForm1::DisconnectHandlers() {
    // The controls outlive this destructor's body; their events must not reach the
    // half-destroyed window. The outline still releases every body as it goes.
    TTreeNodes& Items = TreeView1->Items();
    Items.OnChanging = nullptr;
    Items.OnChange = nullptr;
    ReleaseBodiesOnDeletion(Items);
    Edit1->OnClick = nullptr;
    Memo1->OnChange = nullptr;
    TreeView1->OnDragOver = nullptr;
    TreeView1->OnDragDrop = nullptr;
}

void TForm1::CreateFindBar() {
    FindBar1 = Named(new TFindBar(this, TreeView1, Edit1, Memo1), "FindBar1");
    // On the tree's context menu, and by its shortcut anywhere in the window (the action
    // belongs to the tree for that; the menu is a window of its own).
    TreeView1->addAction(FindBar1->FindAction());
    FTreeMenu->addSeparator();
    FTreeMenu->addAction(FindBar1->FindAction());
}

void TForm1::CreateLeftColumn() {
    Panel1 = Named(new TPanel(this, QSize(313, 456)), "Panel1");
    Panel1->SetCaption(QStringLiteral("Panel1"));
    FLayout->AddControl(Panel1, TAlign::alLeft, QRect(0, 0, 313, 456));

    TreeView1 = Named(new TTreeView(Panel1), "TreeView1");
    TreeView1->setFont(TFonts::Make(13));
    TFonts::SetFontColor(TreeView1, clBlack);
    TreeView1->setMinimumWidth(40);
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
    // Qt cannot switch an input method on when a field gets the focus; it can only let
    // one work there, without narrowing it to Latin text or digits.
    Edit1->setAttribute(Qt::WA_InputMethodEnabled);
    Edit1->setInputMethodHints(Qt::ImhNone);

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
    Memo1->setAttribute(Qt::WA_InputMethodEnabled);
    Memo1->setInputMethodHints(Qt::ImhMultiLine);
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
    // The settings component names its file after the executable.
    IniGT1->Loaded();
}

void TForm1::FormCreate() {
    DataFileName = "youken.dat";
    LoadData();
    SetTop(IniGT1->ReadInt(SettingsSection, "form1.top", 80));
    SetLeft(IniGT1->ReadInt(SettingsSection, "form1.left", 80));
    SetWidth(IniGT1->ReadInt(SettingsSection, "form1.width", 700));
}

void TForm1::FormClose() {
    // A failed save leaves this handler: the window stays open and still has the changes.
    if (!OfferToSave(TDialogs::MB_ICONQUESTION)) {
        return;
    }
    // A settings file that cannot be written is reported, but must never keep the user
    // from closing the program.
    Guarded([this] {
        IniGT1->WriteInt(SettingsSection, "form1.top", Top());
        IniGT1->WriteInt(SettingsSection, "form1.left", Left());
        IniGT1->WriteInt(SettingsSection, "form1.width", Width());
    });
}

void TForm1::LoadData() {
    // Reset first: clearing the outline passes through TreeView1Changing, which must not
    // carry an old MemoChanged into Changed.
    Changed = 0;
    MemoChanged = 0;
    // The old outline is dropped as it is: the fields no longer belong to any entry, so
    // the passage of the selection commits nothing and cannot stop the clearing.
    FShownEntry = nullptr;
    FTitleEntry = nullptr;
    UpdateFieldsEditable();
    FHistory->Clear();
    UpdateUndoActions();
    TReadResult Result = TReadResult::rrRead;
    FDamagedGeneration = -1;
    try {
        Completing([&] { Result = ReadOutline(TreeView1->Items(), DataFileName); });
    } catch (...) {
        FDamagedGeneration = 0;
        throw;
    }
    if (Result == TReadResult::rrNotFound) {
        TDialogs::Current().ShowMessage(QString::fromUtf8(Messages::FileNotFound), TDialogs::ApplicationTitle());
    }
}

template <class F> void TForm1::Completing(F&& Operation) {
    ++FCompleting;
    try {
        Operation();
    } catch (...) {
        --FCompleting;
        if (FCompleting == 0)
            FDeferredError = nullptr;
        throw;
    }
    --FCompleting;
    if (FCompleting == 0 && FDeferredError) {
        std::exception_ptr Error = FDeferredError;
        FDeferredError = nullptr;
        std::rethrow_exception(Error);
    }
}

void TForm1::SaveData() {
    // The damaged file of a failed load is never rotated away: once it is the oldest
    // backup, the newer ones rotate below it.
    const bool Pinned = FDamagedGeneration >= DataFileBackups;
    WriteOutline(TreeView1->Items(), DataFileName, Pinned ? DataFileBackups - 1 : DataFileBackups);
    if (FDamagedGeneration >= 0 && !Pinned)
        ++FDamagedGeneration;
    // Only a written file makes the outline unchanged; after a failure the prompts must
    // still offer to save.
    Changed = 0;
    MemoChanged = 0;
}

void TForm1::BitBtn1Click() {
    Changed = 1;
    // The entry being left takes the fields now, so its commit comes before the addition
    // in the history.
    BitBtn4Click();
    TTreeNodes& Items = TreeView1->Items();
    auto Body = std::make_unique<TStringList>();
    TTreeNode* Entry = Items.AppendSibling(Items.SelectedEntry(), Cp932(NewEntryTitle), Body.get());
    Body.release();
    FHistory->RecordAdd(Entry);
    UpdateUndoActions();
    Items.SelectEntry(Entry);
}

void TForm1::BitBtn2Click() {
    Changed = 1;
    BitBtn4Click();
    TTreeNodes& Items = TreeView1->Items();
    TTreeNode* Parent = Items.SelectedEntry();
    auto Body = std::make_unique<TStringList>();
    TTreeNode* Entry = Items.AppendChild(Parent, Cp932(NewEntryTitle), Body.get());
    Body.release();
    FHistory->RecordAdd(Entry);
    UpdateUndoActions();
    if (Parent != nullptr) {
        Items.ExpandEntry(Parent, true);
    }
    Items.SelectEntry(Entry);
}

void TForm1::BitBtn3Click() {
    Changed = 1;
    TTreeNodes& Items = TreeView1->Items();
    if (TTreeNode* Selected = Items.SelectedEntry()) {
        BitBtn4Click();
        // The subtree is kept by the history for undo; its bodies go when the step does.
        Completing([&] { FHistory->DeleteEntry(Selected); });
        UpdateUndoActions();
    }
}

void TForm1::BitBtn4Click() {
    if (MemoChanged == 1) {
        Changed = 1;
    }
    CommitFields();
    UpdateUndoActions();
}

void TForm1::BitBtn5Click() {
    TDialogs::Current().ShowMessage(CreditsText(), TDialogs::ApplicationTitle());
}

void TForm1::BitBtn6Click() {
    // What the fields hold is part of what the user saves.
    BitBtn4Click();
    SaveData();
}

void TForm1::BitBtn7Click() {
    TreeView1->Items().ExpandAll();
}

void TForm1::BitBtn8Click() {
    TreeView1->Items().CollapseAll();
}

void TForm1::BitBtn9Click() {
    SwitchDataSet("youken.dat");
}

void TForm1::BitBtn10Click() {
    SwitchDataSet("jyoubun.dat");
}

void TForm1::SwitchDataSet(const std::string& FileName) {
    // A failed save ends the switch here, so the unsaved outline is not dropped.
    OfferToSave(TDialogs::MB_ICONEXCLAMATION);
    DataFileName = FileName;
    // Whatever fails while loading, the fields are emptied: they belong to no entry now.
    struct TEmptyFields {
        TForm1& Form;
        ~TEmptyFields() {
            Guarded([this] {
                Form.Edit1->SetText(TByteString());
                Form.Memo1->SetText(TByteString());
            });
        }
    } EmptyFields{*this};
    LoadData();
}

bool TForm1::OfferToSave(int Icon) {
    if (Changed != 1 && !FieldsDiffer()) {
        return true;
    }
    if (AskToSave(Icon) != TDialogs::IDYES) {
        return false;
    }
    BitBtn4Click();
    SaveData();
    return true;
}

void TForm1::TreeView1Changing(TObject*, TTreeNode*, bool&) {
    if (MemoChanged == 1) {
        Changed = 1;
    }
    // The entry being left takes the fields; the change itself is never refused.
    CommitFields();
}

void TForm1::TreeView1Change(TObject*, TTreeNode*) {
    ShowSelectedEntry();
}

void TForm1::ShowSelectedEntry() {
    // However far the fields get, afterwards they take typing only for the entry they show.
    const struct TEditable {
        TForm1& Form;
        ~TEditable() { Form.UpdateFieldsEditable(); }
    } Editable{*this};
    // The outline's current selection decides (the notified entry may be none).
    TTreeNode* Selected = TreeView1->Items().SelectedEntry();
    if (Selected == nullptr) {
        return;
    }
    // Until both fields hold this entry they show none: a body the editor refuses must
    // not be replaced by another entry's text at the next commit.
    FShownEntry = nullptr;
    FTitleEntry = nullptr;
    Edit1->SetText(Selected->Text());
    FTitleEntry = Selected;
    const TStringList* Body = Selected->Data();
    Memo1->SetLinesText(Body != nullptr ? LinesToText(*Body) : TByteString());
    FShownEntry = Selected;
    ShowLevelLabel(TTreeNodes::EntryLevel(Selected));
}

void TForm1::UpdateFieldsEditable() {
    const TTreeNode* Selected = TreeView1->Items().SelectedEntry();
    Edit1->setReadOnly(Selected == nullptr || Selected != FTitleEntry);
    Memo1->setReadOnly(Selected == nullptr || Selected != FShownEntry);
}

void TForm1::TreeView1Deletion(TObject*, TTreeNode* Node) {
    if (Node == FShownEntry) {
        FShownEntry = nullptr;
    }
    if (Node == FTitleEntry) {
        FTitleEntry = nullptr;
    }
    delete Node->Data();
    TTreeNodes::SetEntryBody(Node, nullptr);
}

void TForm1::TreeView1DragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState, bool& Accept) {
    // Only the tree's own entries, with one selected, onto a row or the space below them.
    const TDropQuery Query{Source == Sender, TreeView1->Items().SelectedEntry() != nullptr, TreeView1->HitZonesAt(X, Y),
                           QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier)};
    Accept = DecideDrop(Query).Accept;
}

void TForm1::TreeView1DragDrop(TObject*, TObject*, int X, int Y) {
    TTreeNodes& Items = TreeView1->Items();
    TTreeNode* Dragged = Items.SelectedEntry();
    if (Dragged == nullptr) {
        return;
    }
    TTreeNode* OldParent = Dragged->Parent();
    const int OldRow = Dragged->IndexInParent();
    // The drag-over of the same position accepted; the rule's placement applies.
    const TDropQuery Query{true, true, TreeView1->HitZonesAt(X, Y), false};
    Items.MoveEntry(Dragged, TreeView1->EntryAt(X, Y), DecideDrop(Query).Placement);
    // Every drop counts as a change, also one that moved nothing.
    Changed = 1;
    FHistory->RecordMove(Dragged, OldParent, OldRow);
    UpdateUndoActions();
}

void TForm1::UndoClick() {
    UndoOrRedo(false);
}

void TForm1::RedoClick() {
    UndoOrRedo(true);
}

void TForm1::UndoOrRedo(bool Redo) {
    const auto Can = [&] { return Redo ? FHistory->CanRedo() : FHistory->CanUndo(); };
    // A drag holds on to its entry until it ends; the outline stays as it is meanwhile.
    if (!Can() || TreeView1->Drag().Dragging()) {
        return;
    }
    // The fields' text is taken first, as before any selection change; a commit that
    // changes something is a step of its own, and the newest.
    BitBtn4Click();
    if (!Can()) {
        return;
    }
    Changed = 1;
    Completing([&] {
        TTreeNode* Shown = nullptr;
        {
            const TFlagScope Replaying(FReplaying);
            Shown = Redo ? FHistory->Redo() : FHistory->Undo();
        }
        UpdateUndoActions();
        // An undone or redone commit puts back a body without the selection flow.
        if (Shown != nullptr && FindBar1 != nullptr) {
            FindBar1->Index().EntryBodyChanged(Shown);
        }
        // The step may have changed the entry the fields show.
        ShowSelectedEntry();
        if (Shown != nullptr) {
            TreeView1->Items().SelectEntry(Shown);
        }
    });
}

void TForm1::Edit1Click(TObject*) {
    // Any click counts, whether or not the title is then changed.
    Changed = 1;
}

void TForm1::Memo1Change(TObject*) {
    // The editor runs this for the program's own sets too; only the user's edits count.
    if (Memo1->Modified()) {
        MemoChanged = 1;
    }
}

void TForm1::CommitFields() {
    TTreeNodes& Items = TreeView1->Items();
    TTreeNode* Selected = Items.SelectedEntry();
    if (Selected == nullptr || FReplaying) {
        return;
    }
    const TByteString Title = Edit1->Text();
    if (Selected != FShownEntry) {
        // The editor could not show this entry's body: only its title is in the fields.
        if (Selected == FTitleEntry && Title != Selected->Text()) {
            Changed = 1;
            const TByteString OldTitle = Selected->Text();
            Items.SetEntryTitle(Selected, Title);
            FHistory->RecordCommit(Selected, OldTitle, Selected->Data());
        }
        return;
    }
    auto Body = std::make_unique<TStringList>();
    TextToLines(*Body, Memo1->LinesText());
    // Every entry gets a body when it is made; one without is given one rather than lost.
    const TStringList* Old = Selected->Data();
    if (Title == Selected->Text() && Old != nullptr && *Old == *Body) {
        return;
    }
    Changed = 1;
    const TByteString OldTitle = Selected->Text();
    Items.SetEntryTitle(Selected, Title);
    TStringList* OldBody = Selected->Data();
    TTreeNodes::SetEntryBody(Selected, Body.release());
    FHistory->RecordCommit(Selected, OldTitle, OldBody);
}

bool TForm1::FieldsDiffer() const {
    const TTreeNode* Selected = TreeView1->Items().SelectedEntry();
    if (Selected == nullptr || (Selected != FShownEntry && Selected != FTitleEntry)) {
        return false;
    }
    if (Edit1->Text() != Selected->Text()) {
        return true;
    }
    if (Selected != FShownEntry) {
        return false;
    }
    TStringList Lines;
    TextToLines(Lines, Memo1->LinesText());
    return Selected->Data() == nullptr || !(*Selected->Data() == Lines);
}

void TForm1::ShowLevelLabel(int Level) {
    if (Level < 0 || Level >= static_cast<int>(std::size(LevelLabels))) {
        return;
    }
    const TLevelLabel& Label = LevelLabels[Level];
    Edit2->SetText(Cp932(Label.Text));
    TFonts::SetFontColor(Edit2, Label.Color);
}

QString TForm1::CreditsText() {
    return QStringLiteral("Quorvelノート開発チーム　連絡先: 同梱の README.md をご覧ください\n"
                          "ホームページ: 同梱の README.md をご覧ください\n"
                          "   Prototype by Quorvelノート開発チーム");
}

void TForm1::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    if (FLayout != nullptr) {
        Guarded([this] { FLayout->AlignControls(); });
    }
}

void TForm1::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    // The window is exposed once mapped (and framed, under a window manager); its
    // children cover it, so it may never get a paint event of its own.
    if (QWindow* Window = windowHandle(); Window != nullptr && Window != FWatchedWindow) {
        Window->installEventFilter(this);
        FWatchedWindow = Window;
    }
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
    case QEvent::ActivationChange:
    case QEvent::WindowActivate:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::WindowStateChange:
        Guarded([this] { CheckFrame(); });
        break;
    default:
        break;
    }
    return Result;
}

bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FWatchedWindow && Event->type() == QEvent::Expose) {
        Guarded([this] { CheckFrame(); });
    }
    return QWidget::eventFilter(Watched, Event);
}

void TForm1::CheckFrame() {
    // The window manager frames the window only after it has been mapped: at the show the
    // platform still reports no frame; it knows the real one once the window is exposed
    // or activated. Without a window manager the real frame is none.
    if (FFrameKnown && !FOuterPending) {
        return;
    }
    const QWindow* Window = windowHandle();
    if (!isVisible() || Window == nullptr || !(Window->isExposed() || isActiveWindow())) {
        return;
    }
    const QMargins Frame = Window->frameMargins();
    if (FFrameKnown && Frame == FAppliedFrame) {
        return;
    }
    FFrameKnown = true;
    if (!FOuterPending || FReapplyQueued) {
        return;
    }
    FReapplyQueued = true;
    // Apply once the platform has finished placing the window.
    QMetaObject::invokeMethod(
        this,
        [this] {
            FReapplyQueued = false;
            // A size set since then by other means (the user, a resize()) wins.
            if (FOuterPending && size() == FAppliedRect.size()) {
                Guarded([this] { SetOuterGeometry(FOuterLeft, FOuterTop, FOuterWidth); });
            }
        },
        Qt::QueuedConnection);
}

QMargins TForm1::FrameMargins() const {
    if (!FFrameKnown || windowHandle() == nullptr) {
        return DesignFrame;
    }
    return windowHandle()->frameMargins();
}

int TForm1::Left() const {
    // Until the real frame is known the values set are reported as given, so setting the
    // three one by one loses nothing.
    if (!FFrameKnown) {
        return FOuterLeft;
    }
    return geometry().x() - FrameMargins().left();
}

int TForm1::Top() const {
    if (!FFrameKnown) {
        return FOuterTop;
    }
    return geometry().y() - FrameMargins().top();
}

int TForm1::Width() const {
    if (!FFrameKnown) {
        return FOuterWidth;
    }
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

QRect TForm1::ClientRectFor(int NewLeft, int NewTop, int NewWidth, const QMargins& Frame) const {
    // In 64 bits: the values come from the settings file as read, any 32-bit integer.
    using TWide = long long;
    const auto Limit = static_cast<TWide>(CoordinateLimit);
    const TWide X = std::clamp(TWide{NewLeft} + Frame.left(), -Limit, Limit);
    const TWide Y = std::clamp(TWide{NewTop} + Frame.top(), -Limit, Limit);
    const TWide MinWidth = std::clamp(TWide{minimumWidth()}, TWide{1}, Limit);
    const TWide W = std::clamp(TWide{NewWidth} - Frame.left() - Frame.right(), MinWidth, Limit);
    // The height is the design's outer height; only the frame decides the client's.
    const TWide H = std::clamp(TWide{DesignOuterHeight} - Frame.top() - Frame.bottom(), TWide{1}, Limit);
    return {static_cast<int>(X), static_cast<int>(Y), static_cast<int>(W), static_cast<int>(H)};
}

void TForm1::SetOuterGeometry(int NewLeft, int NewTop, int NewWidth) {
    const QMargins Frame = FrameMargins();
    const QRect Client = ClientRectFor(NewLeft, NewTop, NewWidth, Frame);
    // Kept as given: the real frame may bring an out-of-range value back into range.
    FOuterLeft = NewLeft;
    FOuterTop = NewTop;
    FOuterWidth = NewWidth;
    // Without a real frame a window manager may still frame the window later.
    FOuterPending = !FFrameKnown || Frame.isNull();
    FAppliedFrame = Frame;
    if (FFrameKnown) {
        // Static gravity: the client area goes exactly where the frame leaves it.
        setGeometry(Client);
    } else if (!testAttribute(Qt::WA_WState_Created) || !isVisible()) {
        // Not framed yet: the window manager places the frame's corner (north-west gravity).
        move(Client.x() - Frame.left(), Client.y() - Frame.top());
        resize(Client.size());
    } else {
        setGeometry(Client);
    }
    FAppliedRect = QRect(Client.x(), Client.y(), width(), height());
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
