// Rearranging the outline by dragging in the real window: where a drop is taken, where
// the entry goes, the change flag, and what a save then writes.
#include "../app/FormTestSupport.h"
#include "DataFile.h"
#include "Guard.h"
#include "TreeMouse.h"

#include <QAction>
#include <QApplication>
#include <QtTest>

using namespace FormTest;

namespace {

// The window over the sample data A(A1(A1a),A2),B, everything expanded.
struct TFixture {
    TScratch Scratch;
    TFakeDialogs Dialogs;
    std::unique_ptr<TForm1> Form;
    TTreeView* Tree = nullptr;
    std::unique_ptr<TTreeMouse> Input;

    TFixture() {
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        Form = ShownForm(Scratch);
        Tree = Form->TreeView1;
        Input = std::make_unique<TTreeMouse>(Tree);
        QTest::mouseClick(Form->BitBtn7, Qt::LeftButton);
    }

    QRect Row(const QString& Title) { return Tree->visualRect(Tree->IndexOf(FindEntry(*Form, Title))); }
    QPoint TitlePoint(const QString& Title) { return {Row(Title).left() + 3, Row(Title).center().y()}; }
    // Where: "title X", "indent X" (the first cell of X's row), "button X", "right X",
    // "below" (under the last row) or "border" (the tree's frame, left of the rows).
    QPoint Point(const QString& Where) {
        const QString Title = Where.section(' ', 1);
        if (Where.startsWith("title"))
            return TitlePoint(Title);
        if (Where.startsWith("indent"))
            return {3, Row(Title).center().y()};
        if (Where.startsWith("button"))
            return Tree->ButtonRect(FindEntry(*Form, Title)).center();
        if (Where.startsWith("right"))
            return {Tree->viewport()->width() - 3, Row(Title).center().y()};
        if (Where == "below")
            return {60, Row("B").bottom() + 20};
        return Input->InPort(Tree, {0, Row("A2").center().y() + Tree->viewport()->y()});
    }
    QString Expanded() {
        QStringList Names;
        for (TTreeNode* Node = Tree->Items().GetFirstNode(); Node; Node = Node->GetNext())
            if (Node->Expanded())
                Names << Shown(Node->Text());
        return Names.join(' ');
    }
};

} // namespace

class TestFormDrag : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TErrorReporter::SetHandler([](const std::exception& Error) { QFAIL(Error.what()); });
    }

    void dropRearrangesOutline_data();
    void dropRearrangesOutline();
    void acceptanceFollowsZonesAndSource_data();
    void acceptanceFollowsZonesAndSource();
    void draggingAnotherEntryCommitsTheFieldsFirst();
    void savedFileHoldsTheRearrangedOutline();
};

void TestFormDrag::dropRearrangesOutline_data() {
    QTest::addColumn<QString>("Dragged");
    QTest::addColumn<QString>("Target"); // see TFixture::Point; "4px" and "escape" end early
    QTest::addColumn<QString>("Outline");
    QTest::addColumn<QString>("Expanded");
    QTest::addColumn<int>("Changed");
    const QString Same = "A(A1(A1a),A2),B";
    QTest::newRow("on a title: last child, target expanded, moved entry collapsed") << "A1"
                                                                                    << "title B"
                                                                                    << "A(A2),B(A1(A1a))"
                                                                                    << "A B" << 1;
    QTest::newRow("on a child's title") << "B"
                                        << "title A1a"
                                        << "A(A1(A1a(B)),A2)"
                                        << "A A1 A1a" << 1;
    QTest::newRow("in the indentation: before") << "B"
                                                << "indent A2"
                                                << "A(A1(A1a),B,A2)"
                                                << "A A1" << 1;
    QTest::newRow("on a child's button: before") << "A2"
                                                 << "button A1"
                                                 << "A(A2,A1(A1a)),B"
                                                 << "A A1" << 1;
    QTest::newRow("on the first entry's button: new first") << "B"
                                                            << "button A"
                                                            << "B,A(A1(A1a),A2)"
                                                            << "A A1" << 1;
    QTest::newRow("in the indentation of its own row: stays") << "A1a"
                                                              << "indent A1a" << Same << "A A1" << 1;
    QTest::newRow("below the last row: last top-level") << "A1"
                                                        << "below"
                                                        << "A(A2),B,A1(A1a)"
                                                        << "A" << 1;
    QTest::newRow("right of a title: refused") << "A2"
                                               << "right B" << Same << "A A1" << 0;
    QTest::newRow("on the border: refused") << "A2"
                                            << "border" << Same << "A A1" << 0;
    QTest::newRow("onto a descendant: nothing moves") << "A"
                                                      << "title A1a" << Same << "A A1" << 1;
    QTest::newRow("onto its own title: nothing moves") << "A1"
                                                       << "title A1" << Same << "A A1" << 1;
    QTest::newRow("4 px then release: nothing") << "A2"
                                                << "4px" << Same << "A A1" << 0;
    QTest::newRow("escape: nothing") << "A2"
                                     << "escape" << Same << "A A1" << 0;
}

void TestFormDrag::dropRearrangesOutline() {
    QFETCH(QString, Dragged);
    QFETCH(QString, Target);
    QFETCH(QString, Outline);
    QFETCH(QString, Expanded);
    QFETCH(int, Changed);
    TFixture F;
    TForm1& Form = *F.Form;
    QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2),B");
    QCOMPARE(Form.Changed, 0);
    const QPoint From = F.TitlePoint(Dragged);
    if (Target == "4px" || Target == "escape") {
        const QPoint Start = F.Input->Begin(From);
        const QPoint To = Start + (Target == "4px" ? QPoint(4, 4) : QPoint(0, 40));
        F.Input->MoveTo(To);
        if (Target == "escape")
            F.Input->Key(Qt::Key_Escape);
        F.Input->Release(To);
    } else if (Target.endsWith(Dragged) && Target.startsWith("title")) {
        // Away from its own title and back again.
        const QPoint Start = F.Input->Begin(From);
        F.Input->MoveTo(Start + QPoint(0, 12));
        F.Input->MoveTo(From);
        F.Input->Release(From);
    } else {
        F.Input->Drag(From, F.Point(Target));
    }
    QCOMPARE(FormTest::Outline(Form), Outline);
    QCOMPARE(F.Expanded(), Expanded);
    QCOMPARE(Form.Changed, Changed);
    // The dragged entry stays selected and shown; entries keep their bodies.
    QCOMPARE(SelectedTitle(Form), Dragged);
    QCOMPARE(Shown(Form.Edit1->Text()), Dragged);
    QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2");
    QCOMPARE(Body(FindEntry(Form, "A1a")), "deep");
    QCOMPARE(Body(FindEntry(Form, "B")), "b");
    QCOMPARE(Form.TreeView1->Items().DropTarget(), nullptr);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // Undo puts a moved entry back where it was, redo moves it again; a drop that moved
    // nothing leaves nothing to undo.
    QCOMPARE(Form.UndoAction()->isEnabled(), Outline != "A(A1(A1a),A2),B");
    Form.UndoClick();
    QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2),B");
    QCOMPARE(SelectedTitle(Form), Dragged);
    Form.RedoClick();
    QCOMPARE(FormTest::Outline(Form), Outline);
    QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2");
}

void TestFormDrag::acceptanceFollowsZonesAndSource_data() {
    QTest::addColumn<QString>("Where");
    QTest::addColumn<bool>("FromTree");
    QTest::addColumn<bool>("Selection");
    QTest::addColumn<bool>("Accept");
    QTest::newRow("title") << "title A2" << true << true << true;
    QTest::newRow("indentation") << "indent A1a" << true << true << true;
    QTest::newRow("button") << "button A" << true << true << true;
    QTest::newRow("below the last row") << "below" << true << true << true;
    QTest::newRow("right of a title") << "right A" << true << true << false;
    QTest::newRow("border") << "border" << true << true << false;
    QTest::newRow("another control's drag") << "title A2" << false << true << false;
    QTest::newRow("no selection") << "title A2" << true << false << false;
}

void TestFormDrag::acceptanceFollowsZonesAndSource() {
    QFETCH(QString, Where);
    QFETCH(bool, FromTree);
    QFETCH(bool, Selection);
    QFETCH(bool, Accept);
    TFixture F;
    TForm1& Form = *F.Form;
    if (Selection)
        ClickEntry(Form, "B");
    QCOMPARE(Form.TreeView1->Items().SelectedEntry() != nullptr, Selection);
    const QPoint At = F.Point(Where);
    TObject* const Source = FromTree ? static_cast<TObject*>(Form.TreeView1) : static_cast<TObject*>(nullptr);
    // The same answer in every state.
    for (TDragState State : {dsDragEnter, dsDragMove, dsDragLeave}) {
        bool Answer = true;
        Form.TreeView1DragOver(Form.TreeView1, Source, At.x(), At.y(), State, Answer);
        QCOMPARE(Answer, Accept);
    }
    QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2),B");
    QCOMPARE(Form.Changed, 0);
}

void TestFormDrag::draggingAnotherEntryCommitsTheFieldsFirst() {
    TFixture F;
    TForm1& Form = *F.Form;
    QVERIFY(ClickEntry(Form, "A2"));
    Form.Memo1->setFocus();
    QTest::keyClicks(Form.Memo1, "typed");
    QCOMPARE(Form.MemoChanged, 1);
    F.Input->Drag(F.TitlePoint("B"), F.Point("title A1"));
    QCOMPARE(FormTest::Outline(Form), "A(A1(A1a,B),A2)");
    QCOMPARE(Body(FindEntry(Form, "A2")), "typed");
    QCOMPARE(Shown(Form.Edit1->Text()), "B");
    QCOMPARE(Shown(Form.Memo1->Text()), "b\r\n");
    QCOMPARE(Form.Changed, 1);
}

void TestFormDrag::savedFileHoldsTheRearrangedOutline() {
    TFixture F;
    TForm1& Form = *F.Form;
    F.Input->Drag(F.TitlePoint("A1"), F.Point("title B"));
    F.Input->Drag(F.TitlePoint("B"), F.Point("button A"));
    QCOMPARE(FormTest::Outline(Form), "B(A1(A1a)),A(A2)");
    QCOMPARE(Form.Changed, 1);
    QTest::mouseClick(Form.BitBtn6, Qt::LeftButton);
    QCOMPARE(Form.Changed, 0);
    // Records in the new pre-order, parents by their new indices, bodies travelling along.
    TDataFile Expected;
    Expected.Add(-1, "B", "b\r\n").Add(0, "A1").Add(1, "A1a", "deep\r\n").Add(-1, "A", "a1\r\na2\r\n").Add(3, "A2");
    QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), Expected.Bytes());
    // And the reader agrees.
    TTreeNodes Read;
    ReleaseBodiesOnDeletion(Read);
    QCOMPARE(ReadOutline(Read, "youken.dat"), TReadResult::rrRead);
    QCOMPARE(Read.EntryCount(), 5);
    QCOMPARE(Shown(Read.EntryAtIndex(2)->Text()), "A1a");
    QCOMPARE(Shown(Read.EntryAtIndex(2)->Parent()->Parent()->Text()), "B");
}

QTEST_MAIN(TestFormDrag)
#include "tst_formdrag.moc"
