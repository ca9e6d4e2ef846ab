// The main window's commands and editing flow, driven through the real window with
// mouse clicks and key presses: the outline, the edit fields and the change flags.
#include "Application.h"
#include "Fonts.h"
#include "FormTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>

using namespace FormTest;

namespace {
constexpr int IDOK = TDialogs::IDOK;
constexpr int IDYES = TDialogs::IDYES;
constexpr int IDNO = TDialogs::IDNO;

const QString SampleOutline = QStringLiteral("A(A1(A1a),A2),B");
const QString NotFound = QStringLiteral("ファイルが見つかりません。");
const QString SavePrompt = QStringLiteral("現在の変更を保存します。よろしいですか");

TBitBtn* Button(TForm1& Form, int Number) {
    TBitBtn* const Buttons[] = {nullptr,      Form.BitBtn1, Form.BitBtn2, Form.BitBtn3, Form.BitBtn4, Form.BitBtn5,
                                Form.BitBtn6, Form.BitBtn7, Form.BitBtn8, Form.BitBtn9, Form.BitBtn10};
    return Buttons[Number];
}

void Click(TForm1& Form, int Number) {
    QTest::mouseClick(Button(Form, Number), Qt::LeftButton);
}

// Types Text at the end of the body editor, as the user would.
void TypeInMemo(TForm1& Form, const QString& Text) {
    Form.Memo1->setFocus();
    QTest::keyClick(Form.Memo1, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(Form.Memo1, Text);
}

// Replaces the title by Text using the keyboard only (the field is reached by Tab).
void TypeTitleByKeyboard(TForm1& Form, const QString& Text) {
    Form.BitBtn5->setFocus();
    QTest::keyClick(Form.BitBtn5, Qt::Key_Tab);
    QTest::keyClick(Form.Edit1, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(Form.Edit1, Text);
}

QString Title(TForm1& Form) {
    return Shown(Form.Edit1->Text());
}

// A window over the sample data, with a scripted dialog fake installed first.
struct TFixture {
    TScratch Scratch;
    TFakeDialogs Dialogs;
    std::unique_ptr<TForm1> Form;

    explicit TFixture(bool WithData = true) {
        if (WithData) {
            WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        } else {
            Dialogs.Expect(IDOK);
        }
        Form = ShownForm(Scratch);
    }
};
} // namespace

class TCommandsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void CommandsChangeTheOutline_data() {
        QTest::addColumn<QString>("Select");
        QTest::addColumn<int>("Number");
        QTest::addColumn<QString>("Outline");
        QTest::addColumn<QString>("Selected");
        QTest::addColumn<int>("Changed");
        QTest::newRow("add sibling goes after the last sibling") << "A1" << 1 << "A(A1(A1a),A2,未入力),B"
                                                                 << "未入力" << 1;
        QTest::newRow("add sibling at the top level") << "A" << 1 << "A(A1(A1a),A2),B,未入力"
                                                      << "未入力" << 1;
        QTest::newRow("add sibling without selection") << "" << 1 << "A(A1(A1a),A2),B,未入力"
                                                       << "未入力" << 1;
        QTest::newRow("add child goes last") << "A" << 2 << "A(A1(A1a),A2,未入力),B"
                                             << "未入力" << 1;
        QTest::newRow("add child to a leaf") << "A1a" << 2 << "A(A1(A1a(未入力)),A2),B"
                                             << "未入力" << 1;
        QTest::newRow("add child without selection") << "" << 2 << "A(A1(A1a),A2),B,未入力"
                                                     << "未入力" << 1;
        QTest::newRow("delete takes the subtree, next sibling selected") << "A" << 3 << "B"
                                                                         << "B" << 1;
        QTest::newRow("delete the last child, previous sibling selected") << "A2" << 3 << "A(A1(A1a)),B"
                                                                          << "A1" << 1;
        QTest::newRow("delete an only child, parent selected") << "A1a" << 3 << "A(A1,A2),B"
                                                               << "A1" << 1;
        QTest::newRow("delete without selection") << "" << 3 << SampleOutline << "-" << 1;
        QTest::newRow("commit without typing") << "A" << 4 << SampleOutline << "A" << 0;
        QTest::newRow("expand all") << "B" << 7 << SampleOutline << "B" << 0;
        QTest::newRow("collapse all") << "A2" << 8 << SampleOutline << "A2" << 0;
    }
    void CommandsChangeTheOutline() {
        QFETCH(QString, Select);
        QFETCH(int, Number);
        QFETCH(QString, Outline);
        QFETCH(QString, Selected);
        QFETCH(int, Changed);
        TFixture F;
        TForm1& Form = *F.Form;
        if (!Select.isEmpty()) {
            Form.TreeView1->Items().ExpandAll();
            QVERIFY(ClickEntry(Form, Select));
        }
        Click(Form, Number);
        QCOMPARE(FormTest::Outline(Form), Outline);
        QCOMPARE(SelectedTitle(Form), Selected);
        QCOMPARE(Form.Changed, Changed);
        QCOMPARE(Form.MemoChanged, 0);
        if (Selected != "-") {
            // The fields show the entry that is selected now.
            QCOMPARE(Title(Form), Selected);
            const TTreeNode* Entry = Form.TreeView1->Items().SelectedEntry();
            QCOMPARE(Form.Memo1->LinesText(), LinesToText(*Entry->Data()));
        }
        QVERIFY(F.Dialogs.Boxes.empty());
    }

    void AddChildExpandsTheSelectionWithItsSubtree() {
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        TTreeNode* A1 = FindEntry(Form, "A1");
        QVERIFY(!FindEntry(Form, "A")->Expanded());
        QVERIFY(!A1->Expanded());
        Click(Form, 2);
        QVERIFY(FindEntry(Form, "A")->Expanded());
        QVERIFY(A1->Expanded());
        QVERIFY(!FindEntry(Form, "B")->Expanded());
        // The new entry is on the screen and can be clicked.
        QVERIFY(ClickEntry(Form, "A1a"));
    }

    void ExpandAndCollapseAllReachEveryDepth_data() {
        QTest::addColumn<int>("Number");
        QTest::addColumn<bool>("Expanded");
        QTest::newRow("expand") << 7 << true;
        QTest::newRow("collapse") << 8 << false;
    }
    void ExpandAndCollapseAllReachEveryDepth() {
        QFETCH(int, Number);
        QFETCH(bool, Expanded);
        TFixture F;
        TForm1& Form = *F.Form;
        if (!Expanded) {
            Form.TreeView1->Items().ExpandAll();
        }
        Click(Form, Number);
        for (const char* Name : {"A", "A1"}) {
            QCOMPARE(FindEntry(Form, Name)->Expanded(), Expanded);
        }
        QCOMPARE(Form.TreeView1->isExpanded(Form.TreeView1->IndexOf(FindEntry(Form, "A1"))), Expanded);
    }

    void LeavingAnEntryCommitsTheFields_data() {
        QTest::addColumn<QString>("How");
        QTest::addColumn<QString>("Outline");
        QTest::newRow("add child") << "add child"
                                   << "A(A1(A1a),A2),Bee(未入力)";
        QTest::newRow("add sibling") << "add sibling"
                                     << "A(A1(A1a),A2),Bee,未入力";
        QTest::newRow("click another entry") << "click"
                                             << "A(A1(A1a),A2),Bee";
        QTest::newRow("commit button") << "commit"
                                       << "A(A1(A1a),A2),Bee";
    }
    void LeavingAnEntryCommitsTheFields() {
        QFETCH(QString, How);
        QFETCH(QString, Outline);
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "B"));
        TypeTitleByKeyboard(Form, "Bee");
        TypeInMemo(Form, "more");
        TTreeNode* B = FindEntry(Form, "B");
        QCOMPARE(Body(B), "b"); // nothing is copied while typing
        if (How == "add child") {
            Click(Form, 2);
        } else if (How == "add sibling") {
            Click(Form, 1);
        } else if (How == "click") {
            QVERIFY(ClickEntry(Form, "A"));
        } else {
            Click(Form, 4);
        }
        QCOMPARE(FormTest::Outline(Form), Outline);
        QCOMPARE(Shown(B->Text()), "Bee");
        QCOMPARE(Body(B), "b|more");
        QCOMPARE(Form.Changed, 1);
        QCOMPARE(Form.MemoChanged, 1);
        if (How.startsWith("add")) {
            QCOMPARE(Title(Form), "未入力");
            QCOMPARE(Form.Memo1->LinesText(), TByteString());
        } else if (How == "click") {
            QCOMPARE(Title(Form), "A");
            QCOMPARE(Form.Memo1->LinesText(), TByteString("a1\r\na2\r\n"));
        }
    }

    void SaveCommitsTheFieldsFirst() {
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        TypeInMemo(Form, "typed");
        QCOMPARE(Form.MemoChanged, 1);
        Click(Form, 6);
        TDataFile Expected;
        Expected.Add(-1, "A", "a1\r\na2\r\ntyped\r\n")
            .Add(0, "A1")
            .Add(1, "A1a", "deep\r\n")
            .Add(0, "A2")
            .Add(-1, "B", "b\r\n");
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), Expected.Bytes());
        QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2|typed");
        QCOMPARE(Form.MemoChanged, 0);
        QCOMPARE(Form.Changed, 0);
        // Nothing is left unsaved: closing asks nothing.
        QVERIFY(Form.close());
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t{0});
    }

    // Text in the fields that differs from the selected entry counts as a change when the
    // window closes or the data set is switched; Yes commits it, then saves.
    void UncommittedFieldsAreOfferedForSaving_data() {
        QTest::addColumn<bool>("Switch");
        QTest::addColumn<bool>("InTitle");
        QTest::newRow("close, body") << false << false;
        QTest::newRow("close, title") << false << true;
        QTest::newRow("switch, body") << true << false;
        QTest::newRow("switch, title") << true << true;
    }
    void UncommittedFieldsAreOfferedForSaving() {
        QFETCH(bool, Switch);
        QFETCH(bool, InTitle);
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "B"));
        if (InTitle) {
            TypeTitleByKeyboard(Form, "Bee");
        } else {
            TypeInMemo(Form, "more");
        }
        QCOMPARE(Form.Changed, 0);
        F.Dialogs.Expect(IDYES);
        if (Switch) {
            WriteFile(F.Scratch.File("jyoubun.dat"), TDataFile().Add(-1, "J").Bytes());
            Click(Form, 10);
            QCOMPARE(FormTest::Outline(Form), "J");
        } else {
            QVERIFY(Form.close());
        }
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t{1});
        QCOMPARE(F.Dialogs.Boxes[0].Text, SavePrompt);
        TDataFile Expected;
        Expected.Add(-1, "A", "a1\r\na2\r\n").Add(0, "A1").Add(1, "A1a", "deep\r\n").Add(0, "A2");
        Expected.Add(-1, InTitle ? "Bee" : "B", InTitle ? "b\r\n" : "b\r\nmore\r\n");
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), Expected.Bytes());
    }

    void CommittedEditsAreSaved() {
        TFixture F;
        TForm1& Form = *F.Form;
        Form.TreeView1->Items().ExpandAll();
        QVERIFY(ClickEntry(Form, "A1a"));
        TypeTitleByKeyboard(Form, "Deep");
        TypeInMemo(Form, "x");
        Click(Form, 4);
        Click(Form, 6);
        TDataFile Expected;
        Expected.Add(-1, "A", "a1\r\na2\r\n")
            .Add(0, "A1")
            .Add(1, "Deep", "deep\r\nx\r\n")
            .Add(0, "A2")
            .Add(-1, "B", "b\r\n");
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), Expected.Bytes());
    }

    void CommittedTitleMarksTheChange_data() {
        QTest::addColumn<bool>("ClickField");
        QTest::addColumn<int>("Changed");
        QTest::newRow("reached by Tab") << false << 1;
        QTest::newRow("clicked") << true << 1;
    }
    void CommittedTitleMarksTheChange() {
        QFETCH(bool, ClickField);
        QFETCH(int, Changed);
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        if (ClickField) {
            QTest::mouseClick(Form.Edit1, Qt::LeftButton);
            QTest::keyClick(Form.Edit1, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(Form.Edit1, "Z");
        } else {
            TypeTitleByKeyboard(Form, "Z");
            QVERIFY(Form.Edit1->hasFocus());
        }
        Click(Form, 4);
        QCOMPARE(Shown(FindEntry(Form, "Z") ? FindEntry(Form, "Z")->Text() : TByteString()), "Z");
        QCOMPARE(Form.Changed, Changed);
        // The committed title is a change: closing asks.
        if (Changed == 1) {
            F.Dialogs.Expect(IDNO);
        }
        QVERIFY(Form.close());
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(Changed));
    }

    void LevelLabelFollowsTheSelection_data() {
        QTest::addColumn<int>("First");
        QTest::addColumn<int>("Second");
        QTest::addColumn<QString>("Label");
        QTest::addColumn<QColor>("Colour");
        const QColor Red(255, 0, 0);
        const QColor Blue(0, 0, 255);
        QTest::newRow("level 0") << -1 << 0 << "原告　　請求原因" << Red;
        QTest::newRow("level 1") << -1 << 1 << "被告　　抗弁" << Blue;
        QTest::newRow("level 2") << -1 << 2 << "原告　　再抗弁" << Red;
        QTest::newRow("level 3") << -1 << 3 << "被告　　再々抗弁" << Blue;
        QTest::newRow("level 0 after level 3") << 3 << 0 << "原告　　請求原因" << Red;
        QTest::newRow("level 4 after level 1 keeps it") << 1 << 4 << "被告　　抗弁" << Blue;
        QTest::newRow("level 5 after level 2 keeps it") << 2 << 5 << "原告　　再抗弁" << Red;
        QTest::newRow("level 4 first keeps the initial label") << -1 << 4 << "　Quorvel" << Blue;
    }
    void LevelLabelFollowsTheSelection() {
        QFETCH(int, First);
        QFETCH(int, Second);
        QFETCH(QString, Label);
        QFETCH(QColor, Colour);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        TDataFile Chain;
        for (int Level = 0; Level <= 5; ++Level) {
            Chain.Add(Level - 1, QStringLiteral("L%1").arg(Level));
        }
        WriteFile(Scratch.File("youken.dat"), Chain.Bytes());
        auto Form = ShownForm(Scratch);
        Form->TreeView1->Items().ExpandAll();
        if (First >= 0) {
            QVERIFY(ClickEntry(*Form, QStringLiteral("L%1").arg(First)));
        }
        QVERIFY(ClickEntry(*Form, QStringLiteral("L%1").arg(Second)));
        QCOMPARE(Form->Edit2->text(), Label);
        QCOMPARE(Form->Edit2->palette().color(QPalette::Active, QPalette::Text), Colour);
    }

    void FlagsFollowEachEvent_data() {
        QTest::addColumn<QStringList>("Steps");
        QTest::addColumn<int>("Changed");
        QTest::addColumn<int>("MemoChanged");
        QTest::newRow("selecting") << QStringList{"select"} << 0 << 0;
        QTest::newRow("typing") << QStringList{"type"} << 0 << 1;
        QTest::newRow("typing, commit") << QStringList{"type", "commit"} << 1 << 1;
        QTest::newRow("typing, select") << QStringList{"type", "select"} << 1 << 1;
        QTest::newRow("typing, save, commit") << QStringList{"type", "save", "commit"} << 0 << 0;
        QTest::newRow("clicking the title") << QStringList{"title"} << 1 << 0;
        QTest::newRow("adding") << QStringList{"add"} << 1 << 0;
        QTest::newRow("adding, save") << QStringList{"add", "save"} << 0 << 0;
        QTest::newRow("deleting") << QStringList{"delete"} << 1 << 0;
        QTest::newRow("expanding, collapsing") << QStringList{"expand", "collapse"} << 0 << 0;
        QTest::newRow("credits") << QStringList{"credits"} << 0 << 0;
    }
    void FlagsFollowEachEvent() {
        QFETCH(QStringList, Steps);
        QFETCH(int, Changed);
        QFETCH(int, MemoChanged);
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        for (const QString& Step : Steps) {
            if (Step == "select") {
                QVERIFY(ClickEntry(Form, "B"));
            } else if (Step == "type") {
                TypeInMemo(Form, "q");
            } else if (Step == "commit") {
                Click(Form, 4);
            } else if (Step == "save") {
                Click(Form, 6);
            } else if (Step == "title") {
                QTest::mouseClick(Form.Edit1, Qt::LeftButton);
            } else if (Step == "add") {
                Click(Form, 1);
            } else if (Step == "delete") {
                Click(Form, 3);
            } else if (Step == "expand") {
                Click(Form, 7);
            } else if (Step == "collapse") {
                Click(Form, 8);
            } else if (Step == "credits") {
                F.Dialogs.Expect(IDOK);
                Click(Form, 5);
            }
        }
        QCOMPARE(Form.Changed, Changed);
        QCOMPARE(Form.MemoChanged, MemoChanged);
    }

    void SwitchingToTheSameDataSetWithNoDropsTheChanges() {
        TFixture F;
        TForm1& Form = *F.Form;
        Form.TreeView1->Items().ExpandAll();
        QVERIFY(ClickEntry(Form, "A1"));
        Click(Form, 1);
        TypeInMemo(Form, "lost");
        QVERIFY(ClickEntry(Form, "B"));
        QCOMPARE(Form.Changed, 1);
        const QString LabelBefore = Form.Edit2->text();
        F.Dialogs.Expect(IDNO);
        Click(Form, 9);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        const TFakeDialogs::TBox& Box = F.Dialogs.Boxes[0];
        QCOMPARE(Box.Text, SavePrompt);
        QCOMPARE(Box.Caption, "確認");
        QCOMPARE(Box.Flags, TDialogs::MB_YESNO | TDialogs::MB_ICONEXCLAMATION);
        QCOMPARE(Box.Flags, 52);
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), SampleData().Bytes());
        QCOMPARE(Form.DataFileName, std::string("youken.dat"));
        QCOMPARE(Form.Changed, 0);
        QCOMPARE(Form.MemoChanged, 0);
        QCOMPARE(Form.Edit1->text(), QString());
        QCOMPARE(Form.Memo1->LinesText(), TByteString());
        QVERIFY(!Form.Memo1->Modified());
        QCOMPARE(SelectedTitle(Form), "-");
        QCOMPARE(Form.Edit2->text(), LabelBefore);
    }

    void SwitchingWithYesSavesToTheFileShownBefore() {
        TFixture F;
        TForm1& Form = *F.Form;
        WriteFile(F.Scratch.File("jyoubun.dat"), TDataFile().Add(-1, "Art").Bytes());
        QVERIFY(ClickEntry(Form, "B"));
        Click(Form, 2);
        F.Dialogs.Expect(IDYES);
        Click(Form, 10);
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), SampleData().Add(4, "未入力").Bytes());
        QCOMPARE(Form.DataFileName, std::string("jyoubun.dat"));
        QCOMPARE(FormTest::Outline(Form), "Art");
        QCOMPARE(Form.Changed, 0);
        // Back again without changes: no question.
        Click(Form, 9);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2),B(未入力)");
    }

    void SwitchingWithoutChangesAsksNothing_data() {
        QTest::addColumn<int>("Number");
        QTest::addColumn<QString>("FileName");
        QTest::newRow("by type") << 9 << "youken.dat";
        QTest::newRow("by article") << 10 << "jyoubun.dat";
    }
    void SwitchingWithoutChangesAsksNothing() {
        QFETCH(int, Number);
        QFETCH(QString, FileName);
        TFixture F;
        TForm1& Form = *F.Form;
        WriteFile(F.Scratch.File("jyoubun.dat"), TDataFile().Add(-1, "Art").Add(0, "Para").Bytes());
        QVERIFY(ClickEntry(Form, "A"));
        Click(Form, Number);
        QVERIFY(F.Dialogs.Boxes.empty());
        QCOMPARE(Form.DataFileName, FileName.toStdString());
        QCOMPARE(FormTest::Outline(Form), FileName == "youken.dat" ? SampleOutline : QStringLiteral("Art(Para)"));
        QCOMPARE(Form.Edit1->text(), QString());
    }

    void MissingDataFileThenSavingCreatesIt_data() {
        QTest::addColumn<int>("Number");
        QTest::addColumn<QByteArray>("Saved");
        QTest::newRow("save at once") << 0 << TDataFile().Bytes();
        QTest::newRow("add child, save") << 2 << TDataFile().Add(-1, "未入力").Bytes();
        QTest::newRow("add sibling, save") << 1 << TDataFile().Add(-1, "未入力").Bytes();
    }
    void MissingDataFileThenSavingCreatesIt() {
        QFETCH(int, Number);
        QFETCH(QByteArray, Saved);
        TFixture F(false);
        TForm1& Form = *F.Form;
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        QCOMPARE(F.Dialogs.Boxes[0].Text, NotFound);
        QCOMPARE(F.Dialogs.Boxes[0].Caption, QStringLiteral("tst_commands"));
        QVERIFY(F.Dialogs.Boxes[0].PlainMessage);
        QCOMPARE(FormTest::Outline(Form), QString());
        if (Number != 0) {
            Click(Form, Number);
            QCOMPARE(SelectedTitle(Form), "未入力");
        }
        Click(Form, 6);
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), Saved);
        QCOMPARE(Saved.size(), Number == 0 ? 13 : 13 + 16 + 6);
    }

    void SwitchingToAMissingFileLeavesAnEmptyOutline() {
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        F.Dialogs.Expect(IDOK);
        Click(Form, 10);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        QCOMPARE(F.Dialogs.Boxes[0].Text, NotFound);
        QCOMPARE(FormTest::Outline(Form), QString());
        QCOMPARE(Form.Edit1->text(), QString());
        QCOMPARE(Form.Memo1->LinesText(), TByteString());
        Click(Form, 1);
        Click(Form, 6);
        QCOMPARE(ReadFile(F.Scratch.File("jyoubun.dat")), TDataFile().Add(-1, "未入力").Bytes());
        QCOMPARE(ReadFile(F.Scratch.File("youken.dat")), SampleData().Bytes());
    }

    void EmptyOutlineDeleteAndCommitDoNothing() {
        TFixture F(false);
        TForm1& Form = *F.Form;
        QTest::mouseClick(Form.Edit1, Qt::LeftButton);
        QTest::keyClicks(Form.Edit1, "orphan");
        TypeInMemo(Form, "text");
        Click(Form, 4);
        QCOMPARE(Form.TreeView1->Items().EntryCount(), 0);
        Click(Form, 3);
        QCOMPARE(Form.TreeView1->Items().EntryCount(), 0);
        // Fields of no entry take no typing (it could go nowhere); a new entry starts empty.
        QCOMPARE(Form.Edit1->text(), QString());
        QCOMPARE(Form.MemoChanged, 0);
        Click(Form, 2);
        QCOMPARE(FormTest::Outline(Form), "未入力");
        QCOMPARE(Body(FindEntry(Form, "未入力")), QString());
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
    }

    void CreditsNameTheProjectAndItsTeam() {
        TFixture F;
        TForm1& Form = *F.Form;
        F.Dialogs.Expect(IDOK);
        Click(Form, 5);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        const TFakeDialogs::TBox& Box = F.Dialogs.Boxes[0];
        QVERIFY(Box.PlainMessage);
        QCOMPARE(Box.Caption, QStringLiteral("tst_commands"));
        const QStringList Lines = Box.Text.split('\n');
        QCOMPARE(Lines.size(), 3);
        QVERIFY(Lines[0].startsWith("Quorvelノート開発チーム"));
        QVERIFY(Lines[0].contains("README.md"));
        QVERIFY(Lines[1].contains("README.md"));
        QCOMPARE(Lines[2], "   Prototype by Quorvelノート開発チーム");
        QVERIFY(!Box.Text.contains('@') && !Box.Text.contains("http"));
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
    }

    void FailedSaveKeepsTheFlags_data() {
        QTest::addColumn<QString>("FileName");
        QTest::addColumn<QString>("Message");
        QTest::newRow("folder is a file") << "blocker/youken.dat"
                                          << "ファイル blocker/youken.dat を作成できません.";
        QTest::newRow("name is a folder") << "folder.dat"
                                          << "ファイル folder.dat を作成できません.";
    }
    void FailedSaveKeepsTheFlags() {
        QFETCH(QString, FileName);
        QFETCH(QString, Message);
        TFixture F;
        TForm1& Form = *F.Form;
        WriteFile(F.Scratch.File("blocker"), "x");
        QVERIFY(QDir(F.Scratch.Path()).mkdir("folder.dat"));
        QVERIFY(ClickEntry(Form, "A"));
        TypeInMemo(Form, "keep");
        Click(Form, 4);
        QCOMPARE(Form.Changed, 1);
        QCOMPARE(Form.MemoChanged, 1);
        Form.DataFileName = FileName.toStdString();
        F.Dialogs.Expect(IDOK);
        Click(Form, 6);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(1));
        QCOMPARE(F.Dialogs.Boxes[0].Text, Message);
        QCOMPARE(F.Dialogs.Boxes[0].Caption, QStringLiteral("tst_commands"));
        QCOMPARE(F.Dialogs.Boxes[0].Flags, TDialogs::MB_OK | TDialogs::MB_ICONERROR);
        QCOMPARE(Form.Changed, 1);
        QCOMPARE(Form.MemoChanged, 1);
        // A switch still asks, and a failed save there keeps the outline.
        F.Dialogs.Expect(IDYES);
        F.Dialogs.Expect(IDOK);
        Click(Form, 9);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t(3));
        QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2|keep");
        QCOMPARE(Form.DataFileName, FileName.toStdString());
        QCOMPARE(Form.Changed, 1);
    }

    // Undo and redo of each command by the keys, while the focus is in the tree.
    void UndoAndRedoByKeys_data() {
        QTest::addColumn<QString>("Select");
        QTest::addColumn<int>("Number");
        QTest::addColumn<QString>("After");
        QTest::newRow("add sibling") << "A1" << 1 << "A(A1(A1a),A2,未入力),B";
        QTest::newRow("add child") << "A1a" << 2 << "A(A1(A1a(未入力)),A2),B";
        QTest::newRow("delete a subtree") << "A" << 3 << "B";
        QTest::newRow("commit a title") << "A2" << 4 << "A(A1(A1a),Two),B";
    }
    void UndoAndRedoByKeys() {
        QFETCH(QString, Select);
        QFETCH(int, Number);
        QFETCH(QString, After);
        TFixture F;
        TForm1& Form = *F.Form;
        Form.activateWindow();
        Form.TreeView1->Items().ExpandAll();
        QVERIFY(ClickEntry(Form, Select));
        if (Number == 4) {
            TypeTitleByKeyboard(Form, "Two");
        }
        QVERIFY(!Form.UndoAction()->isEnabled());
        Click(Form, Number);
        QCOMPARE(FormTest::Outline(Form), After);
        QVERIFY(Form.UndoAction()->isEnabled());
        Form.Changed = 0;
        const auto Key = [&](Qt::KeyboardModifiers Modifiers, Qt::Key Which) {
            Form.TreeView1->setFocus();
            QTest::keyClick(Form.TreeView1, Which, Modifiers);
        };
        const auto FieldsShowTheSelection = [&] {
            const TTreeNode* Selected = Form.TreeView1->Items().SelectedEntry();
            QVERIFY(Selected != nullptr);
            QCOMPARE(Title(Form), Shown(Selected->Text()));
            QCOMPARE(
                Body(Selected),
                Shown(Form.Memo1->LinesText()).replace("\r\n", "|").chopped(Form.Memo1->LinesText().empty() ? 0 : 1));
        };
        Key(Qt::ControlModifier, Qt::Key_Z);
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
        QCOMPARE(Form.Changed, 1);
        FieldsShowTheSelection();
        QVERIFY(!Form.UndoAction()->isEnabled());
        QVERIFY(Form.RedoAction()->isEnabled());
        Key(Qt::ControlModifier, Qt::Key_Y);
        QCOMPARE(FormTest::Outline(Form), After);
        FieldsShowTheSelection();
        Key(Qt::ControlModifier, Qt::Key_Z);
        Key(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
        QCOMPARE(FormTest::Outline(Form), After);
        // Once the fields are committed somewhere else, nothing of one entry lands in another.
        QVERIFY(ClickEntry(Form, "B"));
        Key(Qt::ControlModifier, Qt::Key_Z);
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
        QCOMPARE(Body(FindEntry(Form, "B")), "b");
        QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2");
    }

    void UndoKeysInTheFieldsStayThere() {
        TFixture F;
        TForm1& Form = *F.Form;
        Form.activateWindow();
        QVERIFY(ClickEntry(Form, "B"));
        Click(Form, 3);
        QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2)");
        TypeInMemo(Form, "x");
        QTest::keyClick(Form.Memo1, Qt::Key_Z, Qt::ControlModifier);
        Form.Edit1->setFocus();
        QTest::keyClick(Form.Edit1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2)");
        // The tree's menu does it, and loading empties the history.
        Form.UndoAction()->trigger();
        QCOMPARE(FormTest::Outline(Form), "A(A1(A1a),A2),B");
        F.Dialogs.Expect(IDNO);
        Click(Form, 9);
        QVERIFY(!Form.UndoAction()->isEnabled());
        QVERIFY(!Form.RedoAction()->isEnabled());
        const QList<QAction*> Menu = Form.TreeMenu()->actions();
        QCOMPARE(Menu.value(0)->text(), QStringLiteral("元に戻す"));
        QCOMPARE(Menu.value(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QCOMPARE(Menu.value(1)->text(), QStringLiteral("やり直し"));
        QCOMPARE(Menu.value(1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Y")));
    }

    // Saving after a load that failed part-way keeps the damaged file, with its unread
    // records, as the newest backup.
    void SaveAfterAFailedLoadKeepsTheDamagedFile() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        QByteArray Damaged = SampleData().Bytes();
        Damaged.chop(3);
        WriteFile(Scratch.File("youken.dat"), Damaged);
        Dialogs.Expect(IDOK); // the read error
        auto Form = ShownForm(Scratch);
        QCOMPARE(FormTest::Outline(*Form), "A(A1(A1a),A2)");
        Click(*Form, 6);
        QCOMPARE(ReadFile(Scratch.File("youken.dat.1")), Damaged);
        Click(*Form, 6);
        QCOMPARE(ReadFile(Scratch.File("youken.dat.2")), Damaged);
        QCOMPARE(ReadFile(Scratch.File("youken.dat.1")), ReadFile(Scratch.File("youken.dat")));
    }

    // Fields that belong to no entry take no typing: a commit could put it nowhere, so it
    // would vanish at the next selection or at close without a prompt. A title field that
    // shows the selected entry still takes a new title when only its body cannot be shown.
    void FieldsOfNoEntryTakeNoTyping_data() {
        QTest::addColumn<QString>("State");
        QTest::addColumn<bool>("TitleTakesTyping");
        QTest::newRow("at start, nothing selected") << "start" << false;
        QTest::newRow("after the last entry was deleted") << "deleted" << false;
        QTest::newRow("after a switch to a missing file") << "switched" << false;
        QTest::newRow("the body cannot be shown") << "refused" << true;
    }
    void FieldsOfNoEntryTakeNoTyping() {
        QFETCH(QString, State);
        QFETCH(bool, TitleTakesTyping);
        TFixture F;
        TForm1& Form = *F.Form;
        Form.TreeView1->Items().ExpandAll();
        if (State == "deleted") {
            QVERIFY(ClickEntry(Form, "A"));
            Click(Form, 3);
            Click(Form, 3);
            QCOMPARE(FormTest::Outline(Form), "");
        } else if (State == "switched") {
            F.Dialogs.Expect(IDOK);
            Click(Form, 10);
            QCOMPARE(FormTest::Outline(Form), "");
        } else if (State == "refused") {
            QVERIFY(ClickEntry(Form, "A2"));
            Form.Memo1->SetMaxLength(4);
            F.Dialogs.Expect(IDOK);
            QVERIFY(ClickEntry(Form, "A1a"));
            QCOMPARE(F.Dialogs.Boxes.size(), std::size_t{1});
        }
        const TByteString ShownBody = Form.Memo1->LinesText();
        const TByteString ShownTitle = Form.Edit1->Text();
        TypeInMemo(Form, "xy");
        QCOMPARE(Form.Memo1->LinesText(), ShownBody);
        QCOMPARE(Form.MemoChanged, 0);
        QTest::mouseClick(Form.Edit1, Qt::LeftButton);
        QTest::keyClick(Form.Edit1, Qt::Key_End);
        QTest::keyClicks(Form.Edit1, "T");
        QCOMPARE(Form.Edit1->Text() != ShownTitle, TitleTakesTyping);
        Form.Memo1->SetMaxLength(TMemo::DefaultMaxLength);
        if (State == "refused") {
            QVERIFY(ClickEntry(Form, "B"));
            QVERIFY(FindEntry(Form, "A1aT") != nullptr);
            QCOMPARE(Body(FindEntry(Form, "A1aT")), "deep");
            // An entry the editor can show takes typing again.
            TypeInMemo(Form, "xy");
            QCOMPARE(Form.MemoChanged, 1);
        }
    }

    // However often the user saves after such a load, the damaged file stays among the
    // backups: once it is the oldest one kept, the newer ones rotate below it. Loading
    // a file that reads whole lets it go again.
    void RepeatedSavesAfterAFailedLoadKeepTheDamagedFile() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        QByteArray Damaged = SampleData().Bytes();
        Damaged.chop(3);
        WriteFile(Scratch.File("youken.dat"), Damaged);
        Dialogs.Expect(IDOK); // the read error
        auto Form = ShownForm(Scratch);
        QByteArray Saved;
        for (int Save = 1; Save <= 5; ++Save) {
            Click(*Form, 1);
            Click(*Form, 6);
            const QByteArray Previous = Saved;
            Saved = ReadFile(Scratch.File("youken.dat"));
            if (Save > 1) {
                QCOMPARE(ReadFile(Scratch.File("youken.dat.1")), Previous);
            }
            QCOMPARE(ReadFile(Scratch.File(QStringLiteral("youken.dat.%1").arg(std::min(Save, 3)))), Damaged);
        }
        // Reloaded whole, the outline's file rotates all its backups as usual.
        Click(*Form, 9);
        for (int Save = 1; Save <= 3; ++Save) {
            Click(*Form, 1);
            Click(*Form, 6);
        }
        for (const char* Backup : {"youken.dat.1", "youken.dat.2", "youken.dat.3"}) {
            QVERIFY(ReadFile(Scratch.File(Backup)) != Damaged);
        }
        QCOMPARE(Dialogs.Boxes.size(), std::size_t{1});
    }

    // An entry whose body the editor refuses is reported, but the delete that selected it
    // is complete, and no commit later writes another entry's text into it.
    void DeleteCompletesWhenTheNextBodyCannotBeShown() {
        TFixture F;
        TForm1& Form = *F.Form;
        QVERIFY(ClickEntry(Form, "A"));
        Form.Memo1->SetMaxLength(1);
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
        F.Dialogs.Boxes.clear();
        F.Dialogs.Expect(IDOK);
        Click(Form, 3);
        QCOMPARE(F.Dialogs.Boxes.size(), std::size_t{1});
        QCOMPARE(FormTest::Outline(Form), "B");
        Form.Memo1->SetMaxLength(TMemo::DefaultMaxLength);
        // The title field does show B: a new title is taken, the body stays B's own.
        TypeTitleByKeyboard(Form, "Bee");
        Click(Form, 4);
        QCOMPARE(FormTest::Outline(Form), "Bee");
        QCOMPARE(Body(FindEntry(Form, "Bee")), "b");
        // Undo brings the subtree back whole.
        Form.UndoAction()->trigger();
        QCOMPARE(FormTest::Outline(Form), "B");
        QCOMPARE(Body(FindEntry(Form, "B")), "b");
        Form.UndoAction()->trigger();
        QCOMPARE(FormTest::Outline(Form), SampleOutline);
        QCOMPARE(Body(FindEntry(Form, "A")), "a1|a2");
    }
};

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TCommandsTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "tst_commands.moc"
