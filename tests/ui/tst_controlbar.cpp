// The data-set bar: its bands, rows and height, and the tree that follows it.
#include "Fonts.h"
#include "LayoutForm.h"
#include "SendMouse.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

class TControlBarTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TForm1> FForm;

    TControlBar* Bar() const { return FForm->ControlBar1; }
    QWidget* Button(const QString& Name) const { return FForm->findChild<QWidget*>(Name); }
    // A point on the grip of Control's band, in the bar's widget coordinates.
    QPoint Grip(const QWidget* Control) const {
        return Bar()->BandRect(Control).topLeft() + Bar()->ClientRect().topLeft() + QPoint(5, 12);
    }
    void Send(QEvent::Type Type, QPoint At, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
        SendMouse(Bar(), Type, At, Button, Buttons);
    }
    void DragBand(const QWidget* Control, QPoint By) {
        const QPoint From = Grip(Control);
        Send(QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, From + By / 2, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseMove, From + By, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, From + By, Qt::LeftButton, Qt::NoButton);
    }

private Q_SLOTS:
    void initTestCase() { TFonts::InstallSubstitutes(); }
    void init() {
        FForm = ShownLayoutForm();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    }
    void cleanup() { FForm.reset(); }

    void DesignBandsShareOneRow() {
        QCOMPARE(Bar()->RowCount(), 1);
        QCOMPARE(Bar()->height(), 30);
        QCOMPARE(Bar()->BandRect(FForm->BitBtn9), QRect(0, 0, 131, 26));
        QCOMPARE(Bar()->BandRect(FForm->BitBtn10), QRect(132, 0, 131, 26));
        QCOMPARE(FForm->BitBtn9->size(), QSize(118, 22));
    }

    void BandMoves_data() {
        QTest::addColumn<QString>("Dragged");
        QTest::addColumn<QPoint>("By");
        QTest::addColumn<int>("Rows");
        QTest::addColumn<QRect>("Band9");
        QTest::addColumn<QRect>("Band10");
        QTest::newRow("second band into a second row")
            << "BitBtn10" << QPoint(-132, 26) << 2 << QRect(0, 0, 131, 26) << QRect(0, 26, 131, 26);
        QTest::newRow("first band below, keeping its place")
            << "BitBtn9" << QPoint(0, 20) << 2 << QRect(0, 26, 131, 26) << QRect(132, 0, 131, 26);
        QTest::newRow("along the row") << "BitBtn10" << QPoint(30, 0) << 1 << QRect(0, 0, 131, 26)
                                       << QRect(162, 0, 131, 26);
        QTest::newRow("a few pixels down stays in the row")
            << "BitBtn10" << QPoint(10, 8) << 1 << QRect(0, 0, 131, 26) << QRect(142, 0, 131, 26);
        QTest::newRow("onto its neighbour pushes it along")
            << "BitBtn9" << QPoint(200, 0) << 1 << QRect(200, 0, 131, 26) << QRect(332, 0, 131, 26);
        QTest::newRow("left of the bar's edge stops at it")
            << "BitBtn10" << QPoint(-20, 0) << 1 << QRect(0, 0, 131, 26) << QRect(132, 0, 131, 26);
    }
    void BandMoves() {
        QFETCH(QString, Dragged);
        QFETCH(QPoint, By);
        QFETCH(int, Rows);
        QFETCH(QRect, Band9);
        QFETCH(QRect, Band10);
        QSignalSpy Drags(Bar(), &TControlBar::ButtonDragStarted);
        DragBand(Button(Dragged), By);
        QCOMPARE(Drags.count(), 0);
        QCOMPARE(Bar()->RowCount(), Rows);
        QCOMPARE(Bar()->BandRect(FForm->BitBtn9), Band9);
        QCOMPARE(Bar()->BandRect(FForm->BitBtn10), Band10);
        // Each button sits 11 px into its band and 2 px below its top.
        const QPoint Origin = Bar()->ClientRect().topLeft();
        QCOMPARE(FForm->BitBtn9->pos() - Origin, Band9.topLeft() + QPoint(11, 2));
        QCOMPARE(FForm->BitBtn10->pos() - Origin, Band10.topLeft() + QPoint(11, 2));
        // The bar holds its rows and the tree takes the rest of the column.
        QCOMPARE(Bar()->geometry(), QRect(1, 1, 311, Rows * 26 + 4));
        QCOMPARE(FForm->TreeView1->geometry(), QRect(1, 1 + Rows * 26 + 4, 311, 454 - Rows * 26 - 4));
    }

    void SecondRowGrowsTheBarAndShrinksTheTree() {
        const int TreeHeight = FForm->TreeView1->height();
        DragBand(FForm->BitBtn10, QPoint(0, 26));
        QCOMPARE(Bar()->height(), 56);
        QCOMPARE(FForm->TreeView1->height(), TreeHeight - 26);
        QCOMPARE(FForm->TreeView1->y(), 57);
        // Back into the first row: the bar shrinks again.
        DragBand(FForm->BitBtn10, QPoint(0, -26));
        QCOMPARE(Bar()->height(), 30);
        QCOMPARE(FForm->TreeView1->height(), TreeHeight);
    }

    void FarOutDragsTheButtonItself_data() {
        // Where the mouse goes, in client coordinates; the client area is 307 x 26.
        QTest::addColumn<QPoint>("Target");
        QTest::addColumn<int>("Drags");
        QTest::newRow("22 px below: still a band move") << QPoint(5, 25 + 22) << 0;
        QTest::newRow("23 px below") << QPoint(5, 25 + 23) << 1;
        QTest::newRow("23 px above") << QPoint(5, -23) << 1;
        QTest::newRow("22 px left: still a band move") << QPoint(-22, 12) << 0;
        QTest::newRow("23 px right") << QPoint(306 + 23, 12) << 1;
    }
    void FarOutDragsTheButtonItself() {
        QFETCH(QPoint, Target);
        QFETCH(int, Drags);
        QCOMPARE(Bar()->ClientRect().size(), QSize(307, 26));
        QSignalSpy Spy(Bar(), &TControlBar::ButtonDragStarted);
        const QPoint From = Grip(FForm->BitBtn9);
        Send(QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, Target + Bar()->ClientRect().topLeft(), Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, Target + Bar()->ClientRect().topLeft(), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(Spy.count(), Drags);
        if (Drags > 0) {
            QCOMPARE(Spy.front().front().value<QWidget*>(), static_cast<QWidget*>(FForm->BitBtn9));
            // The bands go back where they were.
            QCOMPARE(Bar()->BandRect(FForm->BitBtn9), QRect(0, 0, 131, 26));
            QCOMPARE(Bar()->BandRect(FForm->BitBtn10), QRect(132, 0, 131, 26));
            QCOMPARE(Bar()->height(), 30);
        }
    }

    void DoubleClickOnTheMarginDragsTheButton() {
        QSignalSpy Spy(Bar(), &TControlBar::ButtonDragStarted);
        const QPoint At = Grip(FForm->BitBtn10);
        Send(QEvent::MouseButtonDblClick, At, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(Spy.count(), 1);
        QCOMPARE(Spy.front().front().value<QWidget*>(), static_cast<QWidget*>(FForm->BitBtn10));
        // A double-click on the bar outside every band starts nothing.
        Send(QEvent::MouseButtonDblClick, QPoint(300, 12), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(Spy.count(), 1);
    }
};

QTEST_MAIN(TControlBarTest)
#include "tst_controlbar.moc"
