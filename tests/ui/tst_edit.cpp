// The single-line fields: byte-exact texts, the select-all rule, height, hidden selection, clicks.
#include "ByteData.h"
#include "Edit.h"
#include "Guard.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QtTest>

namespace {

// A field and a second widget to take the focus from it.
struct TEditFixture {
    QWidget Window;
    TEdit* Edit = new TEdit(&Window);
    QLineEdit* Other = new QLineEdit(&Window);

    TEditFixture() {
        Other->setGeometry(0, 0, 200, 21);
        Edit->setGeometry(0, 30, 200, 21);
        QWidget::setTabOrder(Other, Edit);
        Window.resize(220, 80);
        Window.show();
        if (!QTest::qWaitForWindowExposed(&Window))
            qWarning("window not exposed");
        Window.activateWindow();
        Other->setFocus();
    }
};

int CountPixels(const QImage& Shot, const QColor& Colour) {
    int Count = 0;
    for (int Y = 0; Y < Shot.height(); ++Y)
        for (int X = 0; X < Shot.width(); ++X)
            Count += Shot.pixelColor(X, Y) == Colour;
    return Count;
}

} // namespace

class TestEdit : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TErrorReporter::SetHandler([](const std::exception& Error) { QFAIL(Error.what()); });
    }

    void bytesSurviveRoundTrip_data();
    void bytesSurviveRoundTrip();
    void focusSelectsAllButNotForLeftClick_data();
    void focusSelectsAllButNotForLeftClick();
    void longTextShowsItsBeginning();
    void heightFollowsFont_data();
    void heightFollowsFont();
    void selectionHiddenWithoutFocus();
    void clickIsReported_data();
    void clickIsReported();
    void pasteWithoutTextKeepsTheField_data();
    void pasteWithoutTextKeepsTheField();
};

void TestEdit::bytesSurviveRoundTrip_data() {
    QTest::addColumn<TByteString>("Title");
    QTest::addColumn<QString>("Edit");
    QTest::addColumn<TByteString>("Read");
    // 87 90 and ED 40 read as characters that encode to other bytes (81 E0, FA 5C);
    // 80 reads as nothing at all.
    const TByteString Title = Bytes("\x87\x90-\xed\x40-\x80-abc");
    QTest::newRow("unchanged") << Title << "" << Title;
    QTest::newRow("appended") << Title << "end" << Title + "!";
    QTest::newRow("prepended") << Title << "home" << Bytes("!") + Title;
    QTest::newRow("middle letter replaced") << Title << "replace-b" << Bytes("\x87\x90-\xed\x40-\x80-a!c");
    QTest::newRow("undecodable kept beside an edit") << Bytes("\x80\xfd\xff") << "end" << Bytes("\x80\xfd\xff!");
    QTest::newRow("plain ascii") << Bytes("abc") << "end" << Bytes("abc!");
    QTest::newRow("typed and deleted again") << Title << "type-delete" << Title;
}

void TestEdit::bytesSurviveRoundTrip() {
    QFETCH(TByteString, Title);
    QFETCH(QString, Edit);
    QFETCH(TByteString, Read);
    TEditFixture F;
    F.Edit->SetText(Title);
    F.Edit->setFocus();
    if (Edit == "end") {
        QTest::keyClick(F.Edit, Qt::Key_End);
        QTest::keyClicks(F.Edit, "!");
    } else if (Edit == "home") {
        QTest::keyClick(F.Edit, Qt::Key_Home);
        QTest::keyClicks(F.Edit, "!");
    } else if (Edit == "replace-b") {
        F.Edit->setSelection(F.Edit->text().indexOf(u'b'), 1);
        QTest::keyClicks(F.Edit, "!");
    } else if (Edit == "type-delete") {
        QTest::keyClick(F.Edit, Qt::Key_End);
        QTest::keyClicks(F.Edit, "!");
        QTest::keyClick(F.Edit, Qt::Key_Backspace);
    }
    QCOMPARE(F.Edit->Text(), Read);
}

void TestEdit::focusSelectsAllButNotForLeftClick_data() {
    QTest::addColumn<QString>("How");
    QTest::addColumn<bool>("AllSelected");
    QTest::newRow("tab") << "tab" << true;
    QTest::newRow("backtab") << "backtab" << true;
    QTest::newRow("program") << "program" << true;
    QTest::newRow("left button") << "left" << false;
    QTest::newRow("right button") << "right" << true;
    QTest::newRow("window activated again") << "reactivate" << false;
}

void TestEdit::focusSelectsAllButNotForLeftClick() {
    QFETCH(QString, How);
    QFETCH(bool, AllSelected);
    TEditFixture F;
    F.Edit->SetText(Bytes("some title"));
    F.Edit->deselect();
    QVERIFY(!F.Edit->hasFocus());
    if (How == "tab") {
        QTest::keyClick(F.Other, Qt::Key_Tab);
    } else if (How == "backtab") {
        F.Edit->setFocus();
        F.Other->setFocus();
        F.Edit->deselect();
        QWidget::setTabOrder(F.Edit, F.Other);
        QTest::keyClick(F.Other, Qt::Key_Backtab);
    } else if (How == "program") {
        F.Edit->setFocus();
    } else if (How == "left") {
        QTest::mouseClick(F.Edit, Qt::LeftButton, {}, QPoint(20, 10));
    } else if (How == "right") {
        QTest::mousePress(F.Edit, Qt::RightButton, {}, QPoint(20, 10));
        QTest::mouseRelease(F.Edit, Qt::RightButton, {}, QPoint(20, 10));
    } else if (How == "reactivate") {
        // The field had the focus, the user went to another window and comes back.
        F.Edit->setFocus();
        QTRY_VERIFY(F.Edit->hasFocus());
        F.Edit->setCursorPosition(4);
        QWidget Elsewhere;
        Elsewhere.resize(100, 50);
        Elsewhere.show();
        Elsewhere.activateWindow();
        QTRY_VERIFY(Elsewhere.isActiveWindow());
        QTRY_VERIFY(!F.Edit->hasFocus());
        F.Window.activateWindow();
        QTRY_VERIFY(F.Window.isActiveWindow());
        QTRY_VERIFY(F.Edit->hasFocus());
        QCOMPARE(F.Edit->cursorPosition(), 4);
    }
    QTRY_VERIFY(F.Edit->hasFocus());
    QCOMPARE(F.Edit->selectedText() == F.Edit->text(), AllSelected);
    QCOMPARE(F.Edit->hasSelectedText(), AllSelected);
    // Selected all, the field still shows the text's beginning.
    if (AllSelected)
        QCOMPARE(F.Edit->cursorPosition(), 0);
}

void TestEdit::longTextShowsItsBeginning() {
    TEditFixture F;
    const TByteString Long = Bytes("Beginning ") + TByteString(300, 'x') + Bytes(" end");
    F.Edit->SetText(Long);
    QCOMPARE(F.Edit->cursorPosition(), 0);
    // The first character is drawn at the field's left, whatever its width.
    const int Left = F.Edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left();
    F.Edit->resize(60, F.Edit->height());
    QCOMPARE(F.Edit->cursorPosition(), 0);
    QVERIFY(F.Edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() <= Left);
    QVERIFY(F.Edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 10);
    QTest::keyClick(F.Other, Qt::Key_Tab);
    QTRY_VERIFY(F.Edit->hasFocus());
    QCOMPARE(F.Edit->selectedText(), F.Edit->text());
    QVERIFY(F.Edit->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() < 10);
}

void TestEdit::heightFollowsFont_data() {
    QTest::addColumn<int>("PixelSize");
    QTest::addColumn<int>("Height");
    QTest::newRow("13 px") << 13 << 21;
    QTest::newRow("12 px") << 12 << 20;
    QTest::newRow("20 px") << 20 << 28;
}

void TestEdit::heightFollowsFont() {
    QFETCH(int, PixelSize);
    QFETCH(int, Height);
    TEdit Edit;
    Edit.setGeometry(0, 22, 511, 40);
    QFont Font = Edit.font();
    Font.setPixelSize(PixelSize);
    Edit.setFont(Font);
    QCOMPARE(Edit.height(), Height);
    Edit.setGeometry(0, 22, 511, 40);
    QCOMPARE(Edit.height(), Height);
}

void TestEdit::selectionHiddenWithoutFocus() {
    TEditFixture F;
    F.Edit->SetText(Bytes("WWWWWWWW"));
    QPalette Colours = F.Edit->palette();
    Colours.setColor(QPalette::Text, Qt::magenta); // as the window sets the field's colour
    F.Edit->setPalette(Colours);
    F.Edit->selectAll();
    QVERIFY(!F.Edit->hasFocus());
    const QColor Highlight = QApplication::palette(F.Edit).color(QPalette::Active, QPalette::Highlight);
    QCOMPARE(CountPixels(F.Edit->grab().toImage(), Highlight), 0);
    // With the focus the same selection shows.
    F.Edit->setFocus();
    F.Edit->selectAll();
    QTRY_VERIFY(F.Edit->hasFocus());
    QVERIFY(CountPixels(F.Edit->grab().toImage(), Highlight) > 0);
    QCOMPARE(F.Edit->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::magenta));
}

void TestEdit::clickIsReported_data() {
    QTest::addColumn<Qt::MouseButton>("Button");
    QTest::addColumn<int>("Clicks");
    QTest::newRow("left") << Qt::LeftButton << 1;
    QTest::newRow("right") << Qt::RightButton << 0;
}

void TestEdit::clickIsReported() {
    QFETCH(Qt::MouseButton, Button);
    QFETCH(int, Clicks);
    TEditFixture F;
    int Reported = 0;
    F.Edit->OnClick = [&](TObject* Sender) {
        QCOMPARE_EQ(Sender, static_cast<TObject*>(F.Edit));
        ++Reported;
    };
    QSignalSpy Signal(F.Edit, &TEdit::clicked);
    QTest::mouseClick(F.Edit, Button, {}, QPoint(10, 10));
    F.Edit->setFocus();
    QTest::keyClicks(F.Edit, "typing is no click");
    QCOMPARE(Reported, Clicks);
    QCOMPARE(Signal.count(), Clicks);
}

void TestEdit::pasteWithoutTextKeepsTheField_data() {
    QTest::addColumn<QString>("Clipboard"); // "": cleared; "no text": only a binary format
    QTest::addColumn<QKeySequence>("Keys");
    QTest::addColumn<QString>("Shown");
    const QKeySequence CtrlV(Qt::CTRL | Qt::Key_V);
    const QKeySequence ShiftInsert(Qt::SHIFT | Qt::Key_Insert);
    QTest::newRow("empty clipboard, ctrl+v") << "" << CtrlV << "title";
    QTest::newRow("empty clipboard, shift+insert") << "" << ShiftInsert << "title";
    QTest::newRow("clipboard without text") << "no text" << CtrlV << "title";
    QTest::newRow("text replaces the selection") << "pasted" << CtrlV << "pasted";
}

void TestEdit::pasteWithoutTextKeepsTheField() {
    QFETCH(QString, Clipboard);
    QFETCH(QKeySequence, Keys);
    QFETCH(QString, Shown);
    TEditFixture F;
    F.Edit->SetText("title");
    if (Clipboard.isEmpty()) {
        QGuiApplication::clipboard()->clear();
    } else if (Clipboard == "no text") {
        auto* Binary = new QMimeData;
        Binary->setData("application/octet-stream", QByteArray("\x01\x02"));
        QGuiApplication::clipboard()->setMimeData(Binary);
    } else {
        QGuiApplication::clipboard()->setText(Clipboard);
    }
    F.Edit->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(F.Edit->hasFocus());
    QCOMPARE(F.Edit->selectedText(), "title");
    QTest::keySequence(F.Edit, Keys);
    QCOMPARE(F.Edit->text(), Shown);
    QCOMPARE(F.Edit->Text(), TByteString(Shown.toStdString()));
    if (Shown == "title")
        QCOMPARE(F.Edit->selectedText(), "title");
}

QTEST_MAIN(TestEdit)
#include "tst_edit.moc"
