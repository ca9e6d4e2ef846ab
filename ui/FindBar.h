#pragma once
// TFindBar: the main window's find bar. A small panel laid over the bottom edge of the
// tree while it is open (a child of the window raised above the controls), so no
// control of the window's layout moves or changes size for it.
//
// 検索 (Ctrl+F, anywhere in the window) opens it with the focus in its field, holding the
// last searched text selected. Return or F3 selects the next entry in pre-order after the
// selected one whose title or body contains the text (TFindText), wrapping; Shift+Return
// or Shift+F3 the previous one. The entry is selected through the outline (OnChanging
// commits the fields into the entry being left, OnChange shows the found one), its
// ancestors are expanded through ExpandEntry, it is scrolled into view, and the match is
// selected in the title field or the body editor while the focus stays in the find
// field. For the selected entry the fields' text is searched, committed or not. When
// nothing matches the bar says 見つかりません in red and the selection stays. Esc
// closes the bar and gives the focus to the tree.
//
// The entries' folded texts are kept in a TFindIndex; the first opening starts building
// it in slices of a few milliseconds between events (again after every load from then
// on), and a search finishes it.
//
// Destroy the bar before the tree: its index observes the tree's outline.
#include "FindIndex.h"

#include <QFrame>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>
#include <string_view>

class QAction;
class QLabel;
class QLineEdit;
class QToolButton;
class TEdit;
class TMemo;
class TTreeNode;
class TTreeView;

class TFindBar : public QFrame {
    Q_OBJECT
public:
    TFindBar(QWidget* Window, TTreeView* Tree, TEdit* Title, TMemo* Body);
    ~TFindBar() override;

    // 検索 with its shortcut Ctrl+F, active anywhere in the window: for menus.
    QAction* FindAction() const noexcept { return FFindAction; }

    void Open();
    // Hides the bar; the focus goes to the tree.
    void Close();
    // Searches for the field's text. Returns the entry found and selected, or nullptr
    // when there is none (the bar then says so) or the field is empty.
    TTreeNode* FindNext(TFindDirection Direction);

    QLineEdit* Field() const noexcept { return FField; }
    QLabel* Status() const noexcept { return FStatus; }
    TFindIndex& Index() noexcept { return *FIndex; }

    // Slice of the index build between events.
    static constexpr std::chrono::milliseconds BuildSlice{15};

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Place();
    void ShowStatus(const QString& Text);
    void StartBuilding();
    void Reveal(TTreeNode* Entry);
    // The folded text of the title field and the body editor, kept while they hold the same.
    std::string_view FieldsFolded();
    void Mark(const std::string& Needle);

    QWidget* FWindow;
    TTreeView* FTree;
    TEdit* FTitle;
    TMemo* FBody;
    std::unique_ptr<TFindIndex> FIndex;
    QLineEdit* FField;
    QLabel* FStatus;
    QToolButton* FPrevious;
    QToolButton* FNext;
    QToolButton* FClose;
    QAction* FFindAction;
    QAction* FNextAction;
    QAction* FPreviousAction;
    QTimer FBuildTimer;
    QString FLastSearched;
    QString FFieldsTitle;
    QString FFieldsBody;
    std::string FFieldsFolded = std::string(1, TFindText::LineMark); // of two empty fields
    bool FUsed = false;                                              // the bar has been opened
};
