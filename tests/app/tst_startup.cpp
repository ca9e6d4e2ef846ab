// Start-up and shutdown of the main window: the first data set, the geometry from the
// settings file, the save prompt at close and the geometry written back.
#include "Application.h"
#include "FormTestSupport.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>
#include <QWindow>

#include <cstdlib>

using namespace FormTest;

namespace {
constexpr int IDOK = TDialogs::IDOK;
constexpr int IDYES = TDialogs::IDYES;
constexpr int IDNO = TDialogs::IDNO;

const QString Title = QStringLiteral("tst_startup");

// The keys in the order the close writes them.
QString IniText(int Top, int Left, int Width) {
    return QStringLiteral("[form]\nform1.top=%1\nform1.left=%2\nform1.width=%3\n").arg(Top).arg(Left).arg(Width);
}

// Ini (a [form] section alone) as the close leaves it: each value replaced where its key
// stands, missing keys added at the end of the section in the order the close writes them.
QString IniAfterClose(const QByteArray& Ini, int Top, int Left, int Width) {
    QString Text = QString::fromLatin1(Ini);
    const std::pair<const char*, int> Keys[] = {{"form1.top", Top}, {"form1.left", Left}, {"form1.width", Width}};
    for (const auto& [Key, Value] : Keys) {
        const QRegularExpression Line(QStringLiteral("^%1=.*$").arg(QRegularExpression::escape(QLatin1String(Key))),
                                      QRegularExpression::MultilineOption);
        const QString Written = QStringLiteral("%1=%2").arg(QLatin1String(Key)).arg(Value);
        if (Text.contains(Line))
            Text.replace(Line, Written);
        else
            Text += Written + QLatin1Char('\n');
    }
    return Text;
}

// The settings file's text with its line ends unified, or "<none>".
QString ReadIni(const TScratch& Scratch) {
    if (!QFile::exists(Scratch.IniFile())) {
        return QStringLiteral("<none>");
    }
    return QString::fromUtf8(ReadFile(Scratch.IniFile())).replace("\r\n", "\n");
}

void CheckErrorBox(const TFakeDialogs::TBox& Box, const QString& Text) {
    QCOMPARE(Box.Text, Text);
    QCOMPARE(Box.Caption, Title);
    QCOMPARE(Box.Flags, TDialogs::MB_OK | TDialogs::MB_ICONERROR);
    QVERIFY(!Box.PlainMessage);
}
} // namespace

class TStartupTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void GeometryComesFromTheSettingsFile_data() {
        QTest::addColumn<QByteArray>("Ini");
        QTest::addColumn<int>("Left");
        QTest::addColumn<int>("Top");
        QTest::addColumn<int>("Width");
        QTest::newRow("no settings file") << QByteArray() << 80 << 80 << 700;
        QTest::newRow("stored values") << QByteArray("[form]\nform1.top=200\nform1.left=150\nform1.width=800\n") << 150
                                       << 200 << 800;
        QTest::newRow("not numbers") << QByteArray("[form]\nform1.top=high\nform1.left=\nform1.width=8OO\n") << 80 << 80
                                     << 700;
        QTest::newRow("one key missing") << QByteArray("[form]\nform1.left=5\nform1.width=640\n") << 5 << 80 << 640;
        QTest::newRow("other section") << QByteArray("[window]\nform1.top=1\n") << 80 << 80 << 700;
    }
    void GeometryComesFromTheSettingsFile() {
        QFETCH(QByteArray, Ini);
        QFETCH(int, Left);
        QFETCH(int, Top);
        QFETCH(int, Width);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        if (!Ini.isEmpty()) {
            WriteFile(Scratch.IniFile(), Ini);
        }
        TForm1 Form(Scratch.Settings());
        QCOMPARE(Form.Left(), Left);
        QCOMPARE(Form.Top(), Top);
        QCOMPARE(Form.Width(), Width);
        QCOMPARE(Form.Height(), 483);
        QCOMPARE(Outline(Form), "A(A1(A1a),A2),B");
        QCOMPARE(Form.DataFileName, std::string("youken.dat"));
        QCOMPARE(Form.IniGT1->IniFile().FileName(), Scratch.IniFile().toStdString());
        QVERIFY(Dialogs.Boxes.empty());
        QCOMPARE(Form.Changed, 0);
        QCOMPARE(SelectedTitle(Form), "-");
    }

    // Any 32-bit value may stand in the settings file: the window takes the nearest
    // geometry the window system accepts (client position and size within 16 bits, the
    // columns' minimum width), and the close writes back what it really has.
    void ExtremeSettingsGiveAWindowInRange_data() {
        QTest::addColumn<QByteArray>("Ini");
        QTest::addColumn<int>("ClientX");
        QTest::addColumn<int>("ClientY");
        QTest::addColumn<int>("ClientWidth");
        const int Min = 313 + 2 + 89 + 42;
        const int Max = TForm1::CoordinateLimit;
        QTest::newRow("widest") << QByteArray("[form]\nform1.width=2147483647\n") << 0 << 0 << Max;
        QTest::newRow("all lowest")
            << QByteArray("[form]\nform1.top=-2147483648\nform1.left=-2147483648\nform1.width=-2147483648\n") << -Max
            << -Max << Min;
        QTest::newRow("all highest")
            << QByteArray("[form]\nform1.top=2147483647\nform1.left=2147483647\nform1.width=2147483647\n") << Max << Max
            << Max;
        QTest::newRow("zero width") << QByteArray("[form]\nform1.width=0\n") << 0 << 0 << Min;
        QTest::newRow("negative width") << QByteArray("[form]\nform1.width=-5\n") << 0 << 0 << Min;
    }
    void ExtremeSettingsGiveAWindowInRange() {
        QFETCH(QByteArray, Ini);
        QFETCH(int, ClientX);
        QFETCH(int, ClientY);
        QFETCH(int, ClientWidth);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        WriteFile(Scratch.IniFile(), Ini);
        auto Form = ShownForm(Scratch);
        // 0 stands for the default outer position 80 with the platform's frame.
        const QMargins Frame = Form->windowHandle()->frameMargins();
        const int X = ClientX == 0 ? 80 + Frame.left() : ClientX;
        const int Y = ClientY == 0 ? 80 + Frame.top() : ClientY;
        QTRY_COMPARE(Form->size(), QSize(ClientWidth, 483 - Frame.top() - Frame.bottom()));
        // The offscreen platform moves a client placed left of or above its own frame
        // width back by that width.
        QVERIFY2(std::abs(Form->x() - X) <= Frame.left() && std::abs(Form->y() - Y) <= Frame.top(),
                 qPrintable(QStringLiteral("client at %1, %2").arg(Form->x()).arg(Form->y())));
        QVERIFY(std::abs(Form->x()) <= TForm1::CoordinateLimit && std::abs(Form->y()) <= TForm1::CoordinateLimit);
        QCOMPARE(Form->FrameMargins(), Frame);
        const QRect Outer = Form->frameGeometry();
        QCOMPARE(QRect(Form->Left(), Form->Top(), Form->Width(), Form->Height()), Outer);
        QVERIFY(Form->close());
        QCOMPARE(ReadIni(Scratch), IniAfterClose(Ini, Outer.top(), Outer.left(), Outer.width()));
        QVERIFY(Dialogs.Boxes.empty());
    }

    void MissingDataFileIsReportedAndGeometryStillRestored() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.IniFile(), "[form]\nform1.top=33\n");
        Dialogs.Expect(IDOK);
        TForm1 Form(Scratch.Settings());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(1));
        QCOMPARE(Dialogs.Boxes[0].Text, QStringLiteral("ファイルが見つかりません。"));
        QCOMPARE(Dialogs.Boxes[0].Caption, Title);
        QVERIFY(Dialogs.Boxes[0].PlainMessage);
        QCOMPARE(Form.TreeView1->Items().EntryCount(), 0);
        QCOMPARE(Form.Top(), 33);
        QCOMPARE(Form.Left(), 80);
        QCOMPARE(Form.Width(), 700);
    }

    void DamagedDataFileKeepsTheLayoutGeometry_data() {
        QTest::addColumn<QByteArray>("Data");
        QTest::addColumn<QString>("Message");
        QTest::addColumn<QString>("Outline");
        const QByteArray Sample = SampleData().Bytes();
        // Records 0-2 take 13 + (16+1+8) + (16+2) + (16+3+6) bytes.
        const int ThreeRecords = 13 + 25 + 18 + 25;
        QTest::newRow("empty file") << QByteArray() << "ストリームからの読み込みエラー."
                                    << "";
        QTest::newRow("cut inside record 3") << Sample.left(ThreeRecords + 9) << "ストリームからの読み込みエラー."
                                             << "A(A1(A1a))";
        TDataFile SelfParent;
        SelfParent.Add(-1, "A").Add(0, "A1").Add(2, "Self").Add(-1, "B");
        QTest::newRow("parent names itself") << SelfParent.Bytes() << "不正なインデックス."
                                             << "A(A1)";
        TDataFile BelowTop;
        BelowTop.Add(-1, "A").Add(-2, "Bad");
        QTest::newRow("parent index -2") << BelowTop.Bytes() << "不正なインデックス."
                                         << "A";
    }
    void DamagedDataFileKeepsTheLayoutGeometry() {
        QFETCH(QByteArray, Data);
        QFETCH(QString, Message);
        QFETCH(QString, Outline);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), Data);
        WriteFile(Scratch.IniFile(), "[form]\nform1.top=200\nform1.left=150\nform1.width=800\n");
        Dialogs.Expect(IDOK);
        TForm1 Form(Scratch.Settings());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(1));
        CheckErrorBox(Dialogs.Boxes[0], Message);
        QCOMPARE(FormTest::Outline(Form), Outline);
        QCOMPARE(Form.Left(), 54);
        QCOMPARE(Form.Top(), 42);
        QCOMPARE(Form.Width(), 928);
        QCOMPARE(Form.Height(), 483);
        QCOMPARE(Form.Changed, 0);
        // The program goes on: the entries read are usable.
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        if (!Outline.isEmpty()) {
            QVERIFY(ClickEntry(Form, "A"));
            QCOMPARE(Form.Edit1->text(), "A");
        }
    }

    void CloseAsksOnlyWhenChanged_data() {
        QTest::addColumn<bool>("Change");
        QTest::addColumn<int>("Answer");
        QTest::addColumn<bool>("Saved");
        QTest::addColumn<bool>("IniWritten");
        QTest::newRow("unchanged") << false << 0 << false << true;
        QTest::newRow("changed, No") << true << IDNO << false << false;
        QTest::newRow("changed, Yes") << true << IDYES << true << true;
    }
    void CloseAsksOnlyWhenChanged() {
        QFETCH(bool, Change);
        QFETCH(int, Answer);
        QFETCH(bool, Saved);
        QFETCH(bool, IniWritten);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        auto Form = ShownForm(Scratch);
        Form->SetTop(111);
        Form->SetLeft(222);
        Form->SetWidth(777);
        QTRY_COMPARE(Form->Left(), 222);
        QVERIFY(ClickEntry(*Form, "B"));
        if (Change) {
            QTest::mouseClick(Form->BitBtn1, Qt::LeftButton);
            Dialogs.Expect(Answer);
        }
        QVERIFY(Form->close());
        QVERIFY(!Form->isVisible());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(Change ? 1 : 0));
        if (Change) {
            QCOMPARE(Dialogs.Boxes[0].Text, QStringLiteral("現在の変更を保存します。よろしいですか"));
            QCOMPARE(Dialogs.Boxes[0].Caption, QStringLiteral("確認"));
            QCOMPARE(Dialogs.Boxes[0].Flags, 36);
        }
        const QByteArray Expected = Saved ? SampleData().Add(-1, "未入力").Bytes() : SampleData().Bytes();
        QCOMPARE(ReadFile(Scratch.File("youken.dat")), Expected);
        QCOMPARE(ReadIni(Scratch), IniWritten ? IniText(111, 222, 777) : QStringLiteral("<none>"));
    }

    void FailedSaveAtCloseKeepsTheWindowOpenAndAsksAgain() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        WriteFile(Scratch.File("blocker"), "x");
        auto Form = ShownForm(Scratch);
        QTest::mouseClick(Form->BitBtn2, Qt::LeftButton);
        Form->DataFileName = "blocker/youken.dat";
        Dialogs.Expect(IDYES);
        Dialogs.Expect(IDOK);
        QVERIFY(!Form->close());
        QVERIFY(Form->isVisible());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(2));
        CheckErrorBox(Dialogs.Boxes[1], QStringLiteral("ファイル blocker/youken.dat を作成できません."));
        QCOMPARE(Form->Changed, 1);
        QCOMPARE(ReadIni(Scratch), QStringLiteral("<none>"));
        // The next close asks again; the user may now save elsewhere or give up.
        Form->DataFileName = "youken.dat";
        Dialogs.Expect(IDYES);
        QVERIFY(Form->close());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(3));
        QCOMPARE(Dialogs.Boxes[2].Flags, 36);
        QCOMPARE(ReadFile(Scratch.File("youken.dat")), SampleData().Add(-1, "未入力").Bytes());
        QVERIFY(ReadIni(Scratch).startsWith("[form]\n"));
    }

    void UnwritableSettingsFileIsReportedAndTheWindowCloses_data() {
        QTest::addColumn<bool>("Change");
        QTest::newRow("unchanged") << false;
        QTest::newRow("changed, saved") << true;
    }
    void UnwritableSettingsFileIsReportedAndTheWindowCloses() {
        QFETCH(bool, Change);
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        WriteFile(Scratch.File("blocker"), "x");
        // The executable lies "in" a regular file, so its settings file cannot be written.
        TForm1 Form(Scratch.Settings(QStringLiteral("blocker/quorvel")));
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QCOMPARE(Form.Left(), 80);
        if (Change) {
            QTest::mouseClick(Form.BitBtn1, Qt::LeftButton);
            Dialogs.Expect(IDYES);
        }
        Dialogs.Expect(IDOK);
        QVERIFY(Form.close());
        QVERIFY(!Form.isVisible());
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(Change ? 2 : 1));
        CheckErrorBox(Dialogs.Boxes.back(), Scratch.File("blocker/Quorvel.ini") + QStringLiteral(" に書き込めません."));
        const QByteArray Expected = Change ? SampleData().Add(-1, "未入力").Bytes() : SampleData().Bytes();
        QCOMPARE(ReadFile(Scratch.File("youken.dat")), Expected);
    }

    void LayoutOnlyStartLeavesTheDesignState() {
        TScratch Scratch;
        TFakeDialogs Dialogs;
        WriteFile(Scratch.File("youken.dat"), SampleData().Bytes());
        TForm1 Form(Scratch.Settings(), TFormStart::fsLayoutOnly);
        QCOMPARE(Form.Left(), 54);
        QCOMPARE(Form.Width(), 928);
        QCOMPARE(Form.TreeView1->Items().EntryCount(), 0);
        QCOMPARE(Form.DataFileName, std::string());
        // The settings component has had its after-load step all the same.
        QCOMPARE(Form.IniGT1->FileName(), std::string("Quorvel.ini"));
        QVERIFY(!Form.IniGT1->FenceUnassigned());
        QCOMPARE(Form.IniGT1->DefaultDir(), TIniGTDefaultDir::ddApplication);
        QCOMPARE(Form.IniGT1->Fence(), TIniGTFence::fnNone);
    }
};

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TStartupTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "tst_startup.moc"
