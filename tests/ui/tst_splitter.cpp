// Dragging the splitter between the outline and the editor: the new width, the snap,
// the limit that keeps the centre column, Esc, and the inverted preview line.
#include "Fonts.h"
#include "LayoutForm.h"
#include "SendMouse.h"

#include <QApplication>
#include <QTest>

#include <memory>

class TSplitterTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> FForm;

    // Mouse events straight to the splitter, in its own coordinates (it keeps the
    // mouse while the button is held, wherever the pointer goes).
    void Send(QEvent::Type Type, int X, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
        SendMouse(FForm->Splitter1, Type, QPointF(X, 100), Button, Buttons);
    }
    void Press() { Send(QEvent::MouseButtonPress, 1, Qt::LeftButton, Qt::LeftButton); }
    void MoveBy(int Dx) { Send(QEvent::MouseMove, 1 + Dx, Qt::NoButton, Qt::LeftButton); }
    void ReleaseAt(int Dx) { Send(QEvent::MouseButtonRelease, 1 + Dx, Qt::LeftButton, Qt::NoButton); }
    void Drag(int Dx) {
        Press();
        MoveBy(Dx / 2);
        MoveBy(Dx);
        ReleaseAt(Dx);
    }

private Q_SLOTS:
    void initTestCase() { TFonts::InstallSubstitutes(); }
    void init() {
        FForm = ShownLayoutForm();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    }
    void cleanup() { FForm.reset(); }

    void DragSetsTheLeftColumnWidth_data() {
        QTest::addColumn<int>("Dx");
        QTest::addColumn<int>("PreviewLeft");
        QTest::addColumn<int>("Panel1Width");
        QTest::newRow("wider") << 100 << 413 << 413;
        QTest::newRow("narrower") << -200 << 113 << 113;
        QTest::newRow("just above the snap") << -262 << 51 << 51;
        QTest::newRow("at the snap width") << -263 << 50 << 42;
        QTest::newRow("past the snap") << -290 << 50 << 42;
        QTest::newRow("far left") << -2000 << 50 << 42;
        // Client 692 - 50 - (313 + 2 + 89) + 313 = 551: the centre column keeps 50 px.
        QTest::newRow("to the limit") << 238 << 551 << 551;
        QTest::newRow("past the limit") << 600 << 551 << 551;
    }
    void DragSetsTheLeftColumnWidth() {
        QFETCH(int, Dx);
        QFETCH(int, PreviewLeft);
        QFETCH(int, Panel1Width);
        Press();
        MoveBy(Dx);
        QVERIFY(FForm->Splitter1->PreviewVisible());
        QCOMPARE(FForm->Splitter1->PreviewLeft(), PreviewLeft);
        // Nothing moves before the release.
        QCOMPARE(FForm->Panel1->width(), 313);
        ReleaseAt(Dx);
        QVERIFY(!FForm->Splitter1->PreviewVisible());
        QCOMPARE(FForm->Panel1->width(), Panel1Width);
        QCOMPARE(FForm->Splitter1->x(), Panel1Width);
        QCOMPARE(FForm->Panel3->geometry(), QRect(Panel1Width + 2, 0, 692 - Panel1Width - 2 - 89, 456));
        QCOMPARE(FForm->TreeView1->width(), Panel1Width - 2);
        QCOMPARE(FForm->Panel2->x(), 603);
        QCOMPARE(FForm->minimumWidth(), Panel1Width + 2 + 89 + 42);
    }

    void ShutColumnOpensAgain() {
        Drag(-300);
        QCOMPARE(FForm->Panel1->width(), 42);
        QCOMPARE(FForm->TreeView1->width(), 40);
        Drag(100);
        QCOMPARE(FForm->Panel1->width(), 142);
        QCOMPARE(FForm->Splitter1->x(), 142);
    }

    void EscapeCancelsTheDrag() {
        QApplication::setActiveWindow(FForm.get());
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        Press();
        MoveBy(-150);
        QVERIFY(FForm->Splitter1->PreviewVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!FForm->Splitter1->PreviewVisible());
        QVERIFY(!FForm->Splitter1->Dragging());
        MoveBy(-100);
        ReleaseAt(-100);
        QVERIFY(!FForm->Splitter1->PreviewVisible());
        QCOMPARE(FForm->Panel1->width(), 313);
        QCOMPARE(FForm->Panel3->width(), 288);
        // The next drag works as usual.
        Drag(20);
        QCOMPARE(FForm->Panel1->width(), 333);
    }

    void PreviewLineInvertsEveryOtherPixel() {
        const QImage Before = FForm->grab().toImage().convertToFormat(QImage::Format_RGB32);
        Press();
        MoveBy(-100);
        const QImage During = FForm->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int Left = FForm->Splitter1->PreviewLeft();
        QCOMPARE(Left, 213);
        int Inverted = 0;
        for (int Y = 40; Y < 400; ++Y) {
            for (int X = Left; X < Left + 2; ++X) {
                const QRgb Old = Before.pixel(X, Y);
                const QRgb Now = During.pixel(X, Y);
                const QRgb Flipped = qRgb(255 - qRed(Old), 255 - qGreen(Old), 255 - qBlue(Old));
                if (Now == Flipped) {
                    ++Inverted;
                    // A checker: the neighbours on the line are left as they were.
                    QCOMPARE(During.pixel(X + (X == Left ? 1 : -1), Y), Before.pixel(X + (X == Left ? 1 : -1), Y));
                } else {
                    QCOMPARE(Now, Old);
                }
            }
        }
        QCOMPARE(Inverted, 360);
        // Outside the line nothing changed.
        QCOMPARE(During.copy(0, 0, Left, 456), Before.copy(0, 0, Left, 456));
        ReleaseAt(-100);
    }

    void PressWithoutMoveKeepsTheWidth() {
        Press();
        ReleaseAt(0);
        QCOMPARE(FForm->Panel1->width(), 313);
    }

    void SplitterShowsTheResizeCursor() { QCOMPARE(FForm->Splitter1->cursor().shape(), Qt::SplitHCursor); }
};

QTEST_MAIN(TSplitterTest)
#include "tst_splitter.moc"
