// The body editor: setting, reading, the modified flag, the change notification, the limit.
#include "ByteData.h"
#include "Errors.h"
#include "Guard.h"
#include "Memo.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <memory>

namespace {

// A memo in a window, with a log of OnChange runs and the modified flag each run saw.
struct TMemoFixture {
    QWidget Window;
    TMemo* Memo = new TMemo(&Window);
    QList<bool> Seen; // Modified() at every OnChange

    TMemoFixture() {
        Memo->setGeometry(0, 0, 200, 150);
        Memo->OnChange = [this](TObject* Sender) {
            QCOMPARE_EQ(Sender, static_cast<TObject*>(Memo));
            Seen << Memo->Modified();
        };
    }
    void Show() {
        Window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Window));
        Memo->setFocus();
    }
};

void TypeText(QWidget* Target, const QString& Text) {
    for (const QChar Char : Text)
        QTest::sendKeyEvent(QTest::Click, Target, Qt::Key_unknown, QString(Char), Qt::NoModifier);
}

// The memo with its paste entry points open to the test.
class TOpenMemo : public TMemo {
public:
    using TMemo::canInsertFromMimeData;
    using TMemo::insertFromMimeData;
    using TMemo::TMemo;
};

} // namespace

class TestMemo : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TErrorReporter::SetHandler([](const std::exception& Error) { QFAIL(Error.what()); });
    }

    void setsTextWithCrLfLineEnds_data();
    void setsTextWithCrLfLineEnds();
    void equalTextChangesNothing_data();
    void equalTextChangesNothing();
    void userEditsSetModifiedBeforeNotification_data();
    void userEditsSetModifiedBeforeNotification();
    void setAfterTypingClearsModified();
    void readingHasNoWrapRows();
    void sizeLimitRefusesSets_data();
    void sizeLimitRefusesSets();
    void sizeLimitRefusesUserEdits_data();
    void sizeLimitRefusesUserEdits();
    void clearingForDataSetSwitch_data();
    void clearingForDataSetSwitch();
    void bytesSurviveUnchangedAndAfterEditing_data();
    void bytesSurviveUnchangedAndAfterEditing();
    void fontChangeIsNoEdit();
    void tabMovesFocusAndScrollBarsAreFixed();
    void pasteWithoutTextInsertsNothing_data();
    void pasteWithoutTextInsertsNothing();
};

void TestMemo::setsTextWithCrLfLineEnds_data() {
    QTest::addColumn<TByteString>("Given");
    QTest::addColumn<TByteString>("Read");
    QTest::newRow("crlf kept") << Bytes("a\r\nb\r\n") << Bytes("a\r\nb\r\n");
    QTest::newRow("lone lf") << Bytes("a\nb\n") << Bytes("a\r\nb\r\n");
    QTest::newRow("lone cr") << Bytes("a\rb") << Bytes("a\r\nb");
    QTest::newRow("lf cr is two ends") << Bytes("a\n\rb") << Bytes("a\r\n\r\nb");
    QTest::newRow("cr cr is two ends") << Bytes("a\r\rb") << Bytes("a\r\n\r\nb");
    QTest::newRow("no end after last line") << Bytes("a\r\nb") << Bytes("a\r\nb");
    // A lead byte takes the next byte with it unconverted, even a line end.
    QTest::newRow("lead byte keeps its trail") << Bytes("\x81\nx\n") << Bytes("\x81\nx\r\n");
    QTest::newRow("double-byte characters") << Bytes("\x93\xfa\x96\x7b\n") << Bytes("\x93\xfa\x96\x7b\r\n");
}

void TestMemo::setsTextWithCrLfLineEnds() {
    QFETCH(TByteString, Given);
    QFETCH(TByteString, Read);
    TMemoFixture F;
    F.Memo->SetLinesText(Given);
    QCOMPARE(F.Memo->LinesText(), Read);
    QCOMPARE(F.Seen, QList<bool>{false});
    QCOMPARE(F.Memo->Modified(), false);
    // The editor shows the rows, not the bytes: a CR LF is one row break.
    QCOMPARE(F.Memo->document()->blockCount(), int(std::count(Read.begin(), Read.end(), '\n')) + 1);
}

void TestMemo::equalTextChangesNothing_data() {
    QTest::addColumn<TByteString>("First");
    QTest::addColumn<TByteString>("Second");
    QTest::addColumn<bool>("UserTyped");
    QTest::newRow("same bytes") << Bytes("ab\r\ncd\r\n") << Bytes("ab\r\ncd\r\n") << false;
    QTest::newRow("same after line-end conversion") << Bytes("ab\r\ncd\r\n") << Bytes("ab\ncd\r") << false;
    QTest::newRow("typed text kept") << Bytes("ab\r\n") << Bytes("ab\r\nx") << true;
    QTest::newRow("empty into empty") << Bytes("") << Bytes("") << false;
}

void TestMemo::equalTextChangesNothing() {
    QFETCH(TByteString, First);
    QFETCH(TByteString, Second);
    QFETCH(bool, UserTyped);
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(First);
    if (UserTyped) {
        F.Memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(F.Memo, "x");
    }
    const bool ModifiedBefore = F.Memo->Modified();
    const QList<bool> SeenBefore = F.Seen;
    F.Memo->SetLinesText(Second);
    QCOMPARE(F.Seen, SeenBefore);
    QCOMPARE(F.Memo->Modified(), ModifiedBefore);
    QCOMPARE(F.Memo->Modified(), UserTyped);
    QCOMPARE(F.Memo->LinesText(), TMemo::NormaliseLineEnds(Second));
}

void TestMemo::userEditsSetModifiedBeforeNotification_data() {
    QTest::addColumn<QString>("Edit");
    QTest::addColumn<TByteString>("Read");
    QTest::newRow("typing") << "type" << Bytes("ab\r\ncdx");
    QTest::newRow("typing then deleting") << "type-delete" << Bytes("ab\r\ncd");
    QTest::newRow("backspace") << "backspace" << Bytes("ab\r\nc");
    QTest::newRow("enter") << "enter" << Bytes("ab\r\ncd\r\n");
    QTest::newRow("paste") << "paste" << Bytes("ab\r\ncdP\r\nQ");
    QTest::newRow("cut") << "cut" << Bytes("ab\r\n");
    QTest::newRow("undo") << "undo" << Bytes("ab\r\ncd");
    QTest::newRow("input method commit") << "ime" << Bytes("ab\r\ncd\x93\xfa\x96\x7b");
}

void TestMemo::userEditsSetModifiedBeforeNotification() {
    QFETCH(QString, Edit);
    QFETCH(TByteString, Read);
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(Bytes("ab\r\ncd"));
    F.Memo->moveCursor(QTextCursor::End);
    F.Seen.clear();
    if (Edit == "type") {
        QTest::keyClick(F.Memo, Qt::Key_X);
    } else if (Edit == "type-delete") {
        QTest::keyClick(F.Memo, Qt::Key_X);
        QTest::keyClick(F.Memo, Qt::Key_Backspace);
    } else if (Edit == "backspace") {
        QTest::keyClick(F.Memo, Qt::Key_Backspace);
    } else if (Edit == "enter") {
        QTest::keyClick(F.Memo, Qt::Key_Return);
    } else if (Edit == "paste") {
        QApplication::clipboard()->setText("P\nQ");
        QTest::keySequence(F.Memo, QKeySequence::Paste);
    } else if (Edit == "cut") {
        F.Memo->moveCursor(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        QTest::keySequence(F.Memo, QKeySequence::Cut);
    } else if (Edit == "undo") {
        QTest::keyClick(F.Memo, Qt::Key_X);
        F.Seen.clear();
        QTest::keySequence(F.Memo, QKeySequence::Undo);
    } else if (Edit == "ime") {
        QInputMethodEvent Commit;
        Commit.setCommitString(QString::fromUtf8("日本"));
        QApplication::sendEvent(F.Memo, &Commit);
    }
    QVERIFY(!F.Seen.isEmpty());
    QVERIFY(!F.Seen.contains(false));
    QVERIFY(F.Memo->Modified());
    QCOMPARE(F.Memo->LinesText(), Read);
}

void TestMemo::setAfterTypingClearsModified() {
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(Bytes("ab\r\n"));
    QTest::keyClick(F.Memo, Qt::Key_X);
    QVERIFY(F.Memo->Modified());
    F.Seen.clear();
    F.Memo->SetLinesText(Bytes("other\r\n"));
    QCOMPARE(F.Seen, QList<bool>{false});
    QCOMPARE(F.Memo->Modified(), false);
    QCOMPARE(F.Memo->LinesText(), Bytes("other\r\n"));
}

void TestMemo::readingHasNoWrapRows() {
    TMemoFixture F;
    F.Memo->resize(80, 150);
    F.Show();
    const QString Long(60, u'w');
    QTest::keyClicks(F.Memo, Long + " " + Long);
    QTest::keyClick(F.Memo, Qt::Key_Return);
    QTest::keyClicks(F.Memo, "b");
    // The first row wraps on screen but is one line of text.
    QVERIFY(F.Memo->document()->firstBlock().layout()->lineCount() > 1);
    QCOMPARE(F.Memo->LinesText(), (Long + " " + Long + "\r\nb").toStdString());
}

void TestMemo::sizeLimitRefusesSets_data() {
    QTest::addColumn<TByteString>("Given");
    QTest::addColumn<bool>("Fits");
    // The limit is 10 bytes; line ends count as CR LF.
    QTest::newRow("exactly the limit") << Bytes("12345678\r\n") << true;
    QTest::newRow("one byte over") << Bytes("123456789\r\n") << false;
    QTest::newRow("over only after line-end conversion") << Bytes("1234567\n\n") << false;
    QTest::newRow("double-byte text over") << Bytes("\x93\xfa\x93\xfa\x93\xfa\x93\xfa\x93\xfa\x93\xfa") << false;
}

void TestMemo::sizeLimitRefusesSets() {
    QFETCH(TByteString, Given);
    QFETCH(bool, Fits);
    TMemoFixture F;
    F.Show();
    F.Memo->SetMaxLength(10);
    F.Memo->SetLinesText(Bytes("old\r\n"));
    QTest::keyClick(F.Memo, Qt::Key_X);
    F.Seen.clear();
    const TByteString Before = F.Memo->LinesText();
    try {
        F.Memo->SetLinesText(Given);
        QVERIFY(Fits);
        QCOMPARE(F.Memo->LinesText(), TMemo::NormaliseLineEnds(Given));
        QCOMPARE(F.Seen, QList<bool>{false});
    } catch (const EInvalidOperation& Error) {
        QVERIFY(!Fits);
        QCOMPARE(QString::fromUtf8(Error.what()), QString::fromUtf8("文字列の大きさが メモ の制限を越えました"));
        QCOMPARE(F.Memo->LinesText(), Before);
        QVERIFY(F.Memo->Modified());
        QVERIFY(F.Seen.isEmpty());
    }
}

void TestMemo::sizeLimitRefusesUserEdits_data() {
    QTest::addColumn<QString>("Edit");
    QTest::addColumn<TByteString>("Start");
    QTest::addColumn<bool>("Fits");
    QTest::newRow("typing at the limit") << "type" << Bytes("1234567890") << false;
    QTest::newRow("typing up to the limit") << "type" << Bytes("123456789") << true;
    QTest::newRow("enter needs two bytes") << "enter" << Bytes("123456789") << false;
    QTest::newRow("enter fits") << "enter" << Bytes("12345678") << true;
    QTest::newRow("paste over") << "paste" << Bytes("1234567") << false;
    QTest::newRow("ime commit over") << "ime" << Bytes("1234567") << false;
    QTest::newRow("ime commit fits") << "ime" << Bytes("123456") << true;
}

void TestMemo::sizeLimitRefusesUserEdits() {
    QFETCH(QString, Edit);
    QFETCH(TByteString, Start);
    QFETCH(bool, Fits);
    TMemoFixture F;
    F.Show();
    F.Memo->SetMaxLength(10);
    F.Memo->SetLinesText(Start);
    F.Memo->moveCursor(QTextCursor::End);
    F.Seen.clear();
    if (Edit == "type") {
        QTest::keyClick(F.Memo, Qt::Key_X);
    } else if (Edit == "enter") {
        QTest::keyClick(F.Memo, Qt::Key_Return);
    } else if (Edit == "paste") {
        QApplication::clipboard()->setText("abcd");
        QTest::keySequence(F.Memo, QKeySequence::Paste);
    } else if (Edit == "ime") {
        QInputMethodEvent Commit;
        Commit.setCommitString(QString::fromUtf8("日本"));
        QApplication::sendEvent(F.Memo, &Commit);
    }
    QCOMPARE(F.Memo->LinesText() != Start, Fits);
    QCOMPARE(F.Memo->Modified(), Fits);
    QCOMPARE(F.Seen.size(), Fits ? 1 : 0);
    QVERIFY(F.Memo->LinesText().size() <= 10);
}

void TestMemo::clearingForDataSetSwitch_data() {
    QTest::addColumn<TByteString>("Start");
    QTest::addColumn<bool>("UserTyped");
    QTest::newRow("already empty") << Bytes("") << false;
    QTest::newRow("with text") << Bytes("ab\r\n") << false;
    QTest::newRow("with typed text") << Bytes("ab\r\n") << true;
}

void TestMemo::clearingForDataSetSwitch() {
    QFETCH(TByteString, Start);
    QFETCH(bool, UserTyped);
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(Start);
    if (UserTyped)
        QTest::keyClick(F.Memo, Qt::Key_X);
    const bool WasEmpty = F.Memo->LinesText().empty();
    const bool ModifiedBefore = F.Memo->Modified();
    F.Seen.clear();
    F.Memo->SetText("");
    QCOMPARE(F.Memo->LinesText(), Bytes(""));
    QCOMPARE(F.Memo->toPlainText(), QString());
    QCOMPARE(F.Seen, WasEmpty ? QList<bool>{} : QList<bool>{false});
    QCOMPARE(F.Memo->Modified(), WasEmpty ? ModifiedBefore : false);
}

void TestMemo::bytesSurviveUnchangedAndAfterEditing_data() {
    QTest::addColumn<TByteString>("Body");
    QTest::addColumn<bool>("Edit");
    // 87 90 reads as U+2252, which encodes as 81 E0; ED 40 reads as a character that
    // encodes as FA 5C; 80 does not decode at all.
    const TByteString Mixed = Bytes("\x87\x90 a\r\n\xed\x40 b\r\n\x80 c\r\n");
    QTest::newRow("unchanged") << Mixed << false;
    QTest::newRow("edited at the end") << Mixed << true;
    QTest::newRow("lone undecodable bytes") << Bytes("\x80\xa0\xfd\r\n") << true;
    QTest::newRow("lead byte at the end") << Bytes("x\r\n\x81") << false;
}

void TestMemo::bytesSurviveUnchangedAndAfterEditing() {
    QFETCH(TByteString, Body);
    QFETCH(bool, Edit);
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(Body);
    if (!Edit) {
        QCOMPARE(F.Memo->LinesText(), Body);
        return;
    }
    F.Memo->moveCursor(QTextCursor::End);
    TypeText(F.Memo, QString::fromUtf8("日"));
    QTest::keyClicks(F.Memo, "z");
    QCOMPARE(F.Memo->LinesText(), Body + "\x93\xfa" + "z");
}

void TestMemo::fontChangeIsNoEdit() {
    TMemoFixture F;
    F.Show();
    F.Memo->SetLinesText(Bytes("ab\r\n"));
    F.Seen.clear();
    QFont Font = F.Memo->font();
    Font.setPixelSize(21);
    F.Memo->setFont(Font);
    F.Memo->resize(120, 90);
    QCoreApplication::processEvents();
    QVERIFY(F.Seen.isEmpty());
    QVERIFY(!F.Memo->Modified());
}

void TestMemo::tabMovesFocusAndScrollBarsAreFixed() {
    TMemoFixture F;
    auto* Next = new QLineEdit(&F.Window);
    Next->move(0, 160);
    F.Show();
    F.Memo->SetLinesText(Bytes("ab\r\n"));
    QTest::keyClick(F.Memo, Qt::Key_Tab);
    QTRY_VERIFY(Next->hasFocus());
    QCOMPARE(F.Memo->LinesText(), Bytes("ab\r\n"));
    QVERIFY(F.Memo->verticalScrollBar()->isVisible());
    F.Memo->SetLinesText(Bytes(std::string(400, 'w').c_str()));
    QCOMPARE(F.Memo->horizontalScrollBar()->isVisible(), false);
}

void TestMemo::pasteWithoutTextInsertsNothing_data() {
    QTest::addColumn<QString>("Source"); // what the clipboard or the source holds
    QTest::addColumn<QString>("Way");    // how it is pasted
    QTest::addColumn<TByteString>("Read");
    const TByteString Kept = Bytes("ab\r\ncd");
    QTest::newRow("empty clipboard, ctrl+v") << "cleared"
                                             << "ctrl+v" << Kept;
    QTest::newRow("empty clipboard, shift+insert") << "cleared"
                                                   << "shift+insert" << Kept;
    QTest::newRow("clipboard without text") << "binary"
                                            << "ctrl+v" << Kept;
    QTest::newRow("clipboard with html only") << "html"
                                              << "ctrl+v" << Kept;
    QTest::newRow("source with no formats") << "none"
                                            << "direct" << Kept;
    QTest::newRow("source with empty text") << "empty text"
                                            << "direct" << Kept;
    QTest::newRow("no source") << "null"
                               << "direct" << Kept;
    QTest::newRow("text is inserted plain") << "text and html"
                                            << "ctrl+v" << Bytes("ab\r\nxcd");
}

void TestMemo::pasteWithoutTextInsertsNothing() {
    QFETCH(QString, Source);
    QFETCH(QString, Way);
    QFETCH(TByteString, Read);
    QWidget Window;
    auto* Memo = new TOpenMemo(&Window);
    Memo->setGeometry(0, 0, 200, 150);
    int Changes = 0;
    Memo->OnChange = [&](TObject*) { ++Changes; };
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    Memo->setFocus();
    Memo->SetLinesText(Bytes("ab\r\ncd"));
    Changes = 0;
    QTextCursor Cursor = Memo->textCursor();
    Cursor.setPosition(3); // after the row break
    Memo->setTextCursor(Cursor);

    auto Data = std::make_unique<QMimeData>();
    if (Source == "binary")
        Data->setData("application/octet-stream", QByteArray("\x01\x02"));
    else if (Source == "html")
        Data->setHtml("<b>x</b>");
    else if (Source == "empty text")
        Data->setText(QString());
    else if (Source == "text and html") {
        Data->setHtml("<b>y</b>");
        Data->setText("x");
    }
    if (Way == "direct") {
        const QMimeData* Given = Source == "null" ? nullptr : Data.get();
        QVERIFY(!Memo->canInsertFromMimeData(Given));
        Memo->insertFromMimeData(Given);
    } else {
        if (Source == "cleared")
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setMimeData(Data.release());
        QTest::keySequence(Memo, Way == "ctrl+v" ? QKeySequence(Qt::CTRL | Qt::Key_V)
                                                 : QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    }
    QCOMPARE(Memo->LinesText(), Read);
    const bool Inserted = Read != Bytes("ab\r\ncd");
    QCOMPARE(Memo->Modified(), Inserted);
    QCOMPARE(Changes, Inserted ? 1 : 0);
}

QTEST_MAIN(TestMemo)
#include "tst_memo.moc"
