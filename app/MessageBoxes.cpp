#include "MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>

namespace {

// A box that can only be answered by one of its buttons: QMessageBox would take Esc or the
// close button as "No" (its escape button), which here would drop the user's changes.
class TAnswerOnlyBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* Event) override {
        if (Event->key() == Qt::Key_Escape || Event->matches(QKeySequence::Cancel)) {
            Event->accept();
            return;
        }
        QMessageBox::keyPressEvent(Event);
    }
    void closeEvent(QCloseEvent* Event) override { Event->ignore(); }
    void reject() override {}
};

QMessageBox::Icon IconOf(int Flags) {
    switch (Flags & 0xF0) {
    case TDialogs::MB_ICONERROR:
        return QMessageBox::Critical;
    case TDialogs::MB_ICONQUESTION:
        return QMessageBox::Question;
    case TDialogs::MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

// One OK button, captioned as the platform's Japanese boxes caption it whatever the locale.
void SetOkButton(QMessageBox& Box) {
    Box.setStandardButtons(QMessageBox::Ok);
    Box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
}

} // namespace

int TMessageBoxes::MessageBox(const QString& Text, const QString& Caption, int Flags) {
    if ((Flags & 0x0F) == MB_YESNO) {
        TAnswerOnlyBox Box(QApplication::activeWindow());
        Box.setWindowTitle(Caption);
        Box.setText(Text);
        Box.setIcon(IconOf(Flags));
        Box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        Box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
        Box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
        Box.setDefaultButton(QMessageBox::Yes);
        return Box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    QMessageBox Box(QApplication::activeWindow());
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    Box.setIcon(IconOf(Flags));
    SetOkButton(Box);
    Box.exec();
    return IDOK;
}

void TMessageBoxes::ShowMessage(const QString& Text, const QString& Caption) {
    QMessageBox Box;
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    Box.setIcon(QMessageBox::NoIcon);
    SetOkButton(Box);
    Box.adjustSize();
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        Box.move(Screen->availableGeometry().center() - Box.rect().center());
    }
    Box.exec();
}
