#pragma once
// TForm1: the program's one window. Three columns across its full height: the
// outline (Panel1: the data-set bar ControlBar1 above TreeView1), the splitter, the
// entry editor (Panel3: the header Panel4 with Edit2 above Edit1, then Memo1) and the
// command buttons (Panel2). The window owns every control; they are reachable by
// their names as public members and as object names.
//
// Construction runs in three steps: the layout is built (the window's own
// properties, then each child in its order, the settings component IniGT1 last), then
// every component's after-load step, then the creation handler FormCreate(), which
// runs under its own error guard: it loads "youken.dat" and restores the geometry.
//
// The edit fields are a view of the selected entry: the entry takes their text only
// when the commit button is clicked and when the selection is about to move. Changed
// says the outline differs from the data file (it drives the save prompts);
// MemoChanged says the user has typed in the body editor since the last load or save.
#include "BitBtn.h"
#include "Control.h"
#include "ControlBar.h"
#include "Edit.h"
#include "FindBar.h"
#include "Memo.h"
#include "Panel.h"
#include "Splitter.h"
#include "TreeView.h"

#include "IniGT.h"

#include <QMargins>
#include <QWidget>

#include <exception>
#include <memory>
#include <string>

class QAction;
class QMenu;
class TOutlineHistory;
class QWindow;
class TTreeNode;

// How far construction goes. fsLayoutOnly stops after the after-load steps, leaving the
// window in its design state (no data file read, no settings read).
enum class TFormStart { fsRun, fsLayoutOnly };

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* Parent = nullptr);
    // Settings tells IniGT1 where the executable lies, and so where the settings file is.
    explicit TForm1(TIniGTSystem Settings, TFormStart Start = TFormStart::fsRun, QWidget* Parent = nullptr);
    ~TForm1() override;

    // Name of the current data file, opened relative to the current directory.
    std::string DataFileName;
    // 0 or 1. Only LoadData and SaveData reset them; everything else only sets them.
    int Changed = 0;
    int MemoChanged = 0;

    // Clears the outline (every body is released) and rebuilds it from DataFileName.
    // Both flags are 0 afterwards. A file that cannot be opened is reported in a message
    // box and leaves the outline empty; a damaged one throws (EReadError, ETreeViewError,
    // EOutOfMemory) and the entries read before the fault stay.
    void LoadData();
    // Writes the outline as it is (uncommitted field text is not written) to
    // DataFileName, keeping the old file as DataFileName.1 (older ones as .2 and .3).
    // Both flags become 0 only once the file has been written; a failure throws
    // (EFCreateError, EWriteError) and leaves them, and the old file, as they were.
    void SaveData();

    // Handlers, wired to the controls. Button clicks and field events come through the
    // error guard; the outline's notifications are plain calls inside its operations,
    // whose errors pass to the guard of the event that caused them.
    void BitBtn1Click();  // add a sibling after the selection's last sibling
    void BitBtn2Click();  // add a last child to the selection
    void BitBtn3Click();  // delete the selection with its subtree
    void BitBtn4Click();  // commit the edit fields into the selection
    void BitBtn5Click();  // credits
    void BitBtn6Click();  // save
    void BitBtn7Click();  // expand every entry
    void BitBtn8Click();  // collapse every entry
    void BitBtn9Click();  // switch to "youken.dat"
    void BitBtn10Click(); // switch to "jyoubun.dat"
    void TreeView1Changing(TObject* Sender, TTreeNode* Node, bool& AllowChange);
    void TreeView1Change(TObject* Sender, TTreeNode* Node);
    void TreeView1Deletion(TObject* Sender, TTreeNode* Node);
    void Edit1Click(TObject* Sender);
    void Memo1Change(TObject* Sender);
    // Drops from the tree onto itself: where they are welcome, and where the entry goes.
    void TreeView1DragOver(TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept);
    void TreeView1DragDrop(TObject* Sender, TObject* Source, int X, int Y);

    // Undo and redo of the outline's edits (adding, deleting, committing, moving). The
    // fields are committed first, as before any selection change; afterwards they show
    // the selected entry. Both set Changed. Loading empties the history, saving does not.
    void UndoClick();
    void RedoClick();
    TOutlineHistory& History() const noexcept { return *FHistory; }
    // The tree's context menu (元に戻す, やり直し, ...), built once by CreateTreeMenu.
    QMenu* TreeMenu() const noexcept { return FTreeMenu; }
    QAction* UndoAction() const noexcept { return FUndoAction; }
    QAction* RedoAction() const noexcept { return FRedoAction; }

    // Outer geometry (frame included), in pixels. Values are applied as given, brought
    // only into what the window system accepts (16-bit positions and sizes, the columns'
    // minimum width); the getters report the geometry the window really has. Until the
    // window manager has framed the shown window the design frame is assumed; set values
    // are applied again with the real frame once it is known (also when it turns out to
    // be none), unless the window's size has been changed meanwhile.
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int Value);
    void SetTop(int Value);
    void SetWidth(int Value);

    // The frame used for outer geometry: the real one once known, else the design frame.
    QMargins FrameMargins() const;
    static constexpr QMargins DesignFrame{4, 23, 4, 4};
    // The window system's range for positions and sizes (X11: 16-bit, as Qt's xcb uses it).
    static constexpr int CoordinateLimit = 32767;

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
    // The find bar, laid over the tree while open (hidden otherwise).
    TFindBar* FindBar1 = nullptr;
    // The settings component; owned by the window, alive as long as it is.
    TIniGT* IniGT1 = nullptr;

protected:
    // The creation handler: runs once, after the layout and the after-load steps.
    void FormCreate();
    // The close handler: runs when the user closes the window. When the outline has
    // changed it offers to save; a failed save leaves it (the error box shows it) and
    // keeps the window open. A settings file that cannot be written is reported, and
    // the window closes all the same.
    void FormClose();

    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool event(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateControls();
    void CreateSettings();
    void ConnectHandlers();
    void DisconnectHandlers();
    // The find bar and the tree's context menu with its 検索 command.
    void CreateFindBar();
    // Copies the title field and the body editor into the selected entry, if the fields
    // show it. A commit that changes the title or the body sets Changed and becomes a step
    // of the history.
    void CommitFields();
    // The fields hold text that differs from the selected entry they show.
    bool FieldsDiffer() const;
    // The fields (and the level label) show the selected entry; nothing when none is.
    void ShowSelectedEntry();
    // Only a field that shows the selected entry takes typing: a commit could put the
    // typing of any other field nowhere, and it would be lost.
    void UpdateFieldsEditable();
    // The save prompt: when anything changed, asks, and on Yes commits and saves. Icon is
    // the box's icon flag. False when the answer was No.
    bool OfferToSave(int Icon);
    // Runs an outline operation to its end: an error from showing the next entry in the
    // fields is passed on only after the operation has completed.
    template <class F> void Completing(F&& Operation);
    void UndoOrRedo(bool Redo);
    void CreateTreeMenu();
    void UpdateUndoActions();
    bool FocusInFields() const;
    // Offers to save the changes, then loads the data set in FileName.
    void SwitchDataSet(const std::string& FileName);
    // Shows the stage of an entry at Level in Edit2 (levels 4 and deeper leave it).
    void ShowLevelLabel(int Level);
    // The credits: the team with where to reach it, the home page, the prototype's author.
    static QString CreditsText();
    void CreateLeftColumn();
    void CreateRightColumn();
    void CreateCentreColumn();
    void SetTabOrder();
    void LoadedComponents();

    // The real frame is known once the shown window has been painted or activated.
    bool FrameKnown() const noexcept { return FFrameKnown; }
    void SetOuterGeometry(int NewLeft, int NewTop, int NewWidth);
    // Client rectangle for the outer geometry with Frame, within the window system's limits.
    QRect ClientRectFor(int NewLeft, int NewTop, int NewWidth, const QMargins& Frame) const;
    // Applies the outer geometry again when the real frame differs from the one used.
    void CheckFrame();
    void UpdateMinimumWidth();

    TDockLayout* FLayout = nullptr;
    TIniGTSystem FSettingsSystem;
    std::unique_ptr<TIniGT> FIniGT1;
    // The outer geometry last set, as given, while it waits for the real frame.
    bool FOuterPending = false;
    bool FFrameKnown = false;
    bool FReapplyQueued = false;
    QWindow* FWatchedWindow = nullptr; // the platform window whose exposure is watched
    int FOuterLeft = 0;
    int FOuterTop = 0;
    int FOuterWidth = 0;
    // The frame and client rectangle it was last applied with.
    QMargins FAppliedFrame;
    QRect FAppliedRect;

    std::unique_ptr<TOutlineHistory> FHistory;
    // The entry whose title and body the fields show, or nullptr (none, or showing failed),
    // and the entry whose title the title field shows (also when its body could not be).
    TTreeNode* FShownEntry = nullptr;
    TTreeNode* FTitleEntry = nullptr;
    // After a load that failed part-way: the backup generation that now holds the damaged
    // file with its unread records (0: still the data file itself); -1 otherwise.
    int FDamagedGeneration = -1;
    // Inside an undo or redo: the steps themselves change entries, the fields do not.
    bool FReplaying = false;
    int FCompleting = 0;
    std::exception_ptr FDeferredError;
    QMenu* FTreeMenu = nullptr;
    QAction* FUndoAction = nullptr;
    QAction* FRedoAction = nullptr;
};
