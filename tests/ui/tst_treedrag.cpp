// The tree's hit zones and its drag of an entry, driven by mouse and key events on a
// shown view: stages and thresholds, drag-over and drop events, the selection, the drop
// highlight, cursors and the drag image.
#include "Guard.h"
#include "HitZones.h"
#include "OutlineModel.h"
#include "TreeFixture.h"
#include "TreeMouse.h"
#include "TreeView.h"

#include <QAbstractItemModelTester>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QtTest>

#include <functional>

namespace {

const char* const ZoneNames[] = {"above",  "below", "nowhere", "entry",     "button", "icon",
                                 "indent", "label", "right",   "stateicon", "toleft", "toright"};

QString Names(TTreeHitZones Zones) {
    QStringList Parts;
    for (int Zone = 0; Zone <= static_cast<int>(hzToRight); ++Zone)
        if (Zones.Contains(static_cast<TTreeHitZone>(Zone)))
            Parts << ZoneNames[Zone];
    return Parts.join(' ');
}

// alpha(beta(c d) e) f(g) h, all expanded, in a shown window; the field beside the
// tree is another control of the same window.
struct TDragFixture : TTreeFixture {
    TTreeMouse Input{View};
    // Where drag-overs accept; everywhere by default.
    std::function<bool(int X, int Y)> Accepts = [](int, int) { return true; };
    // Runs at a drop.
    std::function<void(int X, int Y)> Dropped;

    TDragFixture() : TTreeFixture("alpha", "beta") {
        Window.setGeometry(100, 100, 460, 340);
        View->setGeometry(10, 10, 300, 300);
        Other->setGeometry(330, 10, 120, 300);
        Items.ExpandEntry(Entry("alpha"), false);
        Items.ExpandEntry(Entry("beta"), false);
        Items.ExpandEntry(Entry("f"), false);
        Items.OnChanging = [this](TObject*, TTreeNode* Node, bool&) {
            Log << QString("changing %1>%2").arg(Name(Items.SelectedEntry()), Name(Node));
        };
        Items.OnChange = [this](TObject*, TTreeNode* Node) { Log << "change " + Name(Node); };
        View->OnDragOver = [this](TObject* Sender, TObject* Source, int X, int Y, TDragState State, bool& Accept) {
            QCOMPARE_EQ(Sender, static_cast<TObject*>(View));
            QCOMPARE_EQ(Source, static_cast<TObject*>(View));
            QVERIFY(Accept);
            const char* const States[] = {"enter", "leave", "move"};
            Log << QString("%1 %2,%3").arg(States[static_cast<int>(State)]).arg(X).arg(Y);
            Accept = Accepts(X, Y);
        };
        View->OnDragDrop = [this](TObject* Sender, TObject* Source, int X, int Y) {
            QCOMPARE_EQ(Sender, static_cast<TObject*>(View));
            QCOMPARE_EQ(Source, static_cast<TObject*>(View));
            Log << QString("drop %1,%2").arg(X).arg(Y);
            if (Dropped)
                Dropped(X, Y);
        };
        Show();
    }
    ~TDragFixture() {
        if (!View)
            return;
        View->OnDragOver = nullptr;
        View->OnDragDrop = nullptr;
    }

    QRect Row(const QString& Title) { return View->visualRect(View->IndexOf(Entry(Title))); }
    // A point on the title's text.
    QPoint TitlePoint(const QString& Title) { return {Row(Title).left() + 3, Row(Title).center().y()}; }

    // Presses on Title and moves far enough for the tree to report a drag; returns the
    // drag's start point. The log is cleared first.
    QPoint StartDrag(const QString& Title) {
        Log.clear();
        return Input.Begin(TitlePoint(Title));
    }
    // Starts a drag of Title and makes it active with a move straight down by 6 px.
    QPoint ActiveDrag(const QString& Title) {
        const QPoint At = StartDrag(Title) + QPoint(0, 6);
        Input.MoveTo(At);
        return At;
    }
    QStringList DragEvents() const {
        QStringList Events;
        for (const QString& Line : Log)
            if (!Line.startsWith("chang"))
                Events << Line;
        return Events;
    }
    static QString At(QPoint P) { return QString("%1,%2").arg(P.x()).arg(P.y()); }
    Qt::CursorShape Cursor() const {
        const QCursor* Override = QApplication::overrideCursor();
        return Override ? Override->shape() : Qt::BlankCursor;
    }
};

} // namespace

class TestTreeDrag : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TErrorReporter::SetHandler([](const std::exception& Error) { QFAIL(Error.what()); });
    }
    void cleanup() { QCOMPARE(QApplication::overrideCursor(), nullptr); }

    void hitZonesFollowTheRowsGeometry_data();
    void hitZonesFollowTheRowsGeometry();
    void dragSelectsThePressedEntryOnce_data();
    void dragSelectsThePressedEntryOnce();
    void pendingUntilFivePixelsOnEitherAxis_data();
    void pendingUntilFivePixelsOnEitherAxis();
    void dropReportsLeaveThenDrop();
    void refusedDropReportsLeaveOnly();
    void leavingTheTreeAndComingBack();
    void dropHighlightFollowsEntriesNotEmptySpace();
    void onlyTheDropTargetIsHighlighted();
    void cursorShowsTheLastAnswer();
    void dragImageFollowsPointerOverTheTree();
    void keysDuringDrag_data();
    void keysDuringDrag();
    void interruptionCancelsTheDrag_data();
    void interruptionCancelsTheDrag();
    void clickWithoutDragSelectsAtRelease_data();
    void clickWithoutDragSelectsAtRelease();
    void rightButtonReleaseEndsDrag();
    void moveInDropHandlerMovesRowsWithoutReset();
    void errorInHandlerEndsDragCleanly();
    void refusesSystemDrops();
    void destroyingTheTreeMidDragLeavesNoTrace();
};

void TestTreeDrag::hitZonesFollowTheRowsGeometry_data() {
    // X and Y in viewport coordinates: a number, "text+n" (n px right of the end of the
    // row's title box: its level's cells of 40 px, the text's advance and 2 px each side),
    // "w+n" / "h+n" (from the viewport's width / height), "row" (the row's middle),
    // "below" (3 px below the last row).
    QTest::addColumn<QString>("Title");
    QTest::addColumn<QString>("X");
    QTest::addColumn<QString>("Y");
    QTest::addColumn<QString>("Zones");
    QTest::addColumn<QString>("Entry");
    QTest::newRow("top-level button cell") << "alpha"
                                           << "20"
                                           << "row"
                                           << "button"
                                           << "alpha";
    QTest::newRow("top-level leaf's cell") << "h"
                                           << "20"
                                           << "row"
                                           << "indent"
                                           << "h";
    QTest::newRow("indentation of a child") << "beta"
                                            << "39"
                                            << "row"
                                            << "indent"
                                            << "beta";
    QTest::newRow("child's button cell starts") << "beta"
                                                << "40"
                                                << "row"
                                                << "button"
                                                << "beta";
    QTest::newRow("child's button cell ends") << "beta"
                                              << "79"
                                              << "row"
                                              << "button"
                                              << "beta";
    QTest::newRow("grandchild's indentation") << "c"
                                              << "70"
                                              << "row"
                                              << "indent"
                                              << "c";
    QTest::newRow("leaf's own cell") << "c"
                                     << "100"
                                     << "row"
                                     << "indent"
                                     << "c";
    QTest::newRow("title starts") << "c"
                                  << "120"
                                  << "row"
                                  << "label"
                                  << "c";
    QTest::newRow("title ends") << "alpha"
                                << "text-1"
                                << "row"
                                << "label"
                                << "alpha";
    QTest::newRow("right of the title") << "alpha"
                                        << "text+0"
                                        << "row"
                                        << "right"
                                        << "alpha";
    QTest::newRow("far right in the row") << "h"
                                          << "w-1"
                                          << "row"
                                          << "right"
                                          << "h";
    QTest::newRow("below the last row") << ""
                                        << "60"
                                        << "below"
                                        << "nowhere"
                                        << "";
    QTest::newRow("bottom of the client area") << ""
                                               << "0"
                                               << "h-1"
                                               << "nowhere"
                                               << "";
    QTest::newRow("left of the client area") << ""
                                             << "-1"
                                             << "5"
                                             << "toleft"
                                             << "";
    QTest::newRow("right of the client area") << ""
                                              << "w+0"
                                              << "5"
                                              << "toright"
                                              << "";
    QTest::newRow("above the client area") << ""
                                           << "5"
                                           << "-1"
                                           << "above"
                                           << "";
    QTest::newRow("below the client area") << ""
                                           << "5"
                                           << "h+0"
                                           << "below"
                                           << "";
    QTest::newRow("frame's top left corner") << ""
                                             << "-1"
                                             << "-1"
                                             << "above toleft"
                                             << "";
    QTest::newRow("frame's bottom right corner") << ""
                                                 << "w+0"
                                                 << "h+0"
                                                 << "below toright"
                                                 << "";
    QTest::newRow("far outside") << ""
                                 << "-500"
                                 << "h+500"
                                 << "below toleft"
                                 << "";
}

void TestTreeDrag::hitZonesFollowTheRowsGeometry() {
    QFETCH(QString, Title);
    QFETCH(QString, X);
    QFETCH(QString, Y);
    QFETCH(QString, Zones);
    QFETCH(QString, Entry);
    TDragFixture F;
    const QSize Client = F.View->viewport()->size();
    auto Value = [&](const QString& Given, int Base, const char* Prefix) {
        return Given.startsWith(Prefix) ? Base + Given.mid(int(strlen(Prefix))).toInt() : Given.toInt();
    };
    int PointX = 0;
    if (X.startsWith("text")) {
        const int Level = TTreeNodes::EntryLevel(F.Entry(Title));
        const int Advance = F.View->fontMetrics().horizontalAdvance(Title);
        PointX = Value(X, (Level + 1) * 40 + Advance + 2 * 2, "text");
    } else {
        PointX = Value(X, Client.width(), "w");
    }
    int PointY = 0;
    if (Y == "row")
        PointY = F.Row(Title).center().y();
    else if (Y == "below")
        PointY = F.Row("h").bottom() + 3;
    else
        PointY = Value(Y, Client.height(), "h");
    QCOMPARE(Names(F.View->HitZonesAt(PointX, PointY)), Zones);
    QCOMPARE(TDragFixture::Name(F.View->EntryAt(PointX, PointY)), Entry.isEmpty() ? "-" : Entry);
}

void TestTreeDrag::dragSelectsThePressedEntryOnce_data() {
    QTest::addColumn<QString>("Selected");
    QTest::addColumn<QString>("Pressed"); // a title, or "empty" below the last row
    QTest::addColumn<QStringList>("Expected");
    QTest::newRow("another entry") << "f"
                                   << "d" << QStringList{"changing f>d", "change d"};
    QTest::newRow("the selected entry") << "d"
                                        << "d" << QStringList{"changing d>d", "change d"};
    QTest::newRow("with no selection") << ""
                                       << "h" << QStringList{"changing ->h", "change h"};
    QTest::newRow("empty space") << "f"
                                 << "empty" << QStringList{};
}

void TestTreeDrag::dragSelectsThePressedEntryOnce() {
    QFETCH(QString, Selected);
    QFETCH(QString, Pressed);
    QFETCH(QStringList, Expected);
    TDragFixture F;
    if (!Selected.isEmpty())
        F.Items.SelectEntry(F.Entry(Selected));
    F.Log.clear();
    const QPoint From = Pressed == "empty" ? QPoint(60, F.Row("h").bottom() + 10) : F.TitlePoint(Pressed);
    F.Input.Press(From);
    // Nothing happens on the press itself, nor short of the drag-detection distance.
    F.Input.MoveTo(From + QPoint(QApplication::startDragDistance() - 1, 0));
    QCOMPARE(F.Log, QStringList());
    F.Input.MoveTo(From + QPoint(QApplication::startDragDistance(), 0));
    QCOMPARE(F.Log, Expected);
    // Further moves and the drop select nothing more.
    F.Input.MoveTo(From + QPoint(0, 30));
    F.Input.Release(From + QPoint(0, 30));
    QStringList Selections;
    for (const QString& Line : F.Log)
        if (Line.startsWith("chang"))
            Selections << Line;
    QCOMPARE(Selections, Expected);
    QCOMPARE(F.DragEvents().isEmpty(), Pressed == "empty");
    QCOMPARE(TDragFixture::Name(F.Items.SelectedEntry()), Pressed == "empty" ? Selected : Pressed);
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgIdle);
}

void TestTreeDrag::pendingUntilFivePixelsOnEitherAxis_data() {
    QTest::addColumn<QPoint>("Offset"); // from the drag's start point
    QTest::addColumn<bool>("Active");
    QTest::newRow("4 px on both axes") << QPoint(4, 4) << false;
    QTest::newRow("4 px back on both axes") << QPoint(-4, -4) << false;
    QTest::newRow("5 px right") << QPoint(5, 0) << true;
    QTest::newRow("5 px left") << QPoint(-5, 0) << true;
    QTest::newRow("5 px down") << QPoint(0, 5) << true;
    QTest::newRow("5 px up") << QPoint(0, -5) << true;
}

void TestTreeDrag::pendingUntilFivePixelsOnEitherAxis() {
    QFETCH(QPoint, Offset);
    QFETCH(bool, Active);
    TDragFixture F;
    const QPoint Start = F.StartDrag("e");
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgPending);
    const QPoint At = Start + Offset;
    F.Input.MoveTo(At);
    QCOMPARE(F.View->Drag().Stage(), Active ? TTreeDrag::TStage::dgActive : TTreeDrag::TStage::dgPending);
    const QStringList Expected = Active ? QStringList{"enter " + F.At(At), "move " + F.At(At)} : QStringList{};
    QCOMPARE(F.DragEvents(), Expected);
    QCOMPARE(F.View->Drag().Image() != nullptr, Active);
    // Released before it became active, the drag ends without a trace.
    F.Input.Release(At);
    const QStringList AtEnd = Active ? QStringList{"leave " + F.At(At), "drop " + F.At(At)} : QStringList{};
    QCOMPARE(F.DragEvents(), Expected + AtEnd);
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgIdle);
    QCOMPARE(F.Items.DropTarget(), nullptr);
}

void TestTreeDrag::dropReportsLeaveThenDrop() {
    TDragFixture F;
    const QPoint First = F.ActiveDrag("h");
    const QPoint Target = F.TitlePoint("c");
    F.Input.MoveTo(Target);
    F.Input.Release(Target);
    QCOMPARE(F.DragEvents(), QStringList({"enter " + F.At(First), "move " + F.At(First), "move " + F.At(Target),
                                          "leave " + F.At(Target), "drop " + F.At(Target)}));
}

void TestTreeDrag::refusedDropReportsLeaveOnly() {
    TDragFixture F;
    F.Accepts = [](int, int Y) { return Y < 40; };
    F.ActiveDrag("alpha");
    const QPoint Target = F.TitlePoint("h");
    F.Input.MoveTo(Target);
    // Released somewhere else than the last move: that position is evaluated first.
    const QPoint Release = Target + QPoint(3, 0);
    F.Input.Release(Release);
    const QStringList Events = F.DragEvents();
    QCOMPARE(Events.mid(Events.size() - 3),
             QStringList({"move " + F.At(Target), "move " + F.At(Release), "leave " + F.At(Release)}));
    QCOMPARE(F.Items.DropTarget(), nullptr);
}

void TestTreeDrag::leavingTheTreeAndComingBack() {
    TDragFixture F;
    const QPoint First = F.ActiveDrag("g");
    // The frame belongs to the tree; the field beside it does not.
    const QPoint Frame = F.Input.InPort(F.View, QPoint(0, 100));
    const QPoint Outside = F.Input.InPort(F.Other, QPoint(20, 100));
    const QPoint Back = F.TitlePoint("f");
    F.Input.MoveTo(Frame);
    F.Input.MoveTo(Outside);
    QCOMPARE(F.Items.DropTarget(), nullptr);
    F.Input.MoveTo(Back);
    F.Input.MoveTo(Outside);
    F.Input.Release(Outside);
    QCOMPARE(F.DragEvents(), QStringList({"enter " + F.At(First), "move " + F.At(First), "move " + F.At(Frame),
                                          "leave " + F.At(Outside), "enter " + F.At(Back), "move " + F.At(Back),
                                          "leave " + F.At(Outside)}));
}

void TestTreeDrag::dropHighlightFollowsEntriesNotEmptySpace() {
    TDragFixture F;
    bool Checked = false;
    // The highlight is set after the handler has run.
    F.View->OnDragOver = [&](TObject*, TObject*, int X, int Y, TDragState State, bool& Accept) {
        if (State == dsDragMove && F.View->EntryAt(X, Y) == F.Entry("d")) {
            QCOMPARE(TDragFixture::Name(F.Items.DropTarget()), "c");
            Checked = true;
        }
        Accept = false; // the highlight does not depend on the answer
    };
    F.ActiveDrag("h");
    const struct {
        QPoint At;
        QString Target;
    } Steps[] = {
        {F.TitlePoint("c"), "c"},
        {QPoint(5, F.Row("d").center().y()), "d"},                        // in d's indentation
        {QPoint(F.View->viewport()->width() - 2, F.Row("f").top()), "f"}, // right of f's title
        {QPoint(60, F.Row("h").bottom() + 20), "f"},                      // empty space keeps it
        {F.Input.InPort(F.View, QPoint(0, 0)), "f"},                      // so does the frame
        {F.Input.InPort(F.Other, QPoint(5, 5)), "-"},                     // leaving removes it
        {F.TitlePoint("g"), "g"},
    };
    for (const auto& Step : Steps) {
        F.Input.MoveTo(Step.At);
        QCOMPARE(TDragFixture::Name(F.Items.DropTarget()), Step.Target);
    }
    QVERIFY(Checked);
    F.Input.Release(F.TitlePoint("g"));
    QCOMPARE(F.Items.DropTarget(), nullptr);
}

void TestTreeDrag::onlyTheDropTargetIsHighlighted() {
    TDragFixture F;
    const QColor Highlight = F.View->palette().color(QPalette::Active, QPalette::Highlight);
    auto Marked = [&](const QString& Title) {
        // The left edge of the title box, where no glyph is drawn.
        return F.View->viewport()->grab().toImage().pixelColor(F.Row(Title).left() + 1, F.Row(Title).center().y()) ==
               Highlight;
    };
    F.ActiveDrag("e");
    F.Input.MoveTo(F.TitlePoint("c"));
    QVERIFY(Marked("c"));
    QVERIFY(!Marked("e"));
    // Over empty space the target stays, and so does the selection's plain look.
    F.Input.MoveTo(QPoint(60, F.Row("h").bottom() + 20));
    QVERIFY(Marked("c"));
    QVERIFY(!Marked("e"));
    F.Input.Key(Qt::Key_Escape);
    F.Input.Release(QPoint(60, F.Row("h").bottom() + 20));
    QVERIFY(!Marked("c"));
    QVERIFY(Marked("e"));
}

void TestTreeDrag::cursorShowsTheLastAnswer() {
    TDragFixture F;
    F.Accepts = [&F](int X, int Y) { return F.View->HitZonesAt(X, Y).Contains(hzOnLabel); };
    F.StartDrag("e");
    QCOMPARE(QApplication::overrideCursor(), nullptr); // pending: no drag cursor yet
    const struct {
        QPoint At;
        Qt::CursorShape Shape;
    } Steps[] = {
        {F.TitlePoint("c"), Qt::DragMoveCursor},
        {QPoint(5, F.Row("c").center().y()), Qt::ForbiddenCursor},
        {F.TitlePoint("h"), Qt::DragMoveCursor},
        {F.Input.InPort(F.Other, QPoint(5, 5)), Qt::ForbiddenCursor},
    };
    for (const auto& Step : Steps) {
        F.Input.MoveTo(Step.At);
        QCOMPARE(F.Cursor(), Step.Shape);
    }
    F.Input.Release(Steps[3].At);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestTreeDrag::dragImageFollowsPointerOverTheTree() {
    TDragFixture F;
    const QPoint First = F.ActiveDrag("alpha");
    const TDragImage* Image = F.View->Drag().Image();
    QVERIFY(Image);
    QVERIFY(Image->isVisible());
    QVERIFY(Image->isWindow());
    QCOMPARE(Image->pos(), F.View->viewport()->mapToGlobal(First) - QPoint(2, 2));
    // The image shows the dragged row's title box.
    QCOMPARE(Image->size(), F.View->LabelRect(F.Entry("alpha")).size());
    const QPoint Over = F.TitlePoint("h");
    F.Input.MoveTo(Over);
    QCOMPARE(Image->pos(), F.View->viewport()->mapToGlobal(Over) - QPoint(2, 2));
    QVERIFY(Image->isVisible());
    // Over another control of the window only the cursor shows; outside the window it follows again.
    F.Input.MoveTo(F.Input.InPort(F.Other, QPoint(5, 5)));
    QVERIFY(!Image->isVisible());
    const QPoint Away = F.View->viewport()->mapFromGlobal(F.Window.frameGeometry().bottomRight() + QPoint(40, 40));
    F.Input.MoveTo(Away);
    QVERIFY(Image->isVisible());
    QCOMPARE(Image->pos(), F.View->viewport()->mapToGlobal(Away) - QPoint(2, 2));
    F.Input.Release(Away);
    QCOMPARE(F.View->Drag().Image(), nullptr);
}

void TestTreeDrag::keysDuringDrag_data() {
    QTest::addColumn<bool>("Active");
    QTest::addColumn<int>("Key");
    QTest::addColumn<QStringList>("Expected"); // events after the key, then after the release
    QTest::newRow("escape while active") << true << int(Qt::Key_Escape) << QStringList{"leave 5,5"};
    QTest::newRow("escape while pending") << false << int(Qt::Key_Escape) << QStringList{};
    QTest::newRow("ctrl re-evaluates") << true << int(Qt::Key_Control)
                                       << QStringList{"move 5,5", "move 5,5", "leave 5,5", "drop 5,5"};
    QTest::newRow("arrow keys are held back") << true << int(Qt::Key_Down) << QStringList{"leave 5,5", "drop 5,5"};
}

void TestTreeDrag::keysDuringDrag() {
    QFETCH(bool, Active);
    QFETCH(int, Key);
    QFETCH(QStringList, Expected);
    TDragFixture F;
    F.StartDrag("e");
    // Both ways to 5,5 in the indentation of alpha's row.
    if (Active)
        F.Input.MoveTo(QPoint(5, 5));
    const qsizetype Before = F.DragEvents().size();
    F.Input.Key(Qt::Key(Key));
    F.Input.Key(Qt::Key(Key), QEvent::KeyRelease);
    // After Escape the release does nothing, not even a click.
    F.Input.Release(QPoint(5, 5));
    QCOMPARE(F.DragEvents().mid(Before), Expected);
    QCOMPARE(TDragFixture::Name(F.Items.SelectedEntry()), "e");
    QCOMPARE(F.Items.DropTarget(), nullptr);
    QCOMPARE(F.View->Drag().Image(), nullptr);
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgIdle);
    // Keys reach the tree again afterwards.
    F.Input.Key(Qt::Key_Down);
    QCOMPARE(TDragFixture::Name(F.Items.SelectedEntry()), "f");
}

void TestTreeDrag::interruptionCancelsTheDrag_data() {
    QTest::addColumn<QString>("Interruption");
    QTest::addColumn<bool>("Active");
    QTest::newRow("close request, active") << "close" << true;
    QTest::newRow("close request, pending") << "close" << false;
    QTest::newRow("modal box, active") << "modal" << true;
    QTest::newRow("modal box, pending") << "modal" << false;
    QTest::newRow("window deactivated, active") << "deactivate" << true;
}

// Whatever asks for the user's attention ends the drag first, as Escape would: the
// box that follows gets the keys, and nothing is dropped.
void TestTreeDrag::interruptionCancelsTheDrag() {
    QFETCH(QString, Interruption);
    QFETCH(bool, Active);
    TDragFixture F;
    F.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&F.Window));
    F.StartDrag("e");
    if (Active)
        F.Input.MoveTo(QPoint(5, 5));
    QVERIFY(F.View->Drag().Dragging());
    const qsizetype Before = F.DragEvents().size();
    QWidget Box;
    QLineEdit* Answer = new QLineEdit(&Box);
    if (Interruption == "close") {
        QCloseEvent Close;
        QApplication::sendEvent(&F.Window, &Close);
    } else if (Interruption == "modal") {
        Box.setWindowModality(Qt::ApplicationModal);
        Box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Box));
    } else {
        Box.show();
        Box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Box));
    }
    QTRY_VERIFY(!F.View->Drag().Dragging());
    QCOMPARE(F.DragEvents().mid(Before), Active ? QStringList{"leave 5,5"} : QStringList{});
    QCOMPARE(F.Items.DropTarget(), nullptr);
    QCOMPARE(F.View->Drag().Image(), nullptr);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // Keys are no longer held back: the box's field takes them.
    if (Interruption != "close") {
        Answer->setFocus();
        QTest::keyClick(Answer, Qt::Key_A);
        QCOMPARE(Answer->text(), "a");
    }
    Box.hide();
    F.Input.Release(QPoint(5, 5));
    QCOMPARE(F.DragEvents().mid(Before), Active ? QStringList{"leave 5,5"} : QStringList{});
    QCOMPARE(TDragFixture::Name(F.Items.SelectedEntry()), "e");
}

void TestTreeDrag::clickWithoutDragSelectsAtRelease_data() {
    QTest::addColumn<QString>("Where");
    QTest::addColumn<QString>("Selected");
    QTest::newRow("on a title") << "title"
                                << "d";
    QTest::newRow("right of a title") << "right"
                                      << "d";
    QTest::newRow("in the indentation") << "indent"
                                        << "f";
    QTest::newRow("below the last row") << "empty"
                                        << "f";
}

void TestTreeDrag::clickWithoutDragSelectsAtRelease() {
    QFETCH(QString, Where);
    QFETCH(QString, Selected);
    TDragFixture F;
    F.Items.SelectEntry(F.Entry("f"));
    const int Y = F.Row("d").center().y();
    const QPoint At = Where == "title"    ? F.TitlePoint("d")
                      : Where == "right"  ? QPoint(F.View->viewport()->width() - 5, Y)
                      : Where == "indent" ? QPoint(10, Y)
                                          : QPoint(10, F.Row("h").bottom() + 10);
    F.Log.clear();
    F.Input.Press(At);
    QCOMPARE(F.Log, QStringList());
    // A small wobble below the drag-detection distance is still a click.
    F.Input.MoveTo(At + QPoint(1, 1));
    F.Input.Release(At + QPoint(1, 1));
    QCOMPARE(TDragFixture::Name(F.Items.SelectedEntry()), Selected);
    QCOMPARE(F.Log.size(), Selected == "f" ? 0 : 2);
    QCOMPARE(F.DragEvents(), QStringList());
}

void TestTreeDrag::rightButtonReleaseEndsDrag() {
    TDragFixture F;
    const QPoint At = F.ActiveDrag("c");
    F.Input.Send(QEvent::MouseButtonPress, At, Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    F.Input.Send(QEvent::MouseButtonRelease, At, Qt::RightButton, Qt::LeftButton);
    QCOMPARE(F.DragEvents().mid(2), QStringList({"leave " + F.At(At), "drop " + F.At(At)}));
    // The left button's release that follows is no click.
    F.Log.clear();
    F.Input.Release(At);
    QCOMPARE(F.Log, QStringList());
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgIdle);
}

void TestTreeDrag::moveInDropHandlerMovesRowsWithoutReset() {
    TDragFixture F;
    QAbstractItemModelTester Tester(F.View->Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy Resets(F.View->Model(), &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy Removes(F.View->Model(), &QAbstractItemModel::rowsAboutToBeRemoved);
    QSignalSpy Moves(F.View->Model(), &QAbstractItemModel::rowsMoved);
    F.Dropped = [&F](int X, int Y) { F.Items.MoveEntry(F.Items.SelectedEntry(), F.View->EntryAt(X, Y), epLastChild); };
    F.ActiveDrag("beta");
    F.Input.MoveTo(F.TitlePoint("g"));
    F.Input.Release(F.TitlePoint("g"));
    QCOMPARE(Moves.count(), 1);
    QCOMPARE(Resets.count(), 0);
    QCOMPARE(Removes.count(), 0);
    QCOMPARE(TDragFixture::Name(F.Entry("beta")->Parent()), "g");
    // The view shows the moved row at its new place, selected, its new parent expanded.
    QVERIFY(F.View->isExpanded(F.View->IndexOf(F.Entry("g"))));
    QCOMPARE(F.View->currentIndex(), F.View->IndexOf(F.Entry("beta")));
    QCOMPARE(F.View->EntryAt(F.TitlePoint("g") + QPoint(0, F.Row("g").height())), F.Entry("beta"));
}

void TestTreeDrag::errorInHandlerEndsDragCleanly() {
    TDragFixture F;
    QStringList Errors;
    TErrorReporter::SetHandler([&](const std::exception& Error) { Errors << Error.what(); });
    F.View->OnDragOver = [&](TObject*, TObject*, int, int Y, TDragState, bool&) {
        if (Y > F.Row("f").top())
            throw std::runtime_error("refused loudly");
    };
    const QPoint At = F.ActiveDrag("e");
    QVERIFY(F.View->Drag().Dragging());
    F.Input.MoveTo(F.TitlePoint("h"));
    QCOMPARE(Errors, QStringList{"refused loudly"});
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgSpent);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(F.Items.DropTarget(), nullptr);
    QCOMPARE(F.View->Drag().Image(), nullptr);
    F.Input.Release(F.TitlePoint("h"));
    QCOMPARE(F.View->Drag().Stage(), TTreeDrag::TStage::dgIdle);
    // The next press starts afresh.
    F.View->OnDragOver = nullptr;
    F.ActiveDrag("c");
    QVERIFY(F.View->Drag().Dragging());
    F.Input.Release(At);
    QCOMPARE(Errors.size(), 1);
}

void TestTreeDrag::refusesSystemDrops() {
    TDragFixture F;
    QVERIFY(!F.View->acceptDrops());
    QVERIFY(!F.View->viewport()->acceptDrops());
    // The band bar's own drags carry this type; no other type is welcome either.
    for (const QString& Type : {QString("application/x-quorvel-control"), QString("text/plain"),
                                QString("application/x-qabstractitemmodeldatalist")}) {
        QMimeData Data;
        Data.setData(Type, "x");
        QDragEnterEvent Enter(F.TitlePoint("f"), Qt::MoveAction | Qt::CopyAction, &Data, Qt::LeftButton,
                              Qt::NoModifier);
        Enter.setAccepted(false);
        QApplication::sendEvent(F.View->viewport(), &Enter);
        QVERIFY2(!Enter.isAccepted(), qPrintable(Type));
        QDropEvent Drop(QPointF(F.TitlePoint("f")), Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        Drop.setAccepted(false);
        QApplication::sendEvent(F.View->viewport(), &Drop);
        QVERIFY2(!Drop.isAccepted(), qPrintable(Type));
    }
    QCOMPARE(F.Items.EntryCount(), 8);
}

void TestTreeDrag::destroyingTheTreeMidDragLeavesNoTrace() {
    QPointer<TDragImage> Image;
    {
        TDragFixture F;
        F.ActiveDrag("c");
        F.Input.MoveTo(F.TitlePoint("h"));
        Image = F.View->Drag().Image();
        QVERIFY(Image);
        QVERIFY(QApplication::overrideCursor());
        const QStringList Before = F.Log;
        delete F.View;
        F.View = nullptr;
        // No drag-over or drop reaches anyone from a tree going away.
        QCOMPARE(F.Log, Before);
        F.Other->setFocus();
        QTest::keyClick(F.Other, Qt::Key_A);
        QCOMPARE(F.Other->text(), "a");
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QTRY_VERIFY(Image.isNull());
}

QTEST_MAIN(TestTreeDrag)
#include "tst_treedrag.moc"
