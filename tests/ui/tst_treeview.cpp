// The tree view: selection and expansion by mouse, keyboard and program all go through
// the outline and its events; the view shows what the outline decided.
#include "Guard.h"
#include "OutlineModel.h"
#include "TreeFixture.h"
#include "TreeView.h"

#include <QScrollBar>
#include <QtTest>
#include <QtWidgets/private/qtreeview_p.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// a(b(c d) e) f(g) h, in a shown window with a field to take the focus away.
struct TViewFixture : TTreeFixture {
    bool Allow = true;
    std::map<const TTreeNode*, int> Expanding, Expanded, Collapsing, Collapsed;

    TViewFixture() : TTreeFixture("a", "b") {
        View->setGeometry(0, 0, 300, 300);
        Other->setGeometry(0, 310, 300, 21);
        Window.resize(320, 340);
        Items.OnChanging = [this](TObject* Sender, TTreeNode* Node, bool& AllowChange) {
            QCOMPARE_EQ(Sender, static_cast<TObject*>(View));
            Log << QString("changing %1>%2").arg(Name(Items.SelectedEntry()), Name(Node));
            AllowChange = Allow;
        };
        Items.OnChange = [this](TObject*, TTreeNode* Node) {
            QCOMPARE_EQ(Items.SelectedEntry(), Node);
            Log << "change " + Name(Node);
        };
        Items.OnExpanding = [this](TObject*, TTreeNode* Node, bool&) { ++Expanding[Node]; };
        Items.OnExpanded = [this](TObject*, TTreeNode* Node) { ++Expanded[Node]; };
        Items.OnCollapsing = [this](TObject*, TTreeNode* Node, bool&) { ++Collapsing[Node]; };
        Items.OnCollapsed = [this](TObject*, TTreeNode* Node) { ++Collapsed[Node]; };
        Show();
        View->setFocus();
    }
    QPoint TitlePoint(const QString& Title) {
        const QRect Rect = View->visualRect(View->IndexOf(Entry(Title)));
        return {Rect.left() + 4, Rect.center().y()};
    }
    QPoint ButtonPoint(const QString& Title) { return View->ButtonRect(Entry(Title)).center(); }
    // What the view shows as the selection: its current item, and the one selected row.
    QString ShownSelection() {
        const QModelIndexList Selected = View->selectionModel()->selectedIndexes();
        const QString Current = Name(TOutlineModel::EntryOf(View->currentIndex()));
        if (Selected.size() > 1 || (Selected.size() == 1 && TOutlineModel::EntryOf(Selected[0]) != Entry(Current)))
            return "inconsistent";
        return Selected.isEmpty() ? "-" : Current;
    }
    // Every entry's expanded flag agrees with the view.
    bool ExpansionMatches() {
        for (TTreeNode* Node = Items.GetFirstNode(); Node; Node = Node->GetNext())
            if (Node->HasChildren() && View->isExpanded(View->IndexOf(Node)) != Node->Expanded())
                return false;
        return true;
    }
};

// Ends the test binary when a step has not ended within Seconds, so that a hang fails the
// test at once instead of blocking the run.
class TWatchdog {
public:
    explicit TWatchdog(const char* Step, int Seconds)
        : FThread([this, Step, Seconds] {
              std::unique_lock Lock(FMutex);
              if (!FDone.wait_for(Lock, std::chrono::seconds(Seconds), [this] { return FStopped; }))
                  qFatal("%s did not end within %d s", Step, Seconds);
          }) {}
    ~TWatchdog() {
        {
            const std::lock_guard Lock(FMutex);
            FStopped = true;
        }
        FDone.notify_one();
        FThread.join();
    }
    TWatchdog(const TWatchdog&) = delete;
    TWatchdog& operator=(const TWatchdog&) = delete;

private:
    std::mutex FMutex;
    std::condition_variable FDone;
    bool FStopped = false;
    std::thread FThread; // last: starts once the rest is there
};

} // namespace

class TestTreeView : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TErrorReporter::SetHandler([](const std::exception& Error) { QFAIL(Error.what()); });
    }

    void userSelectionGoesThroughTheOutline_data();
    void userSelectionGoesThroughTheOutline();
    void refusedChangeKeepsOldSelection_data();
    void refusedChangeKeepsOldSelection();
    void qtCannotMoveTheSelectionByItself_data();
    void qtCannotMoveTheSelectionByItself();
    void selectionHighlightedWithoutFocus();
    void dropTargetHighlighted();
    void expansionFiresOncePerEntry_data();
    void expansionFiresOncePerEntry();
    void collapseHidingSelectionSelectsCollapsedEntry();
    void deletingSelectedEntryFollowsOutline_data();
    void deletingSelectedEntryFollowsOutline();
    void loadingResetsOnceAndKeepsExpansion();
    void moveKeepsViewInStep();
    void rowsAfterAddsAndDeletesMatchAFullLayout_data();
    void rowsAfterAddsAndDeletesMatchAFullLayout();
    void rowsAfterExpandAndCollapseAllMatchAFullLayout_data();
    void rowsAfterExpandAndCollapseAllMatchAFullLayout();
    void titlesCannotBeEditedInPlace();
    void typeAheadEndsAfterOnePass_data();
    void typeAheadEndsAfterOnePass();
    void typeAheadSeesChangedTitles_data();
    void typeAheadSeesChangedTitles();
    void typeAheadComparesTitlesAsShown_data();
    void typeAheadComparesTitlesAsShown();
    void expandAndCollapseAllKeepTheTopEntry_data();
    void expandAndCollapseAllKeepTheTopEntry();
    void reloadedTreeStartsAtTheTop();
    void wideTitleBringsHorizontalScrollBar();
};

void TestTreeView::userSelectionGoesThroughTheOutline_data() {
    QTest::addColumn<QString>("Start");
    QTest::addColumn<QString>("Input");
    QTest::addColumn<QString>("Target");
    // Input: "click X" clicks X's title; otherwise a key. a and f start expanded.
    QTest::newRow("click top-level") << "-"
                                     << "click f"
                                     << "f";
    QTest::newRow("click child") << "a"
                                 << "click e"
                                 << "e";
    QTest::newRow("click grandchild's parent") << "h"
                                               << "click b"
                                               << "b";
    QTest::newRow("click the selected entry again") << "e"
                                                    << "click e"
                                                    << "e";
    QTest::newRow("down skips collapsed children") << "b"
                                                   << "down"
                                                   << "e";
    QTest::newRow("down into children") << "a"
                                        << "down"
                                        << "b";
    QTest::newRow("up") << "f"
                        << "up"
                        << "e";
    QTest::newRow("up into children") << "h"
                                      << "up"
                                      << "g";
    QTest::newRow("home") << "g"
                          << "home"
                          << "a";
    QTest::newRow("end") << "b"
                         << "end"
                         << "h";
    QTest::newRow("left goes to parent") << "e"
                                         << "left"
                                         << "a";
    QTest::newRow("right on expanded goes to first child") << "f"
                                                           << "right"
                                                           << "g";
    QTest::newRow("backspace goes to parent") << "g"
                                              << "backspace"
                                              << "f";
    QTest::newRow("typing finds a title") << "a"
                                          << "type e"
                                          << "e";
}

void TestTreeView::userSelectionGoesThroughTheOutline() {
    QFETCH(QString, Start);
    QFETCH(QString, Input);
    QFETCH(QString, Target);
    TViewFixture F;
    F.Items.ExpandEntry(F.Entry("a"), false);
    F.Items.ExpandEntry(F.Entry("f"), false);
    if (Start != "-")
        F.Items.SelectEntry(F.Entry(Start));
    F.Log.clear();
    const QStringList Parts = Input.split(' ');
    const std::map<QString, Qt::Key> Keys{
        {"down", Qt::Key_Down}, {"up", Qt::Key_Up},       {"home", Qt::Key_Home},          {"end", Qt::Key_End},
        {"left", Qt::Key_Left}, {"right", Qt::Key_Right}, {"backspace", Qt::Key_Backspace}};
    if (Parts[0] == "click")
        QTest::mouseClick(F.View->viewport(), Qt::LeftButton, {}, F.TitlePoint(Parts[1]));
    else if (Parts[0] == "type")
        QTest::keyClicks(F.View, Parts[1]);
    else
        QTest::keyClick(F.View, Keys.at(Parts[0]));
    QCOMPARE(F.Log, QStringList({QString("changing %1>%2").arg(Start, Target), "change " + Target}));
    QCOMPARE(F.Items.SelectedEntry(), F.Entry(Target));
    QCOMPARE(F.ShownSelection(), Target);
}

void TestTreeView::refusedChangeKeepsOldSelection_data() {
    QTest::addColumn<QString>("Input");
    QTest::newRow("click") << "click";
    QTest::newRow("key") << "down";
    QTest::newRow("program") << "program";
}

void TestTreeView::refusedChangeKeepsOldSelection() {
    QFETCH(QString, Input);
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("a"));
    F.Allow = false;
    F.Log.clear();
    if (Input == "click")
        QTest::mouseClick(F.View->viewport(), Qt::LeftButton, {}, F.TitlePoint("f"));
    else if (Input == "down")
        QTest::keyClick(F.View, Qt::Key_Down);
    else
        F.Items.SelectEntry(F.Entry("h"));
    QCOMPARE(F.Log.size(), 1); // OnChanging only
    QVERIFY(F.Log[0].startsWith("changing a>"));
    QCOMPARE(F.Items.SelectedEntry(), F.Entry("a"));
    QCOMPARE(F.ShownSelection(), "a");
}

void TestTreeView::qtCannotMoveTheSelectionByItself_data() {
    QTest::addColumn<QKeySequence>("Keys");
    QTest::newRow("select all") << QKeySequence(QKeySequence::SelectAll);
    QTest::newRow("space") << QKeySequence(Qt::Key_Space);
    QTest::newRow("ctrl down scrolls only") << QKeySequence(Qt::CTRL | Qt::Key_Down);
    QTest::newRow("ctrl space") << QKeySequence(Qt::CTRL | Qt::Key_Space);
    QTest::newRow("no title starts so") << QKeySequence(Qt::Key_Z);
}

void TestTreeView::qtCannotMoveTheSelectionByItself() {
    QFETCH(QKeySequence, Keys);
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("f"));
    F.Log.clear();
    QTest::keySequence(F.View, Keys);
    // A press beside the titles, in the indentation, selects nothing either.
    const QRect Row = F.View->visualRect(F.View->IndexOf(F.Entry("a")));
    QTest::mouseClick(F.View->viewport(), Qt::LeftButton, {}, QPoint(2, Row.center().y()));
    QCOMPARE(F.Log, QStringList());
    QCOMPARE(F.ShownSelection(), "f");
}

void TestTreeView::selectionHighlightedWithoutFocus() {
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("f"));
    F.Other->setFocus();
    QTRY_VERIFY(F.Other->hasFocus());
    QVERIFY(!F.View->hasFocus());
    const QColor Highlight = F.View->palette().color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(F.View->palette().color(QPalette::Inactive, QPalette::Highlight), Highlight);
    const QImage Shot = F.View->viewport()->grab().toImage();
    QCOMPARE(Shot.pixelColor(F.TitlePoint("f") - QPoint(3, 0)), Highlight);
    QVERIFY(Shot.pixelColor(F.TitlePoint("h") - QPoint(3, 0)) != Highlight);
}

void TestTreeView::dropTargetHighlighted() {
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("a"));
    const QColor Highlight = F.View->palette().color(QPalette::Active, QPalette::Highlight);
    F.Items.SetDropTarget(F.Entry("h"));
    QCOMPARE(F.View->viewport()->grab().toImage().pixelColor(F.TitlePoint("h") - QPoint(3, 0)), Highlight);
    F.Items.SetDropTarget(nullptr);
    QVERIFY(F.View->viewport()->grab().toImage().pixelColor(F.TitlePoint("h") - QPoint(3, 0)) != Highlight);
    QCOMPARE(F.ShownSelection(), "a");
}

void TestTreeView::expansionFiresOncePerEntry_data() {
    QTest::addColumn<QString>("Input");
    QTest::addColumn<QString>("Expands");   // entries expanded, each once
    QTest::addColumn<QString>("Collapses"); // entries collapsed, each once
    // Before each row: a expanded, a selected.
    QTest::newRow("button expands") << "button f"
                                    << "f"
                                    << "";
    QTest::newRow("button collapses") << "button a"
                                      << ""
                                      << "a";
    QTest::newRow("double click on title") << "double f"
                                           << "f"
                                           << "";
    QTest::newRow("right key") << "key-right f"
                               << "f"
                               << "";
    QTest::newRow("plus key") << "key-plus f"
                              << "f"
                              << "";
    QTest::newRow("left key") << "key-left a"
                              << ""
                              << "a";
    QTest::newRow("minus key") << "key-minus a"
                               << ""
                               << "a";
    // Whole-subtree and whole-tree operations fire for every entry with children, also
    // for one whose flag already had the asked value.
    QTest::newRow("star expands the subtree") << "key-star a"
                                              << "a b"
                                              << "";
    QTest::newRow("expand all") << "all"
                                << "a b f"
                                << "";
    QTest::newRow("collapse all") << "none"
                                  << ""
                                  << "a b f";
    QTest::newRow("expand then collapse all") << "all none"
                                              << "a b f"
                                              << "a b f";
}

void TestTreeView::expansionFiresOncePerEntry() {
    QFETCH(QString, Input);
    QFETCH(QString, Expands);
    QFETCH(QString, Collapses);
    TViewFixture F;
    F.Items.ExpandEntry(F.Entry("a"), false);
    F.Items.SelectEntry(F.Entry("a"));
    F.Expanding.clear();
    F.Expanded.clear();
    F.Collapsing.clear();
    F.Collapsed.clear();
    for (const QString& Step : Input.split(' ')) {
        const QString Target = Input.section(' ', 1, 1);
        if (Step == "all") {
            F.Items.ExpandAll();
        } else if (Step == "none") {
            F.Items.CollapseAll();
        } else if (Step == "button") {
            QTest::mouseClick(F.View->viewport(), Qt::LeftButton, {}, F.ButtonPoint(Target));
        } else if (Step == "double") {
            F.Items.SelectEntry(F.Entry(Target));
            QTest::mouseDClick(F.View->viewport(), Qt::LeftButton, {}, F.TitlePoint(Target));
        } else if (Step.startsWith("key-")) {
            F.Items.SelectEntry(F.Entry(Target));
            const std::map<QString, Qt::Key> Keys{{"key-right", Qt::Key_Right},
                                                  {"key-plus", Qt::Key_Plus},
                                                  {"key-left", Qt::Key_Left},
                                                  {"key-minus", Qt::Key_Minus},
                                                  {"key-star", Qt::Key_Asterisk}};
            QTest::keyClick(F.View, Keys.at(Step));
        }
    }
    auto Names = [&](const std::map<const TTreeNode*, int>& Counts) {
        QStringList List;
        for (const auto& [Node, Count] : Counts) {
            if (Count != 1)
                List << QString("%1 x%2").arg(TViewFixture::Name(Node)).arg(Count);
            else
                List << TViewFixture::Name(Node);
        }
        List.sort();
        return List.join(' ');
    };
    QCOMPARE(Names(F.Expanding), Expands);
    QCOMPARE(Names(F.Expanded), Expands);
    QCOMPARE(Names(F.Collapsing), Collapses);
    QCOMPARE(Names(F.Collapsed), Collapses);
    QVERIFY(F.ExpansionMatches());
    // The rows on screen follow: a child is shown exactly when its parent is expanded.
    const QRect ChildRow = F.View->visualRect(F.View->IndexOf(F.Entry("g")));
    QCOMPARE(ChildRow.isValid() && ChildRow.intersects(F.View->viewport()->rect()), F.Entry("f")->Expanded());
}

void TestTreeView::collapseHidingSelectionSelectsCollapsedEntry() {
    TViewFixture F;
    F.Items.ExpandAll();
    F.Items.SelectEntry(F.Entry("c"));
    F.Log.clear();
    QTest::mouseClick(F.View->viewport(), Qt::LeftButton, {}, F.ButtonPoint("a"));
    QCOMPARE(F.Log, QStringList({"changing c>a", "change a"}));
    QCOMPARE(F.ShownSelection(), "a");
    QVERIFY(!F.Entry("a")->Expanded());
    QVERIFY(F.Entry("b")->Expanded()); // a plain collapse keeps the flags below
    QVERIFY(F.ExpansionMatches());
}

void TestTreeView::deletingSelectedEntryFollowsOutline_data() {
    QTest::addColumn<QString>("Selected");
    QTest::addColumn<QString>("Deleted");
    QTest::newRow("selected leaf") << "c"
                                   << "c";
    QTest::newRow("ancestor of the selection") << "d"
                                               << "b";
    QTest::newRow("last top-level entry") << "h"
                                          << "h";
    QTest::newRow("only child") << "g"
                                << "g";
    QTest::newRow("other entry") << "a"
                                 << "h";
}

void TestTreeView::deletingSelectedEntryFollowsOutline() {
    QFETCH(QString, Selected);
    QFETCH(QString, Deleted);
    TViewFixture F;
    F.Items.ExpandAll();
    F.Items.SelectEntry(F.Entry(Selected));
    F.Items.DeleteEntry(F.Entry(Deleted));
    QCOMPARE(F.ShownSelection(), TViewFixture::Name(F.Items.SelectedEntry()));
    QVERIFY(F.ExpansionMatches());
}

void TestTreeView::loadingResetsOnceAndKeepsExpansion() {
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("a"));
    QSignalSpy Resets(F.View->Model(), &QAbstractItemModel::modelReset);
    QSignalSpy Inserts(F.View->Model(), &QAbstractItemModel::rowsInserted);
    F.Items.BeginUpdate();
    F.Items.ClearOutline();
    TTreeNode* P = F.Items.AppendChild(nullptr, "p");
    TTreeNode* Q = F.Items.AppendChild(P, "q");
    F.Items.AppendChild(Q, "r");
    F.Items.AppendSibling(P, "s");
    F.Items.ExpandEntry(Q, false); // hidden under a collapsed parent
    F.Items.EndUpdate();
    QCOMPARE(Resets.count(), 1);
    QCOMPARE(Inserts.count(), 0);
    QVERIFY(F.ExpansionMatches());
    QCOMPARE(F.ShownSelection(), "-");
    F.Items.ExpandEntry(P, false);
    QVERIFY(F.View->visualRect(F.View->IndexOf(F.Entry("r"))).isValid());
}

void TestTreeView::moveKeepsViewInStep() {
    TViewFixture F;
    F.Items.ExpandAll();
    F.Items.SelectEntry(F.Entry("c"));
    F.Items.MoveEntry(F.Entry("b"), F.Entry("h"), epLastChild);
    QVERIFY(F.ExpansionMatches());
    QCOMPARE(F.ShownSelection(), "c");
    F.Items.MoveEntry(F.Entry("h"), F.Entry("a"), epBefore);
    QVERIFY(F.ExpansionMatches());
    QCOMPARE(F.View->Model()->index(0, 0).data().toString(), "h");
}

namespace {
// The rows the view shows, top to bottom: entry, where its row begins, and whether it shows
// as expanded. (The rows' width follows the scroll bar a moment later; it is left out.)
struct TShownRow {
    const TTreeNode* Entry;
    QPoint TopLeft;
    int Height;
    bool Expanded;
    bool operator==(const TShownRow&) const = default;
};

std::vector<TShownRow> ShownRows(TTreeView& View) {
    std::vector<TShownRow> Rows;
    for (QModelIndex Index = View.Model()->index(0, 0); Index.isValid(); Index = View.indexBelow(Index))
        Rows.push_back({TOutlineModel::EntryOf(Index), View.visualRect(Index).topLeft(),
                        View.visualRect(Index).height(), View.isExpanded(Index)});
    return Rows;
}

// The view's own row list, as QTreeView keeps it: what each row stands for and the counts the
// view paints and scrolls by. The view patches it in place for single adds, deletes and moves.
struct TViewItem {
    const TTreeNode* Entry;
    int Row;
    const TTreeNode* Parent;
    int ParentItem;
    unsigned Level;
    bool Expanded;
    bool HasChildren;
    bool HasMoreSiblings;
    unsigned Total;
    bool operator==(const TViewItem&) const = default;
};

std::vector<TViewItem> ViewItems(TTreeView& View) {
    const auto* D = static_cast<const QTreeViewPrivate*>(QObjectPrivate::get(&View));
    std::vector<TViewItem> Items;
    for (const QTreeViewItem& Item : D->viewItems)
        Items.push_back({TOutlineModel::EntryOf(Item.index), Item.index.row(),
                         TOutlineModel::EntryOf(Item.index.parent()), Item.parentItem, Item.level, Item.expanded != 0,
                         Item.hasChildren != 0, Item.hasMoreSiblings != 0, Item.total});
    return Items;
}

// The first row where two row lists differ, for the failure message.
QString FirstDifference(const std::vector<TViewItem>& Patched, const std::vector<TViewItem>& Fresh) {
    auto Describe = [](const TViewItem& I) {
        return QString("%1 row %2 under %3, parent item %4, level %5, expanded %6, children %7, "
                       "more siblings %8, total %9")
            .arg(TTreeFixture::Name(I.Entry))
            .arg(I.Row)
            .arg(TTreeFixture::Name(I.Parent))
            .arg(I.ParentItem)
            .arg(I.Level)
            .arg(I.Expanded)
            .arg(I.HasChildren)
            .arg(I.HasMoreSiblings)
            .arg(I.Total);
    };
    const size_t Common = std::min(Patched.size(), Fresh.size());
    for (size_t I = 0; I < Common; ++I)
        if (!(Patched[I] == Fresh[I]))
            return QString("item %1: patched %2; fresh %3").arg(I).arg(Describe(Patched[I]), Describe(Fresh[I]));
    return QString("%1 items patched, %2 fresh").arg(Patched.size()).arg(Fresh.size());
}

// The entries the outline says are shown: each whose ancestors are all expanded.
std::vector<const TTreeNode*> VisibleEntries(TTreeNodes& Items) {
    std::vector<const TTreeNode*> Entries;
    for (const TTreeNode* Node = Items.GetFirstNode(); Node;) {
        Entries.push_back(Node);
        const TTreeNode* Next = Node->Expanded() && Node->Count() > 0 ? Node->Item(0) : nullptr;
        for (const TTreeNode* Up = Node; !Next && Up; Up = Up->Parent())
            Next = Up->GetNextSibling();
        Node = Next;
    }
    return Entries;
}
} // namespace

void TestTreeView::rowsAfterAddsAndDeletesMatchAFullLayout_data() {
    QTest::addColumn<unsigned>("Seed");
    for (unsigned Seed : {1u, 2u, 3u, 4u, 5u, 6u})
        QTest::newRow(QByteArray::number(Seed)) << Seed;
}

void TestTreeView::rowsAfterAddsAndDeletesMatchAFullLayout() {
    // Adds, deletes and moves change the view's rows in place; whatever the mix, the rows must be
    // the ones a layout from scratch gives, down to the view's own row list, and the ones the
    // outline says are shown.
    QFETCH(unsigned, Seed);
    TViewFixture F;
    F.Show();
    std::mt19937 Random(Seed);
    auto Any = [&]() -> TTreeNode* {
        if (F.Items.EntryCount() == 0)
            return nullptr;
        return F.Items.EntryAtIndex(static_cast<int>(Random() % static_cast<unsigned>(F.Items.EntryCount())));
    };
    for (int Step = 0; Step < 150; ++Step) {
        // One user action per turn of the event loop.
        QCoreApplication::processEvents();
        TTreeNode* E = Any();
        // A childless entry may still carry the expanded flag it had with children, which the
        // view does not follow; adds under such an entry are left out here.
        const bool StaleFlag = E && E->Expanded() && E->Count() == 0;
        switch (Random() % 8) {
        case 0:
            F.Items.AppendSibling(E, "s" + std::to_string(Step));
            break;
        case 1: // as the window's add-child command does
            if (StaleFlag)
                break;
            F.Items.AppendChild(E, "c" + std::to_string(Step));
            if (E)
                F.Items.ExpandEntry(E, true);
            break;
        case 2:
            if (!StaleFlag)
                F.Items.AppendChild(E, "h" + std::to_string(Step));
            break;
        case 3:
            if (E)
                F.Items.DeleteEntry(E);
            break;
        case 4:
            if (E)
                F.Items.ExpandEntry(E, Random() % 2 == 0);
            break;
        case 5:
            if (E)
                F.Items.CollapseEntry(E, false);
            break;
        case 6:
            if (E)
                F.Items.CollapseEntry(E, true);
            break;
        default: { // a drop, not under an entry with a stale flag (as for the adds)
            TTreeNode* D = Any();
            const auto Placement = static_cast<TEntryPlacement>(Random() % 5);
            const bool AsChild = Placement == epLastChild || Placement == epFirstChild;
            const TTreeNode* NewParent = AsChild ? D : D ? D->Parent() : nullptr;
            if (E && !(NewParent && NewParent->Expanded() && NewParent->Count() == 0))
                F.Items.MoveEntry(E, D, Placement);
            break;
        }
        }
        const std::vector<TShownRow> Patched = ShownRows(*F.View);
        const std::vector<TViewItem> PatchedItems = ViewItems(*F.View);
        F.View->doItemsLayout();
        const std::vector<TShownRow> Fresh = ShownRows(*F.View);
        QVERIFY2(Patched == Fresh, qPrintable(QString("step %1").arg(Step)));
        const std::vector<TViewItem> FreshItems = ViewItems(*F.View);
        QVERIFY2(PatchedItems == FreshItems,
                 qPrintable(QString("step %1, %2").arg(Step).arg(FirstDifference(PatchedItems, FreshItems))));
        std::vector<const TTreeNode*> Shown;
        for (const TShownRow& Row : Fresh)
            Shown.push_back(Row.Entry);
        QVERIFY2(Shown == VisibleEntries(F.Items), qPrintable(QString("step %1").arg(Step)));
        QVERIFY(F.ExpansionMatches());
    }
}

namespace {
// Lays the rows out from scratch, as QTreeView does for itself, and compares them with the
// rows the view has; then puts back what the view had, record of expanded entries
// included, so that whatever the view keeps between changes is still in play afterwards.
QString CompareWithAFullLayout(TTreeView& View) {
    auto* D = static_cast<QTreeViewPrivate*>(QObjectPrivate::get(&View));
    const std::vector<TShownRow> Rows = ShownRows(View);
    const std::vector<TViewItem> Items = ViewItems(View);
    const QList<QTreeViewItem> SavedItems = D->viewItems;
    const QSet<QPersistentModelIndex> SavedRecord = D->expandedIndexes;
    const bool SavedRemoved = D->hasRemovedItems;
    View.doItemsLayout();
    const std::vector<TShownRow> FreshRows = ShownRows(View);
    const std::vector<TViewItem> FreshItems = ViewItems(View);
    D->viewItems = SavedItems;
    D->expandedIndexes = SavedRecord;
    D->hasRemovedItems = SavedRemoved;
    if (Items != FreshItems)
        return FirstDifference(Items, FreshItems);
    if (Rows != FreshRows)
        return "the rows on screen differ";
    return {};
}
} // namespace

void TestTreeView::rowsAfterExpandAndCollapseAllMatchAFullLayout_data() {
    QTest::addColumn<unsigned>("Seed");
    QTest::addColumn<bool>("Listened"); // something listens to the view's expanded and collapsed signals
    for (unsigned Seed : {11u, 12u, 13u, 14u, 15u, 16u})
        QTest::newRow(QByteArray::number(Seed)) << Seed << (Seed % 3 == 0);
}

void TestTreeView::rowsAfterExpandAndCollapseAllMatchAFullLayout() {
    // Expanding and collapsing everything builds the view's rows and its record of expanded
    // entries in one step. Mixed with single expansions, adds, deletes, drops, full layouts,
    // refusals by the handlers and children added while expanding, the rows must be the ones
    // a layout from scratch gives, the view must call expanded exactly the entries the
    // outline has expanded, and the signals must tell the same.
    QFETCH(unsigned, Seed);
    QFETCH(bool, Listened);
    TViewFixture F;
    std::mt19937 Random(Seed);
    auto Any = [&]() -> TTreeNode* {
        if (F.Items.EntryCount() == 0)
            return nullptr;
        return F.Items.EntryAtIndex(static_cast<int>(Random() % static_cast<unsigned>(F.Items.EntryCount())));
    };
    for (int Add = 0; Add < 60; ++Add)
        F.Items.AppendChild(Random() % 4 == 0 ? nullptr : Any(), "n" + std::to_string(Add));
    // Entries the handlers keep as they are, and entries that get a child as they expand.
    std::set<const TTreeNode*> Refusing, Growing;
    F.Items.OnExpanding = [&](TObject*, TTreeNode* Node, bool& Allow) { Allow = !Refusing.count(Node); };
    F.Items.OnCollapsing = [&](TObject*, TTreeNode* Node, bool& Allow) { Allow = !Refusing.count(Node); };
    F.Items.OnExpanded = [&](TObject*, TTreeNode* Node) {
        if (Growing.count(Node)) {
            Growing.erase(Node);
            F.Items.AppendChild(Node, "grown");
        }
    };
    // The entries the view's signals say are expanded.
    std::set<const TTreeNode*> Told;
    if (Listened) {
        QObject::connect(F.View, &QTreeView::expanded, F.View,
                         [&](const QModelIndex& Index) { Told.insert(TOutlineModel::EntryOf(Index)); });
        QObject::connect(F.View, &QTreeView::collapsed, F.View,
                         [&](const QModelIndex& Index) { Told.erase(TOutlineModel::EntryOf(Index)); });
    }
    for (int Step = 0; Step < 200; ++Step) {
        QCoreApplication::processEvents();
        TTreeNode* E = Any();
        const bool StaleFlag = E && E->Expanded() && E->Count() == 0;
        const unsigned Action = Random() % 12;
        switch (Action) {
        case 0:
        case 1:
            F.Items.ExpandAll();
            break;
        case 2:
        case 3:
            F.Items.CollapseAll();
            break;
        case 4:
            if (E)
                F.Items.ExpandEntry(E, Random() % 2 == 0);
            break;
        case 5:
            if (E)
                F.Items.CollapseEntry(E, Random() % 2 == 0);
            break;
        case 6:
            if (!StaleFlag)
                F.Items.AppendChild(E, "c" + std::to_string(Step));
            break;
        case 7:
            F.Items.AppendSibling(E, "s" + std::to_string(Step));
            break;
        case 8:
            if (E && F.Items.EntryCount() > 10) {
                // The view tells nothing of entries that leave; their addresses may come again.
                const TTreeNode* End = nullptr;
                for (const TTreeNode* Up = E; Up && !End; Up = Up->Parent())
                    End = Up->GetNextSibling();
                for (const TTreeNode* Node = E; Node && Node != End; Node = Node->GetNext()) {
                    Refusing.erase(Node);
                    Growing.erase(Node);
                    Told.erase(Node);
                }
                F.Items.DeleteEntry(E);
            }
            break;
        case 9: {
            TTreeNode* D = Any();
            const auto Placement = static_cast<TEntryPlacement>(Random() % 5);
            const bool AsChild = Placement == epLastChild || Placement == epFirstChild;
            const TTreeNode* NewParent = AsChild ? D : D ? D->Parent() : nullptr;
            if (E && !(NewParent && NewParent->Expanded() && NewParent->Count() == 0))
                F.Items.MoveEntry(E, D, Placement);
            break;
        }
        case 10:
            F.View->doItemsLayout();
            break;
        default: // the handlers change their minds
            if (E && Random() % 2 == 0)
                Refusing.insert(E);
            else if (E)
                Growing.insert(E);
            else
                Refusing.clear();
            if (Random() % 4 == 0)
                Refusing.clear();
            break;
        }
        const QString Where = QString("step %1, action %2").arg(Step).arg(Action);
        const QString Difference = CompareWithAFullLayout(*F.View);
        QVERIFY2(Difference.isEmpty(), qPrintable(Where + ": " + Difference));
        std::vector<const TTreeNode*> Shown;
        for (const TShownRow& Row : ShownRows(*F.View))
            Shown.push_back(Row.Entry);
        QVERIFY2(Shown == VisibleEntries(F.Items), qPrintable(Where));
        // A childless entry may be left in the view's record with the flag it had with children.
        std::set<const TTreeNode*> Recorded;
        for (const TTreeNode* Node = F.Items.GetFirstNode(); Node; Node = Node->GetNext()) {
            const bool InRecord = F.View->isExpanded(F.View->IndexOf(Node));
            QVERIFY2(!Node->HasChildren() || InRecord == Node->Expanded(),
                     qPrintable(Where + ": " + TViewFixture::Name(Node)));
            if (InRecord)
                Recorded.insert(Node);
        }
        if (Listened)
            QVERIFY2(Told == Recorded, qPrintable(Where));
    }
}

void TestTreeView::titlesCannotBeEditedInPlace() {
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("f"));
    QTest::keyClick(F.View, Qt::Key_F2);
    QTest::mouseDClick(F.View->viewport(), Qt::LeftButton, {}, F.TitlePoint("f"));
    QVERIFY(!F.View->indexWidget(F.View->IndexOf(F.Entry("f"))));
    QVERIFY(F.View->findChildren<QLineEdit*>().isEmpty());
    QCOMPARE(F.Entry("f")->Text(), "f");
}

void TestTreeView::typeAheadEndsAfterOnePass_data() {
    QTest::addColumn<QString>("Expanded");  // expanded before the selection is made
    QTest::addColumn<QString>("Selected");  // "-": none
    QTest::addColumn<QString>("Collapsed"); // collapsed by the program afterwards, hiding the selection
    QTest::addColumn<QString>("Typed");     // keys in quick succession
    QTest::addColumn<QString>("Target");    // the selection afterwards
    QTest::newRow("hidden selection, no title starts so") << "a b"
                                                          << "c"
                                                          << "a"
                                                          << "zz"
                                                          << "c";
    QTest::newRow("hidden selection, extended search") << "a b"
                                                       << "c"
                                                       << "a"
                                                       << "hh"
                                                       << "h";
    QTest::newRow("hidden selection, next shown row") << "a b"
                                                      << "c"
                                                      << "a"
                                                      << "f"
                                                      << "f";
    QTest::newRow("hidden selection, its collapsed ancestor") << "a b"
                                                              << "d"
                                                              << "a"
                                                              << "a"
                                                              << "a";
    QTest::newRow("hidden selection, hidden titles are not found") << "a b"
                                                                   << "c"
                                                                   << "a"
                                                                   << "e"
                                                                   << "c";
    QTest::newRow("hidden two levels down") << "a b"
                                            << "c"
                                            << "b"
                                            << "e"
                                            << "e";
    QTest::newRow("hidden in the last top-level entry") << "f"
                                                        << "g"
                                                        << "f"
                                                        << "zz"
                                                        << "g";
    QTest::newRow("shown selection, no title starts so") << ""
                                                         << "h"
                                                         << ""
                                                         << "zz"
                                                         << "h";
    QTest::newRow("search wraps past the last row") << ""
                                                    << "h"
                                                    << ""
                                                    << "a"
                                                    << "a";
    QTest::newRow("no selection") << ""
                                  << "-"
                                  << ""
                                  << "zz"
                                  << "-";
}

void TestTreeView::typeAheadEndsAfterOnePass() {
    QFETCH(QString, Expanded);
    QFETCH(QString, Selected);
    QFETCH(QString, Collapsed);
    QFETCH(QString, Typed);
    QFETCH(QString, Target);
    TViewFixture F;
    for (const QString& Name : Expanded.split(' ', Qt::SkipEmptyParts))
        F.Items.ExpandEntry(F.Entry(Name), false);
    if (Selected != "-")
        F.Items.SelectEntry(F.Entry(Selected));
    for (const QString& Name : Collapsed.split(' ', Qt::SkipEmptyParts))
        F.Items.CollapseEntry(F.Entry(Name), false);
    F.Log.clear();
    {
        const TWatchdog Watch("type-ahead", 10);
        QTest::keyClicks(F.View, Typed);
    }
    const QStringList Expected =
        Target == Selected ? QStringList()
                           : QStringList({QString("changing %1>%2").arg(Selected, Target), "change " + Target});
    QCOMPARE(F.Log, Expected);
    QCOMPARE(TViewFixture::Name(F.Items.SelectedEntry()), Target);
}

void TestTreeView::typeAheadComparesTitlesAsShown_data() {
    QTest::addColumn<QByteArray>("Title"); // code page 932, a top-level entry after the others
    QTest::addColumn<QString>("Typed");
    QTest::addColumn<bool>("Found");
    QTest::newRow("full-width letters in either case") << QByteArray("\x82\x60\x82\x61") << "ａｂ" << true; // ＡＢ
    QTest::newRow("Greek letters in either case") << QByteArray("\x83\x9f\x83\xa0") << "αβ" << true;        // ΑΒ
    QTest::newRow("one full-width letter") << QByteArray("\x82\x60\x82\x61") << "ａ" << true;
    QTest::newRow("one Roman numeral") << QByteArray("\x87\x54") << "ⅰ" << true; // Ⅰ
    QTest::newRow("a second character that differs") << QByteArray("\x82\x60\x82\x61") << "ａｃ" << true;
    QTest::newRow("ASCII letters in either case") << QByteArray("Zeta") << "zE" << true;
    QTest::newRow("half-width kana is another character") << QByteArray("\x83\x41") << "ｱ" << false; // ア
    QTest::newRow("an undecodable byte is no letter") << QByteArray("\x80x") << "x" << false;
    QTest::newRow("a lead byte cut off at the end") << QByteArray("\x82\x60\x82") << "ａ" << true;
}

void TestTreeView::typeAheadComparesTitlesAsShown() {
    QFETCH(QByteArray, Title);
    QFETCH(QString, Typed);
    QFETCH(bool, Found);
    TViewFixture F;
    TTreeNode* Added = F.Items.AppendChild(nullptr, Title.toStdString());
    F.Items.SelectEntry(F.Entry("a"));
    // keyClicks takes Latin-1 only: these keys carry their characters as the text.
    for (const QChar Char : Typed)
        QTest::sendKeyEvent(QTest::Click, F.View, Qt::Key_A, QString(Char), Qt::NoModifier);
    QCOMPARE(F.Items.SelectedEntry() == Added, Found);
    if (!Found)
        QCOMPARE(TViewFixture::Name(F.Items.SelectedEntry()), "a");
}

void TestTreeView::typeAheadSeesChangedTitles_data() {
    QTest::addColumn<QString>("Change");
    QTest::newRow("title set") << "retitle";
    QTest::newRow("entry deleted and another added") << "replace";
    QTest::newRow("outline reloaded") << "reload";
}

void TestTreeView::typeAheadSeesChangedTitles() {
    QFETCH(QString, Change);
    TViewFixture F;
    F.Items.SelectEntry(F.Entry("a"));
    // Every shown title has been read once.
    QTest::keyClicks(F.View, "zz");
    F.View->viewport()->repaint();
    if (Change == "retitle") {
        F.Items.SetEntryTitle(F.Entry("h"), "qq");
    } else if (Change == "replace") {
        F.Items.DeleteEntry(F.Entry("h"));
        F.Items.AppendSibling(F.Entry("f"), "qq");
    } else {
        F.Items.BeginUpdate();
        F.Items.DeleteEntry(F.Entry("h"));
        F.Items.AppendSibling(F.Entry("f"), "qq");
        F.Items.EndUpdate();
    }
    QTest::qWait(QApplication::keyboardInputInterval() + 100); // a new search
    F.Log.clear();
    QTest::keyClicks(F.View, "q");
    QCOMPARE(F.Log, QStringList({"changing a>qq", "change qq"}));
    QCOMPARE(F.View->Model()->data(F.View->IndexOf(F.Entry("qq"))).toString(), "qq");
    QTest::qWait(QApplication::keyboardInputInterval() + 100);
    F.Log.clear();
    QTest::keyClicks(F.View, "h");
    QCOMPARE(F.Log, QStringList());
}

namespace {
// 30 top-level entries "t0".."t29", each with children "t<i>.0".."t<i>.3", the first
// child with two children of its own, in a short view.
struct TLongFixture : TTreeFixture {
    TLongFixture() : TTreeFixture("x", "y") {
        Items.ClearOutline();
        for (int I = 0; I < 30; ++I) {
            const std::string Top = "t" + std::to_string(I);
            TTreeNode* Entry = Items.AppendChild(nullptr, Top);
            for (int C = 0; C < 4; ++C) {
                TTreeNode* Child = Items.AppendChild(Entry, Top + "." + std::to_string(C));
                if (C == 0) {
                    Items.AppendChild(Child, Top + ".0.a");
                    Items.AppendChild(Child, Top + ".0.b");
                }
            }
        }
        View->setGeometry(0, 0, 200, 150);
        Window.resize(220, 200);
        Show();
    }
    QString TopRow() { return Name(View->EntryAt(0, 0)); }
};
} // namespace

void TestTreeView::expandAndCollapseAllKeepTheTopEntry_data() {
    QTest::addColumn<bool>("ExpandedBefore");
    QTest::addColumn<QString>("Top");
    QTest::addColumn<QString>("TopAfterExpand");
    QTest::addColumn<QString>("TopAfterCollapse");
    QTest::newRow("collapsed, a top-level entry at the top") << false << "t12"
                                                             << "t12"
                                                             << "t12";
    QTest::newRow("expanded, a child at the top") << true << "t7.2"
                                                  << "t7.2"
                                                  << "t7";
    QTest::newRow("expanded, a grandchild at the top") << true << "t20.0.b"
                                                       << "t20.0.b"
                                                       << "t20";
}

void TestTreeView::expandAndCollapseAllKeepTheTopEntry() {
    QFETCH(bool, ExpandedBefore);
    QFETCH(QString, Top);
    QFETCH(QString, TopAfterExpand);
    QFETCH(QString, TopAfterCollapse);
    TLongFixture F;
    if (ExpandedBefore)
        F.Items.ExpandAll();
    F.View->scrollTo(F.View->IndexOf(F.Entry(Top)), QAbstractItemView::PositionAtTop);
    QCOMPARE(F.TopRow(), Top);
    F.Items.ExpandAll();
    QCOMPARE(F.TopRow(), TopAfterExpand);
    QVERIFY(F.View->isExpanded(F.View->IndexOf(F.Entry("t29.0"))));
    F.Items.CollapseAll();
    QCOMPARE(F.TopRow(), TopAfterCollapse);
    QVERIFY(!F.View->isExpanded(F.View->IndexOf(F.Entry("t0"))));
    // Expanding a collapsed entry later shows its children collapsed.
    F.Items.ExpandEntry(F.Entry("t3"), false);
    QVERIFY(!F.View->isExpanded(F.View->IndexOf(F.Entry("t3.0"))));
    QVERIFY(F.View->visualRect(F.View->IndexOf(F.Entry("t3.1"))).isValid());
}

void TestTreeView::reloadedTreeStartsAtTheTop() {
    TLongFixture F;
    F.Items.ExpandAll();
    F.View->scrollTo(F.View->IndexOf(F.Entry("t25.3")), QAbstractItemView::PositionAtTop);
    QVERIFY(F.View->verticalScrollBar()->value() > 0);
    // A data set loaded in place of the shown one, as the window's switch does.
    F.Items.BeginUpdate();
    F.Items.ClearOutline();
    for (int I = 0; I < 40; ++I)
        F.Items.AppendChild(nullptr, "n" + std::to_string(I));
    F.Items.EndUpdate();
    QTRY_COMPARE(F.TopRow(), QString("n0"));
    QCOMPARE(F.View->verticalScrollBar()->value(), 0);
}

void TestTreeView::wideTitleBringsHorizontalScrollBar() {
    TLongFixture F;
    QScrollBar* Bar = F.View->horizontalScrollBar();
    QTRY_VERIFY(!Bar->isVisible());
    // Hidden under a collapsed entry, a wide title does not count.
    TTreeNode* Wide = F.Items.AppendChild(F.Entry("t1"), "w" + std::string(80, 'W'));
    QTest::qWait(50);
    QVERIFY(!Bar->isVisible());
    F.Items.ExpandEntry(F.Entry("t1"), false);
    QTRY_VERIFY(Bar->isVisible());
    // Scrolled to the right end, the title's end is in view.
    Bar->setValue(Bar->maximum());
    const QRect Label = F.View->LabelRect(Wide);
    QVERIFY(Label.right() <= F.View->viewport()->width() + TTreeView::TitlePadding);
    F.Items.CollapseEntry(F.Entry("t1"), false);
    QTRY_VERIFY(!Bar->isVisible());
}

QTEST_MAIN(TestTreeView)
#include "tst_treeview.moc"
