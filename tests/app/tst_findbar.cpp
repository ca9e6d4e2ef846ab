// The find bar in the real window: opening it from any control, searching through the
// selection flow, marking the match, reporting a miss, and closing it.
#include "Application.h"
#include "FormTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTest>

using namespace FormTest;

namespace {

// Claim (payment) > Defence (消滅時効) > Hidden Title; Claim > Second (ｶﾀｶﾅ); 第１７７条 (背信的悪意者)
TDataFile FindData() {
    TDataFile Data;
    Data.Add(-1, "Claim", "payment\r\n")
        .Add(0, "Defence", Cp932(QStringLiteral("消滅時効\r\n")).c_str())
        .Add(1, "Hidden Title", "none\r\n")
        .Add(0, "Second", Cp932(QStringLiteral("ｶﾀｶﾅ\r\n")).c_str())
        .Add(-1, QStringLiteral("第１７７条"), Cp932(QStringLiteral("背信的悪意者\r\n")).c_str());
    return Data;
}

// Types Text into Target one character at a time (QTest::keyClicks takes Latin-1 only).
void Type(QWidget* Target, const QString& Text) {
    for (const QChar Char : Text)
        QTest::sendKeyEvent(QTest::Click, Target, Qt::Key_unknown, QString(Char), Qt::NoModifier);
}

struct TFixture {
    TScratch Scratch;
    TFakeDialogs Dialogs;
    std::unique_ptr<TForm1> Form;

    TFixture() {
        WriteFile(Scratch.File("youken.dat"), FindData().Bytes());
        Form = ShownForm(Scratch);
        Form->activateWindow();
        if (!QTest::qWaitForWindowActive(Form.get()))
            qWarning("window not active");
    }
    TFindBar& Bar() const { return *Form->FindBar1; }
    QLineEdit* Field() const { return Form->findChild<QLineEdit*>(QStringLiteral("FindEdit")); }
    QString Status() const { return Form->findChild<QLabel*>(QStringLiteral("FindStatus"))->text(); }
    void Open(QWidget* From) const { QTest::keyClick(From, Qt::Key_F, Qt::ControlModifier); }
    // Opens the bar, types Text and presses Return (with Shift for the previous match).
    void Search(const QString& Text, Qt::KeyboardModifiers Modifiers = Qt::NoModifier) const {
        Open(QApplication::focusWidget() ? QApplication::focusWidget() : Form.get());
        QTest::keyClick(Field(), Qt::Key_A, Qt::ControlModifier);
        Type(Field(), Text);
        QTest::keyClick(Field(), Qt::Key_Return, Modifiers);
    }
};

// Every control's place in the window, by object name.
QMap<QString, QRect> Places(TForm1& Form) {
    QMap<QString, QRect> Out;
    for (QWidget* Child : Form.findChildren<QWidget*>())
        if (!Child->objectName().isEmpty() && Child != Form.FindBar1 && !Form.FindBar1->isAncestorOf(Child))
            Out[Child->objectName()] = QRect(Child->mapTo(&Form, QPoint(0, 0)), Child->size());
    return Out;
}

} // namespace

class TFindBarTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void CtrlFOpensTheBarFromAnyControl_data() {
        QTest::addColumn<QString>("Control");
        QTest::newRow("tree") << "TreeView1";
        QTest::newRow("title field") << "Edit1";
        QTest::newRow("body editor") << "Memo1";
        QTest::newRow("button") << "BitBtn4";
    }
    void CtrlFOpensTheBarFromAnyControl() {
        QFETCH(QString, Control);
        TFixture F;
        QWidget* From = F.Form->findChild<QWidget*>(Control);
        From->setFocus();
        QTRY_VERIFY(From->hasFocus());
        const QMap<QString, QRect> Before = Places(*F.Form);
        F.Open(From);
        QVERIFY(F.Bar().isVisible());
        QTRY_VERIFY(F.Field()->hasFocus());
        // Nothing of the layout moves for the bar: it lies over the tree's bottom edge.
        QCOMPARE(Places(*F.Form), Before);
        const QRect Tree(F.Form->TreeView1->mapTo(F.Form.get(), QPoint(0, 0)), F.Form->TreeView1->size());
        QVERIFY(Tree.intersects(F.Bar().geometry()));
        QVERIFY(F.Bar().geometry().bottom() <= Tree.bottom());
        // The index is built between events meanwhile.
        QTRY_VERIFY(F.Bar().Index().Complete());
        QCOMPARE(F.Bar().Index().EntryCount(), std::size_t(5));
    }

    void ReopeningHoldsTheLastSearchedTextSelected() {
        TFixture F;
        F.Search(QStringLiteral("payment"));
        QTest::keyClick(F.Field(), Qt::Key_Escape);
        QVERIFY(!F.Bar().isVisible());
        QTRY_VERIFY(F.Form->TreeView1->hasFocus());
        F.Open(F.Form->TreeView1);
        QCOMPARE(F.Field()->text(), QStringLiteral("payment"));
        QCOMPARE(F.Field()->selectedText(), QStringLiteral("payment"));
    }

    void ReturnSelectsAndMarksTheMatch_data() {
        QTest::addColumn<QString>("Text");
        QTest::addColumn<QString>("Entry");
        QTest::addColumn<QString>("InTitle");
        QTest::addColumn<QString>("InBody");
        QTest::newRow("title under collapsed entries") << "hidden"
                                                       << "Hidden Title"
                                                       << "Hidden"
                                                       << "";
        QTest::newRow("body only, full-width needle") << "ＰＡＹＭＥＮＴ"
                                                      << "Claim"
                                                      << ""
                                                      << "payment";
        QTest::newRow("half-width body, full-width needle") << "カタカナ"
                                                            << "Second"
                                                            << ""
                                                            << "ｶﾀｶﾅ";
        QTest::newRow("full-width title, half-width needle") << "177"
                                                             << "第１７７条"
                                                             << "１７７"
                                                             << "";
    }
    void ReturnSelectsAndMarksTheMatch() {
        QFETCH(QString, Text);
        QFETCH(QString, Entry);
        QFETCH(QString, InTitle);
        QFETCH(QString, InBody);
        TFixture F;
        QVERIFY(!FindEntry(*F.Form, "Claim")->Expanded());
        F.Search(Text);
        QCOMPARE(SelectedTitle(*F.Form), Entry);
        for (const TTreeNode* N = FindEntry(*F.Form, Entry)->Parent(); N; N = N->Parent())
            QVERIFY(N->Expanded());
        QVERIFY(F.Form->TreeView1->visualRect(F.Form->TreeView1->IndexOf(FindEntry(*F.Form, Entry))).isValid());
        QCOMPARE(F.Form->Edit1->selectedText(), InTitle);
        QCOMPARE(F.Form->Edit1->Marked(), !InTitle.isEmpty());
        QCOMPARE(F.Form->Memo1->textCursor().selectedText(), InBody);
        QVERIFY(F.Field()->hasFocus());
        QCOMPARE(F.Status(), QString());
    }

    void TitleMarkShowsWithoutTheFocusUntilTheBarCloses() {
        TFixture F;
        const auto Shown = [&] {
            const QPalette Colours = F.Form->Edit1->palette();
            return Colours.color(QPalette::Active, QPalette::Highlight) !=
                   Colours.color(QPalette::Active, QPalette::Base);
        };
        QVERIFY(!Shown());
        F.Search(QStringLiteral("title"));
        QVERIFY(!F.Form->Edit1->hasFocus());
        QCOMPARE(F.Form->Edit1->selectedText(), QStringLiteral("Title"));
        QVERIFY(Shown());
        // Another entry shows its title unmarked; a match in the body marks only the body.
        F.Search(QStringLiteral("消滅"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Defence"));
        QVERIFY(!F.Form->Edit1->Marked());
        QVERIFY(!Shown());
        F.Search(QStringLiteral("defence"));
        QVERIFY(Shown());
        QTest::keyClick(F.Field(), Qt::Key_Escape);
        QVERIFY(!F.Form->Edit1->Marked());
        QVERIFY(!Shown());
    }

    void NextAndPreviousWrapInPreOrder() {
        TFixture F;
        // "e" is in Claim (title, body), Defence, Hidden Title, Second and in nothing else.
        QStringList Forward;
        for (int I = 0; I < 5; ++I) {
            F.Search(QStringLiteral("E"));
            Forward << SelectedTitle(*F.Form);
        }
        QCOMPARE(Forward, QStringList({"Claim", "Defence", "Hidden Title", "Second", "Claim"}));
        F.Search(QStringLiteral("e"), Qt::ShiftModifier);
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Second"));
        QTest::keyClick(F.Field(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Hidden Title"));
        QTest::keyClick(F.Field(), Qt::Key_F3);
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Second"));
    }

    void NothingFoundSaysSoAndKeepsTheSelection() {
        TFixture F;
        QVERIFY(ClickEntry(*F.Form, "Claim"));
        F.Search(QStringLiteral("取得時効"));
        QCOMPARE(F.Status(), QStringLiteral("見つかりません"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Claim"));
        QVERIFY(F.Dialogs.Boxes.empty());
        QVERIFY(F.Field()->hasFocus());
        // Typing again clears the message.
        Type(F.Field(), QStringLiteral("x"));
        QCOMPARE(F.Status(), QString());
    }

    void UncommittedFieldsAreSearchedAndCommittedOnLeaving() {
        TFixture F;
        QVERIFY(ClickEntry(*F.Form, "Claim"));
        F.Form->Memo1->setFocus();
        QTest::keyClick(F.Form->Memo1, Qt::Key_End, Qt::ControlModifier);
        Type(F.Form->Memo1, QStringLiteral("typed"));
        // The committed body is not searched for the selected entry: the fields are.
        F.Search(QStringLiteral("TYPED"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Claim"));
        QCOMPARE(F.Form->Memo1->textCursor().selectedText(), QStringLiteral("typed"));
        QCOMPARE(F.Status(), QString());
        // Leaving the entry for a match commits the fields into it first.
        F.Search(QStringLiteral("消滅時効"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Defence"));
        QCOMPARE(Body(FindEntry(*F.Form, "Claim")), QStringLiteral("payment|typed"));
        QCOMPARE(F.Form->Changed, 1);
        // And the committed text is found in the entry now.
        F.Search(QStringLiteral("typed"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Claim"));
    }

    void JapaneseInputReachesTheField() {
        TFixture F;
        F.Open(F.Form->TreeView1);
        QVERIFY(F.Field()->testAttribute(Qt::WA_InputMethodEnabled));
        QInputMethodEvent Preedit(QStringLiteral("しょうめつ"), {});
        QApplication::sendEvent(F.Field(), &Preedit);
        QInputMethodEvent Commit;
        Commit.setCommitString(QStringLiteral("消滅時効"));
        QApplication::sendEvent(F.Field(), &Commit);
        QCOMPARE(F.Field()->text(), QStringLiteral("消滅時効"));
        QTest::keyClick(F.Field(), Qt::Key_Return);
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Defence"));
    }

    void TreeMenuOffersFindWithItsShortcut() {
        TFixture F;
        QAction* Find = nullptr;
        for (QAction* Action : F.Form->TreeMenu()->actions())
            if (Action->text() == QStringLiteral("検索"))
                Find = Action;
        QVERIFY(Find != nullptr);
        QCOMPARE(Find->shortcut(), QKeySequence(QKeySequence::Find));
        Find->trigger();
        QVERIFY(F.Bar().isVisible());
    }

    // A match under the bar is brought up to the middle of the tree, and the titles keep
    // their start in view although one of them is wider than the tree.
    void MatchUnderTheBarKeepsTheTitlesStartInView() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        TDataFile Data;
        for (int I = 0; I < 40; ++I)
            Data.Add(-1, QStringLiteral("Entry %1").arg(I), "\r\n");
        Data.Add(-1, QStringLiteral("needle ") + QString(200, QLatin1Char('w')), "\r\n");
        for (int I = 40; I < 60; ++I)
            Data.Add(-1, QStringLiteral("Entry %1").arg(I), "\r\n");
        WriteFile(Scratch.File("youken.dat"), Data.Bytes());
        auto Form = ShownForm(Scratch);
        QScrollBar* Sideways = Form->TreeView1->horizontalScrollBar();
        QTRY_VERIFY(Sideways->maximum() > 0);
        QTest::keyClick(Form->TreeView1, Qt::Key_F, Qt::ControlModifier);
        auto* Field = Form->findChild<QLineEdit*>(QStringLiteral("FindEdit"));
        Type(Field, QStringLiteral("needle"));
        QTest::keyClick(Field, Qt::Key_Return);
        QCOMPARE(SelectedTitle(*Form).left(6), QStringLiteral("needle"));
        QCOMPARE(Sideways->value(), 0);
        const QRect Row = Form->TreeView1->visualRect(Form->TreeView1->currentIndex());
        const QPoint RowInWindow = Form->TreeView1->viewport()->mapTo(Form.get(), Row.topLeft());
        QVERIFY(!QRect(RowInWindow, Row.size()).intersects(Form->FindBar1->geometry()));
    }

    void FollowsEditsOfTheOutline() {
        TFixture F;
        QVERIFY(ClickEntry(*F.Form, "第１７７条"));
        QTest::mouseClick(F.Form->BitBtn2, Qt::LeftButton); // a child "未入力"
        F.Search(QStringLiteral("未入力"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("未入力"));
        QTest::mouseClick(F.Form->BitBtn3, Qt::LeftButton); // deleted again
        F.Search(QStringLiteral("未入力"));
        QCOMPARE(F.Status(), QStringLiteral("見つかりません"));
        // A reload drops the index's texts with the entries; they are folded again between events.
        F.Form->DataFileName = "youken.dat";
        F.Form->LoadData();
        QVERIFY(!F.Bar().Index().Complete());
        QTRY_VERIFY(F.Bar().Index().Complete());
        F.Search(QStringLiteral("hidden"));
        QCOMPARE(SelectedTitle(*F.Form), QStringLiteral("Hidden Title"));
    }
};

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TFindBarTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "tst_findbar.moc"
