// The main window's layout: bounds at the design and default sizes, resizing, the
// minimum width, the tab order, the fonts and the caption colours.
#include "BitBtn.h"
#include "ControlBar.h"
#include "Fonts.h"
#include "LayoutForm.h"
#include "Panel.h"
#include "Unit1.h"

#include <QApplication>
#include <QRawFont>
#include <QTest>
#include <QTextLayout>

#include <array>
#include <cmath>

namespace {
const char* const Buttons[] = {"BitBtn1", "BitBtn2", "BitBtn3", "BitBtn7", "BitBtn8",
                               "BitBtn4", "BitBtn6", "BitBtn5", "BitBtn9", "BitBtn10"};

QRect BoundsOf(const TForm1& Form, const QString& Name) {
    const QWidget* Control = Form.findChild<QWidget*>(Name);
    if (Control == nullptr) {
        return {};
    }
    QRect R = Control->geometry();
    // The bar's buttons are placed in its client area, inside its frame.
    if (const auto* Bar = qobject_cast<const TControlBar*>(Control->parentWidget())) {
        R.translate(-Bar->ClientRect().topLeft());
    }
    return R;
}
} // namespace

class TLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TFonts::InstallSubstitutes(); }

    void BoundsFollowTheClientWidth_data() {
        QTest::addColumn<int>("ClientWidth");
        QTest::addColumn<QString>("Name");
        QTest::addColumn<QRect>("Bounds");
        struct TRow {
            const char* Name;
            QRect At920;
            QRect At692;
        };
        const TRow Rows[] = {
            {"Panel1", {0, 0, 313, 456}, {0, 0, 313, 456}},    {"Splitter1", {313, 0, 2, 456}, {313, 0, 2, 456}},
            {"Panel2", {831, 0, 89, 456}, {603, 0, 89, 456}},  {"Panel3", {315, 0, 516, 456}, {315, 0, 288, 456}},
            {"ControlBar1", {1, 1, 311, 30}, {1, 1, 311, 30}}, {"TreeView1", {1, 31, 311, 424}, {1, 31, 311, 424}},
            {"Panel4", {1, 1, 514, 44}, {1, 1, 286, 44}},      {"Edit2", {0, 0, 511, 21}, {0, 0, 283, 21}},
            {"Edit1", {0, 22, 511, 21}, {0, 22, 283, 21}},     {"Memo1", {1, 45, 514, 410}, {1, 45, 286, 410}},
            {"BitBtn9", {11, 2, 118, 22}, {11, 2, 118, 22}},   {"BitBtn10", {143, 2, 118, 22}, {143, 2, 118, 22}},
            {"BitBtn1", {11, 14, 65, 33}, {11, 14, 65, 33}},   {"BitBtn2", {11, 54, 65, 33}, {11, 54, 65, 33}},
            {"BitBtn3", {11, 94, 65, 33}, {11, 94, 65, 33}},   {"BitBtn7", {11, 206, 65, 33}, {11, 206, 65, 33}},
            {"BitBtn8", {11, 246, 65, 33}, {11, 246, 65, 33}}, {"BitBtn4", {11, 310, 65, 33}, {11, 310, 65, 33}},
            {"BitBtn6", {11, 350, 65, 33}, {11, 350, 65, 33}}, {"BitBtn5", {11, 392, 65, 33}, {11, 392, 65, 33}},
        };
        for (const TRow& Row : Rows) {
            QTest::addRow("%s at 920", Row.Name) << 920 << QString::fromLatin1(Row.Name) << Row.At920;
            QTest::addRow("%s at 692", Row.Name) << 692 << QString::fromLatin1(Row.Name) << Row.At692;
        }
    }
    void BoundsFollowTheClientWidth() {
        QFETCH(int, ClientWidth);
        QFETCH(QString, Name);
        QFETCH(QRect, Bounds);
        auto Form = ShownLayoutForm(ClientWidth);
        QCOMPARE(Form->size(), QSize(ClientWidth, 456));
        QCOMPARE(BoundsOf(*Form, Name), Bounds);
    }

    void DesignBoundsHoldBeforeTheWindowIsShown() {
        // The creation handler runs before show(): the layout must already be placed.
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        QCOMPARE(Form.size(), QSize(920, 456));
        QCOMPARE(BoundsOf(Form, "Memo1"), QRect(1, 45, 514, 410));
        QCOMPARE(BoundsOf(Form, "Panel2"), QRect(831, 0, 89, 456));
        QCOMPARE(Form.Width(), 928);
        QCOMPARE(Form.Height(), 483);
        QCOMPARE(Form.Left(), 54);
        QCOMPARE(Form.Top(), 42);
    }

    void ResizingChangesOnlyTheCentreColumn_data() {
        QTest::addColumn<QSize>("Client");
        QTest::newRow("narrowest") << QSize(446, 456);
        QTest::newRow("narrow") << QSize(500, 456);
        QTest::newRow("default") << QSize(692, 456);
        QTest::newRow("wide") << QSize(1400, 456);
        QTest::newRow("wide and tall") << QSize(1000, 700);
        QTest::newRow("short") << QSize(692, 200);
    }
    void ResizingChangesOnlyTheCentreColumn() {
        QFETCH(QSize, Client);
        auto Form = ShownLayoutForm(920);
        std::vector<QRect> ButtonsBefore;
        for (const char* Name : Buttons) {
            ButtonsBefore.push_back(BoundsOf(*Form, Name));
        }
        Form->resize(Client);
        const int H = Client.height();
        const int Centre = Client.width() - 313 - 2 - 89;
        QCOMPARE(Form->Panel1->geometry(), QRect(0, 0, 313, H));
        QCOMPARE(Form->Splitter1->geometry(), QRect(313, 0, 2, H));
        QCOMPARE(Form->Panel2->geometry(), QRect(Client.width() - 89, 0, 89, H));
        QCOMPARE(BoundsOf(*Form, "Panel3"), QRect(315, 0, Centre, H));
        QCOMPARE(BoundsOf(*Form, "Panel4"), QRect(1, 1, Centre - 2, 44));
        QCOMPARE(BoundsOf(*Form, "Edit1"), QRect(0, 22, Centre - 5, 21));
        QCOMPARE(BoundsOf(*Form, "Edit2"), QRect(0, 0, Centre - 5, 21));
        QCOMPARE(BoundsOf(*Form, "Memo1"), QRect(1, 45, Centre - 2, H - 46));
        QCOMPARE(BoundsOf(*Form, "ControlBar1"), QRect(1, 1, 311, 30));
        QCOMPARE(BoundsOf(*Form, "TreeView1"), QRect(1, 31, 311, H - 32));
        for (std::size_t I = 0; I < std::size(Buttons); ++I) {
            QCOMPARE(BoundsOf(*Form, Buttons[I]), ButtonsBefore[I]);
        }
    }

    void WindowCannotBeNarrowerThanItsColumns() {
        auto Form = ShownLayoutForm(692);
        QCOMPARE(Form->minimumWidth(), 313 + 2 + 89 + 42);
        Form->resize(300, 456);
        QCOMPARE(Form->width(), 446);
        QCOMPARE(Form->Panel3->width(), 42);
        QCOMPARE(BoundsOf(*Form, "Memo1"), QRect(1, 45, 40, 410));
        QCOMPARE(Form->Panel2->x(), 446 - 89);
    }

    void MinimumWidthFollowsTheLeftColumn() {
        auto Form = ShownLayoutForm(692);
        Form->Panel1->resize(120, 456);
        TDockLayout::Of(Form.get())->AlignControls();
        QCOMPARE(Form->minimumWidth(), 120 + 2 + 89 + 42);
        QCOMPARE(Form->Splitter1->x(), 120);
        QCOMPARE(Form->Panel3->geometry(), QRect(122, 0, 692 - 122 - 89, 456));
    }

    void FirstFocusIsTheTree() {
        auto Form = ShownLayoutForm(692);
        QApplication::setActiveWindow(Form.get());
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Form->TreeView1));
    }

    void TabCyclesThroughTheControls_data() {
        QTest::addColumn<bool>("Backwards");
        QTest::newRow("Tab") << false;
        QTest::newRow("Shift+Tab") << true;
    }
    void TabCyclesThroughTheControls() {
        QFETCH(bool, Backwards);
        auto Form = ShownLayoutForm(692);
        QApplication::setActiveWindow(Form.get());
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        std::vector<QString> Order = {"TreeView1", "BitBtn9", "BitBtn10", "BitBtn1", "BitBtn2", "BitBtn3", "BitBtn7",
                                      "BitBtn8",   "BitBtn4", "BitBtn6",  "BitBtn5", "Edit1",   "Edit2",   "Memo1"};
        if (Backwards) {
            std::reverse(Order.begin() + 1, Order.end());
        }
        QCOMPARE(QApplication::focusWidget()->objectName(), Order.front());
        // Two full rounds: the last control leads back to the first.
        for (std::size_t Step = 1; Step <= 2 * Order.size(); ++Step) {
            QTest::keyClick(QApplication::focusWidget(), Backwards ? Qt::Key_Backtab : Qt::Key_Tab,
                            Backwards ? Qt::ShiftModifier : Qt::NoModifier);
            QCOMPARE(QApplication::focusWidget()->objectName(), Order[Step % Order.size()]);
        }
    }

    void PanelsAndBarNeverTakeTheFocus() {
        auto Form = ShownLayoutForm(692);
        for (QWidget* W : std::initializer_list<QWidget*>{Form->Panel1, Form->Panel2, Form->Panel3, Form->Panel4,
                                                          Form->ControlBar1, Form->Splitter1}) {
            QTest::mouseClick(W, Qt::LeftButton, {}, QPoint(W->width() / 2, W->height() - 1));
            QVERIFY2(QApplication::focusWidget() != W, qPrintable(W->objectName()));
        }
    }

    void CaptionsRenderInAProportionalJapaneseFace_data() {
        QTest::addColumn<QString>("Name");
        QTest::addColumn<int>("PixelSize");
        QTest::newRow("window") << "Form1" << 12;
        QTest::newRow("data-set button") << "BitBtn9" << 12;
        QTest::newRow("command button") << "BitBtn3" << 12;
        QTest::newRow("tree") << "TreeView1" << 13;
        QTest::newRow("title field") << "Edit1" << 13;
        QTest::newRow("level field") << "Edit2" << 13;
        QTest::newRow("editor") << "Memo1" << 13;
    }
    void CaptionsRenderInAProportionalJapaneseFace() {
        QFETCH(QString, Name);
        QFETCH(int, PixelSize);
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        const QWidget* Control = Name == "Form1" ? &Form : Form.findChild<QWidget*>(Name);
        QVERIFY(Control != nullptr);
        const QFont Font = Control->font();
        QCOMPARE(Font.pixelSize(), PixelSize);
        QCOMPARE(QFontInfo(Font).family(), TFonts::SubstituteName());

        // The glyphs really come from the substitute, not from a fallback face.
        QTextLayout Layout(QStringLiteral("類型別要件事実ノート"), Font);
        Layout.beginLayout();
        Layout.createLine();
        Layout.endLayout();
        const QList<QGlyphRun> Runs = Layout.glyphRuns();
        QVERIFY(!Runs.isEmpty());
        for (const QGlyphRun& Run : Runs) {
            QCOMPARE(Run.rawFont().familyName().toLower(), TFonts::SubstituteName().toLower());
            for (quint32 Glyph : Run.glyphIndexes()) {
                QVERIFY(Glyph != 0); // 0 is the missing-glyph box
            }
        }
        // Proportional: a small kana is narrower than a full one.
        const QFontMetrics Metrics(Font);
        QVERIFY(Metrics.horizontalAdvance(QStringLiteral("ッ")) < Metrics.horizontalAdvance(QStringLiteral("ア")));
    }

    void CaptionsAreDrawnInTheirColours_data() {
        QTest::addColumn<QString>("Name");
        QTest::addColumn<QColor>("Colour");
        QTest::newRow("add sibling") << "BitBtn1" << QColor(0, 0, 255);
        QTest::newRow("delete") << "BitBtn3" << QColor(0, 0, 255);
        QTest::newRow("expand") << "BitBtn7" << QColor(255, 0, 255);
        QTest::newRow("commit") << "BitBtn4" << QColor(255, 0, 0);
        QTest::newRow("save") << "BitBtn6" << QColor(128, 0, 0);
        QTest::newRow("level label") << "Edit2" << QColor(0, 0, 255);
    }
    void CaptionsAreDrawnInTheirColours() {
        QFETCH(QString, Name);
        QFETCH(QColor, Colour);
        auto Form = ShownLayoutForm(692);
        QWidget* Control = Form->findChild<QWidget*>(Name);
        const QImage Image = Control->grab().toImage();
        // Antialiased strokes mix the ink with the background: the pixel that differs
        // most from the background must differ from it in the ink's direction.
        const QColor Background = Image.pixelColor(Image.width() / 2, Image.height() - 4);
        auto Difference = [&](const QColor& C) {
            return std::array<double, 3>{double(C.red() - Background.red()), double(C.green() - Background.green()),
                                         double(C.blue() - Background.blue())};
        };
        auto Length = [](const std::array<double, 3>& V) { return std::sqrt(V[0] * V[0] + V[1] * V[1] + V[2] * V[2]); };
        std::array<double, 3> Strongest{0, 0, 0};
        for (int Y = 4; Y < Image.height() - 4; ++Y) {
            for (int X = 4; X < Image.width() - 4; ++X) {
                const auto D = Difference(Image.pixelColor(X, Y));
                if (Length(D) > Length(Strongest)) {
                    Strongest = D;
                }
            }
        }
        const auto Ink = Difference(Colour);
        const double Cosine =
            (Strongest[0] * Ink[0] + Strongest[1] * Ink[1] + Strongest[2] * Ink[2]) / (Length(Strongest) * Length(Ink));
        QVERIFY2(Length(Strongest) > 100, "no caption drawn");
        QVERIFY2(Cosine > 0.98, qPrintable(QStringLiteral("ink direction off by cosine %1").arg(Cosine)));
    }

    // The title and the body take an input method, for any kind of text.
    void TitleAndBodyTakeAnInputMethod() {
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        const Qt::InputMethodHints Narrowing = Qt::ImhLatinOnly | Qt::ImhDigitsOnly | Qt::ImhFormattedNumbersOnly |
                                               Qt::ImhPreferLatin | Qt::ImhPreferNumbers | Qt::ImhHiddenText;
        for (QWidget* Field : {static_cast<QWidget*>(Form.Edit1), static_cast<QWidget*>(Form.Memo1)}) {
            QVERIFY2(Field->testAttribute(Qt::WA_InputMethodEnabled), qPrintable(Field->objectName()));
            QCOMPARE(Field->inputMethodHints() & Narrowing, Qt::InputMethodHints());
        }
        QVERIFY(Form.Memo1->inputMethodHints().testFlag(Qt::ImhMultiLine));
        QVERIFY(!Form.Edit1->inputMethodHints().testFlag(Qt::ImhMultiLine));
    }

    void OuterGeometryRoundTripsWithoutDrift_data() {
        QTest::addColumn<int>("Left");
        QTest::addColumn<int>("Top");
        QTest::addColumn<int>("Width");
        QTest::newRow("defaults") << 80 << 80 << 700;
        QTest::newRow("design") << 54 << 42 << 928;
        QTest::newRow("top left corner, narrowest") << 0 << 0 << 454;
        QTest::newRow("far away, wide") << 1500 << 900 << 1200;
    }
    void OuterGeometryRoundTripsWithoutDrift() {
        QFETCH(int, Left);
        QFETCH(int, Top);
        QFETCH(int, Width);
        TForm1 Form(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
        Form.SetTop(Top);
        Form.SetLeft(Left);
        Form.SetWidth(Width);
        Form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Form));
        QTRY_COMPARE(Form.Left(), Left);
        QTRY_COMPARE(Form.Top(), Top);
        QTRY_COMPARE(Form.Width(), Width);
        QCOMPARE(Form.Height(), 483);
        const QMargins Frame = Form.FrameMargins();
        QCOMPARE(Form.width(), Width - Frame.left() - Frame.right());
        // Writing back what was read changes nothing.
        Form.SetLeft(Form.Left());
        Form.SetTop(Form.Top());
        Form.SetWidth(Form.Width());
        QCOMPARE(Form.Left(), Left);
        QCOMPARE(Form.Top(), Top);
        QCOMPARE(Form.Width(), Width);
    }
};

QTEST_MAIN(TLayoutTest)
#include "tst_layout.moc"
