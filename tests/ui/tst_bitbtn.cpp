// The self-drawn buttons: the picture's transparent colour, the pressed offset, the
// picture count, the focus frame and the three ways to click.
#include "FakeDialogs.h"
#include "Fonts.h"
#include "Unit1.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
// A 31 x 29 picture: a frame of Ink on Background, with Background in the bottom-left corner.
QImage TwoColourPicture(const QColor& Background, const QColor& Ink) {
    QImage Image(31, 29, QImage::Format_RGB32);
    Image.fill(Background);
    for (int X = 5; X < 26; ++X) {
        for (int Y = 5; Y < 24; ++Y) {
            if (X < 8 || X > 22 || Y < 8 || Y > 20) {
                Image.setPixelColor(X, Y, Ink);
            }
        }
    }
    return Image;
}

// Where a picture of Size lands in a button of ButtonSize: centred, 1 px right and down when pressed.
QPoint PictureOrigin(QSize ButtonSize, QSize Size, bool Down) {
    return QPoint((ButtonSize.width() - Size.width()) / 2, (ButtonSize.height() - Size.height()) / 2) +
           (Down ? QPoint(1, 1) : QPoint(0, 0));
}
} // namespace

class TBitBtnTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TFonts::InstallSubstitutes(); }

    void CreditsPictureHidesItsGreen_data() {
        QTest::addColumn<bool>("Down");
        QTest::newRow("released") << false;
        QTest::newRow("pressed") << true;
    }
    void CreditsPictureHidesItsGreen() {
        QFETCH(bool, Down);
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        Form.show();
        TBitBtn* Button = Form.BitBtn5;
        const QImage Picture = Button->GlyphImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(Picture.size(), QSize(31, 29));
        QCOMPARE(Picture.pixelColor(0, 28), QColor(0, 255, 0));
        Button->setDown(Down);
        const QImage Drawn = Button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // The same button without its picture shows the bare face.
        Button->SetGlyph(QImage());
        const QImage Face = Button->grab().toImage().convertToFormat(QImage::Format_RGB32);

        const QPoint Origin = PictureOrigin(Button->size(), Picture.size(), Down);
        int Green = 0;
        for (int Y = 0; Y < Picture.height(); ++Y) {
            for (int X = 0; X < Picture.width(); ++X) {
                const QPoint At = Origin + QPoint(X, Y);
                if (Picture.pixel(X, Y) == qRgb(0, 255, 0)) {
                    ++Green;
                    QCOMPARE(Drawn.pixel(At), Face.pixel(At));
                } else {
                    QCOMPARE(Drawn.pixel(At), Picture.pixel(X, Y));
                }
            }
        }
        QVERIFY(Green > 300);
        QVERIFY(Green < 31 * 29 - 100);
    }

    void TransparentColourIsTheBottomLeftPixel_data() {
        QTest::addColumn<QColor>("Background");
        QTest::addColumn<QColor>("Ink");
        QTest::newRow("green background") << QColor(0, 255, 0) << QColor(255, 0, 255);
        QTest::newRow("magenta background, green ink") << QColor(255, 0, 255) << QColor(0, 255, 0);
        QTest::newRow("white background, black ink") << QColor(255, 255, 255) << QColor(0, 0, 0);
    }
    void TransparentColourIsTheBottomLeftPixel() {
        QFETCH(QColor, Background);
        QFETCH(QColor, Ink);
        TBitBtn Bare;
        Bare.resize(65, 33);
        const QImage Face = Bare.grab().toImage().convertToFormat(QImage::Format_RGB32);
        TBitBtn Button;
        Button.resize(65, 33);
        Button.SetGlyph(TwoColourPicture(Background, Ink));
        const QImage Drawn = Button.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint Origin = PictureOrigin(Button.size(), QSize(31, 29), false);
        const QPoint Background0 = Origin + QPoint(1, 1);
        const QPoint Ink0 = Origin + QPoint(6, 6);
        QCOMPARE(Drawn.pixel(Background0), Face.pixel(Background0));
        QCOMPARE(Drawn.pixelColor(Ink0), Ink);
    }

    void PictureCountFollowsTheShape_data() {
        QTest::addColumn<QSize>("Size");
        QTest::addColumn<int>("Count");
        QTest::newRow("31 x 29") << QSize(31, 29) << 1;
        QTest::newRow("square") << QSize(16, 16) << 1;
        QTest::newRow("two") << QSize(32, 16) << 2;
        QTest::newRow("three") << QSize(48, 16) << 3;
        QTest::newRow("four") << QSize(64, 16) << 4;
        QTest::newRow("five is one") << QSize(80, 16) << 1;
        QTest::newRow("taller than wide") << QSize(16, 32) << 1;
    }
    void PictureCountFollowsTheShape() {
        QFETCH(QSize, Size);
        QFETCH(int, Count);
        QImage Image(Size, QImage::Format_RGB32);
        Image.fill(Qt::green);
        TBitBtn Button;
        Button.SetGlyph(Image);
        QCOMPARE(Button.NumGlyphs(), Count);
    }

    void ButtonClicks_data() {
        QTest::addColumn<int>("Key"); // 0: the mouse
        QTest::newRow("mouse") << 0;
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void ButtonClicks() {
        QFETCH(int, Key);
        // The clicks run the buttons' commands: credits, then a data-set switch that asks
        // to save the entry just added and finds no data file in this empty folder.
        QTemporaryDir Scratch;
        const QString Previous = QDir::currentPath();
        QDir::setCurrent(Scratch.path());
        TFakeDialogs Dialogs;
        Dialogs.Expect(TDialogs::IDOK);
        Dialogs.Expect(TDialogs::IDNO);
        Dialogs.Expect(TDialogs::IDOK);
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        Form.show();
        QApplication::setActiveWindow(&Form);
        QVERIFY(QTest::qWaitForWindowActive(&Form));
        for (TBitBtn* Button : {Form.BitBtn1, Form.BitBtn5, Form.BitBtn10}) {
            QSignalSpy Clicked(Button, &QAbstractButton::clicked);
            if (Key == 0) {
                QTest::mouseClick(Button, Qt::LeftButton, {}, QPoint(20, 10));
            } else {
                Button->setFocus();
                QTest::keyClick(Button, Qt::Key(Key));
            }
            QCOMPARE(Clicked.count(), 1);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Button));
        }
        // Other keys do not click.
        QSignalSpy Clicked(Form.BitBtn1, &QAbstractButton::clicked);
        Form.BitBtn1->setFocus();
        QTest::keyClick(Form.BitBtn1, Qt::Key_A);
        QTest::keyClick(Form.BitBtn1, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(Clicked.count(), 0);
        QCOMPARE(Dialogs.Boxes.size(), std::size_t(3));
        QDir::setCurrent(Previous);
    }

    void FocusedButtonHasAFrame() {
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        Form.show();
        QApplication::setActiveWindow(&Form);
        QVERIFY(QTest::qWaitForWindowActive(&Form));
        TBitBtn* Button = Form.BitBtn4;
        const QRgb Frame = Button->palette().color(QPalette::Shadow).rgb();
        const QImage Unfocused = Button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(Unfocused.pixel(0, 16) != Frame || Unfocused.pixel(64, 16) != Frame);
        Button->setFocus();
        const QImage Focused = Button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (QPoint At : {QPoint(0, 0), QPoint(64, 0), QPoint(0, 32), QPoint(64, 32), QPoint(0, 16), QPoint(32, 32)}) {
            QCOMPARE(Focused.pixel(At), Frame);
        }
        // The dotted rectangle 4 px inside the edge: every other pixel of its top edge is a dot.
        const QRgb Dot = Button->palette().color(QPalette::WindowText).rgb();
        int Dots = 0;
        for (int X = 6; X < 58; ++X) {
            if (Focused.pixel(X, 4) == Dot) {
                ++Dots;
                QVERIFY(Focused.pixel(X + 1, 4) != Dot);
            }
            QVERIFY(Focused.pixel(X, 3) != Dot);
            QVERIFY(Unfocused.pixel(X, 4) != Dot);
        }
        QVERIFY2(Dots >= 20 && Dots <= 32, qPrintable(QString::number(Dots)));
    }
};

QTEST_MAIN(TBitBtnTest)
#include "tst_bitbtn.moc"
