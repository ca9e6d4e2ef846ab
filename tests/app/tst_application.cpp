// The application object: its title, the central error box and the real message boxes.
#include "../ui/FakeDialogs.h"
#include "Application.h"
#include "Errors.h"
#include "Fonts.h"
#include "Guard.h"
#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {
// Breaks the rule on purpose: an event handler that lets an error escape to Qt.
class TUnguarded : public QObject {
public:
    bool event(QEvent* Event) override {
        if (Event->type() == QEvent::User) {
            throw EOutOfMemory();
        }
        return QObject::event(Event);
    }
};
} // namespace

class TApplicationTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void TitleComesFromTheExecutableName_data() {
        QTest::addColumn<QByteArray>("Path");
        QTest::addColumn<QByteArray>("Title");
        QTest::newRow("plain") << QByteArray("/usr/bin/quorvel") << QByteArray("quorvel");
        QTest::newRow("capital first stays") << QByteArray("/opt/q/Quorvel") << QByteArray("Quorvel");
        QTest::newRow("upper case with extension") << QByteArray("/opt/q/STUDY.EXE") << QByteArray("Study");
        QTest::newRow("no directory") << QByteArray("STUDY.EXE") << QByteArray("Study");
        QTest::newRow("cut at the first dot") << QByteArray("/x/MY.TOOL.EXE") << QByteArray("My");
        QTest::newRow("dot in a directory only") << QByteArray("/a.b/c.d/NoteS") << QByteArray("Notes");
        QTest::newRow("lower first stays lower") << QByteArray("/x/aBC") << QByteArray("abc");
        QTest::newRow("digit first") << QByteArray("/x/1APP.EXE") << QByteArray("1app");
        QTest::newRow("Japanese name unchanged") << QByteArray("/x/アプリ.EXE") << QByteArray("アプリ");
        QTest::newRow("accented first, then ASCII") << QByteArray("/x/ÄBC") << QByteArray("Äbc");
        QTest::newRow("non-ASCII letters are kept") << QByteArray("/x/QÄÖ") << QByteArray("QÄÖ");
        QTest::newRow("name that starts with a dot") << QByteArray("/x/.hidden") << QByteArray("");
    }
    void TitleComesFromTheExecutableName() {
        QFETCH(QByteArray, Path);
        QFETCH(QByteArray, Title);
        QCOMPARE(TApplication::TitleFromExecutablePath(Path), Title);
    }

    // The fields' context menus and the standard buttons come from Qt: in Japanese.
    void QtTextsAreJapanese() {
        auto* App = qobject_cast<TApplication*>(QCoreApplication::instance());
        QVERIFY(App != nullptr);
        QVERIFY2(App->QtTranslated(), "qtbase_ja.qm was not loaded (package qt6-translations-l10n)");
        const auto MenuTexts = [](QMenu* Menu) {
            QStringList Texts;
            for (const QAction* Action : Menu->actions()) {
                if (!Action->isSeparator()) {
                    Texts << Action->text();
                }
            }
            delete Menu;
            return Texts;
        };
        QLineEdit Edit;
        QPlainTextEdit Memo;
        for (const QStringList& Texts :
             {MenuTexts(Edit.createStandardContextMenu()), MenuTexts(Memo.createStandardContextMenu())}) {
            QVERIFY(Texts.size() >= 6);
            for (const char* Expected : {"元に戻す", "やり直す", "切り取り", "コピー", "貼り付け", "すべてを選択"}) {
                const QString Text = QString::fromUtf8(Expected);
                QVERIFY2(std::any_of(Texts.begin(), Texts.end(), [&](const QString& T) { return T.startsWith(Text); }),
                         qPrintable(Texts.join(QLatin1Char('|')) + QStringLiteral(" lacks ") + Text));
            }
        }
        QDialogButtonBox Buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                                 QDialogButtonBox::No);
        QCOMPARE(Buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QVERIFY(Buttons.button(QDialogButtonBox::Yes)->text().startsWith(QStringLiteral("はい")));
        QVERIFY(Buttons.button(QDialogButtonBox::No)->text().startsWith(QStringLiteral("いいえ")));
    }

    void ApplicationUsesItsOwnExecutableName() {
        auto* App = qobject_cast<TApplication*>(QCoreApplication::instance());
        QVERIFY(App != nullptr);
        QCOMPARE(App->Title(), QStringLiteral("tst_application"));
        QCOMPARE(TDialogs::ApplicationTitle(), App->Title());
        QVERIFY(QFont::substitutes(TFonts::FaceName()).contains(TFonts::SubstituteName(), Qt::CaseInsensitive));
    }

    void ErrorTextGetsAFinalDot_data() {
        QTest::addColumn<QByteArray>("Message");
        QTest::addColumn<QByteArray>("Text");
        QTest::newRow("read error") << QByteArray(Messages::ReadError) << QByteArray(Messages::ReadError) + ".";
        QTest::newRow("invalid index") << QByteArray(Messages::InvalidIndex)
                                       << QByteArray(Messages::InvalidIndex) + ".";
        QTest::newRow("ends in a Japanese full stop")
            << QByteArray("ファイルが見つかりません。") << QByteArray("ファイルが見つかりません。.");
        QTest::newRow("letter") << QByteArray("abc") << QByteArray("abc.");
        QTest::newRow("digit") << QByteArray("error 0") << QByteArray("error 0.");
        QTest::newRow("slash is above the dot") << QByteArray("a/") << QByteArray("a/.");
        QTest::newRow("dot itself") << QByteArray("done.") << QByteArray("done.");
        QTest::newRow("minus is below the dot") << QByteArray("a-") << QByteArray("a-");
        QTest::newRow("exclamation mark") << QByteArray("Wait!") << QByteArray("Wait!");
        QTest::newRow("space") << QByteArray("trailing ") << QByteArray("trailing ");
        QTest::newRow("two-byte character") << QByteArray("caf\xC3\xA9") << QByteArray("caf\xC3\xA9.");
        QTest::newRow("empty") << QByteArray("") << QByteArray("");
    }
    void ErrorTextGetsAFinalDot() {
        QFETCH(QByteArray, Message);
        QFETCH(QByteArray, Text);
        QCOMPARE(TApplication::ErrorBoxText(Message), Text);
    }

    void GuardedErrorShowsTheErrorBox_data() {
        QTest::addColumn<QString>("Thrown");
        QTest::addColumn<QString>("Text");
        QTest::newRow("read error") << "read" << QString::fromUtf8(Messages::ReadError) + ".";
        QTest::newRow("create error names the file")
            << "create" << QStringLiteral("ファイル youken.dat を作成できません.");
        QTest::newRow("settings file") << "settings" << QStringLiteral("/tmp/x/Q.ini に書き込めません.");
        QTest::newRow("unknown") << "other" << QStringLiteral("unknown error.");
    }
    void GuardedErrorShowsTheErrorBox() {
        QFETCH(QString, Thrown);
        QFETCH(QString, Text);
        TFakeDialogs Dialogs;
        Dialogs.Expect(TDialogs::IDOK);
        bool RestRan = false;
        const bool Finished = Guarded([&] {
            if (Thrown == "read") {
                throw EReadError();
            } else if (Thrown == "create") {
                throw EFCreateError("youken.dat");
            } else if (Thrown == "settings") {
                throw ECannotWriteSettings("/tmp/x/Q.ini");
            }
            throw 42;
            RestRan = true;
        });
        QVERIFY(!Finished);
        QVERIFY(!RestRan);
        QCOMPARE(Dialogs.Boxes.size(), std::size_t{1});
        QCOMPARE(Dialogs.Boxes[0].Text, Text);
        QCOMPARE(Dialogs.Boxes[0].Caption, QStringLiteral("tst_application"));
        QCOMPARE(Dialogs.Boxes[0].Flags, TDialogs::MB_OK | TDialogs::MB_ICONERROR);
        QVERIFY(!Dialogs.Boxes[0].PlainMessage);
    }

    void ErrorEscapingAHandlerIsCaughtAtTheLoop() {
        TFakeDialogs Dialogs;
        Dialogs.Expect(TDialogs::IDOK);
        TUnguarded Object;
        QEvent Event(QEvent::User);
        QCOMPARE(QCoreApplication::sendEvent(&Object, &Event), false);
        QCOMPARE(Dialogs.Boxes.size(), std::size_t{1});
        QCOMPARE(Dialogs.Boxes[0].Text, QString::fromUtf8(Messages::OutOfMemory) + ".");
        // The loop goes on: later events are delivered as usual.
        QEvent Other(QEvent::None);
        QCoreApplication::sendEvent(&Object, &Other);
        QCOMPARE(Dialogs.Boxes.size(), std::size_t{1});
    }

    void RealBoxesShowIconButtonsAndAnswer_data() {
        QTest::addColumn<int>("Flags");
        QTest::addColumn<int>("Icon");
        QTest::addColumn<int>("Clicked");
        QTest::addColumn<int>("Answer");
        QTest::newRow("error box") << (TDialogs::MB_OK | TDialogs::MB_ICONERROR) << int(QMessageBox::Critical)
                                   << int(QMessageBox::Ok) << TDialogs::IDOK;
        QTest::newRow("question, yes") << (TDialogs::MB_YESNO | TDialogs::MB_ICONQUESTION) << int(QMessageBox::Question)
                                       << int(QMessageBox::Yes) << TDialogs::IDYES;
        QTest::newRow("question, no") << (TDialogs::MB_YESNO | TDialogs::MB_ICONQUESTION) << int(QMessageBox::Question)
                                      << int(QMessageBox::No) << TDialogs::IDNO;
        QTest::newRow("exclamation") << (TDialogs::MB_OK | TDialogs::MB_ICONEXCLAMATION) << int(QMessageBox::Warning)
                                     << int(QMessageBox::Ok) << TDialogs::IDOK;
        QTest::newRow("no icon") << TDialogs::MB_OK << int(QMessageBox::NoIcon) << int(QMessageBox::Ok)
                                 << TDialogs::IDOK;
    }
    void RealBoxesShowIconButtonsAndAnswer() {
        QFETCH(int, Flags);
        QFETCH(int, Icon);
        QFETCH(int, Clicked);
        QFETCH(int, Answer);
        TMessageBoxes Boxes;
        QMessageBox::Icon ShownIcon = QMessageBox::NoIcon;
        QString ShownTitle, ShownText;
        QMessageBox::StandardButtons ShownButtons;
        QStringList Captions;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box != nullptr);
            ShownIcon = Box->icon();
            ShownTitle = Box->windowTitle();
            ShownText = Box->text();
            ShownButtons = Box->standardButtons();
            for (QMessageBox::StandardButton Each : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok}) {
                if (QAbstractButton* Shown = Box->button(Each)) {
                    Captions << Shown->text();
                }
            }
            Box->button(QMessageBox::StandardButton(Clicked))->click();
        });
        const int Result = Boxes.MessageBox(QStringLiteral("本文"), QStringLiteral("確認"), Flags);
        QCOMPARE(Result, Answer);
        QCOMPARE(int(ShownIcon), Icon);
        QCOMPARE(ShownTitle, QStringLiteral("確認"));
        QCOMPARE(ShownText, QStringLiteral("本文"));
        const bool YesNo = (Flags & 0x0F) == TDialogs::MB_YESNO;
        QCOMPARE(ShownButtons,
                 YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::StandardButtons(QMessageBox::Ok));
        const QStringList Expected =
            YesNo ? QStringList{QStringLiteral("はい"), QStringLiteral("いいえ")} : QStringList{QStringLiteral("OK")};
        QCOMPARE(Captions, Expected);
    }

    // Esc and the window's close button must not answer "No": that would drop the changes.
    void YesNoBoxOnlyAnswersByItsButtons_data() {
        QTest::addColumn<int>("Clicked");
        QTest::addColumn<int>("Answer");
        QTest::newRow("then yes by Return") << int(QMessageBox::NoButton) << TDialogs::IDYES;
        QTest::newRow("then no") << int(QMessageBox::No) << TDialogs::IDNO;
    }
    void YesNoBoxOnlyAnswersByItsButtons() {
        QFETCH(int, Clicked);
        QFETCH(int, Answer);
        TMessageBoxes Boxes;
        bool StayedAfterEscape = false;
        bool StayedAfterClose = false;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box != nullptr);
            QTest::keyClick(Box, Qt::Key_Escape);
            StayedAfterEscape = Box->isVisible();
            Box->close();
            StayedAfterClose = Box->isVisible();
            if (Clicked == QMessageBox::NoButton) {
                QTest::keyClick(Box, Qt::Key_Return);
            } else {
                Box->button(QMessageBox::StandardButton(Clicked))->click();
            }
        });
        const int Result = Boxes.MessageBox(QStringLiteral("本文"), QStringLiteral("確認"),
                                            TDialogs::MB_YESNO | TDialogs::MB_ICONEXCLAMATION);
        QVERIFY(StayedAfterEscape);
        QVERIFY(StayedAfterClose);
        QCOMPARE(Result, Answer);
    }

    void PlainMessageHasOneOkButton() {
        TMessageBoxes Boxes;
        QMessageBox::StandardButtons ShownButtons;
        QMessageBox::Icon ShownIcon = QMessageBox::Critical;
        QString ShownCaption;
        QTimer::singleShot(0, [&] {
            auto* Box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(Box != nullptr);
            ShownButtons = Box->standardButtons();
            ShownIcon = Box->icon();
            ShownCaption = Box->button(QMessageBox::Ok)->text();
            Box->button(QMessageBox::Ok)->click();
        });
        Boxes.ShowMessage(QStringLiteral("ファイルが見つかりません。"), QStringLiteral("quorvel"));
        QCOMPARE(ShownButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(ShownIcon, QMessageBox::NoIcon);
        QCOMPARE(ShownCaption, QStringLiteral("OK"));
    }
};

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    TApplicationTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "tst_application.moc"
