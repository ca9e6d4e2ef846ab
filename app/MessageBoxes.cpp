#include "MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>

int TMessageBoxes::MessageBox(const QString& Text, const QString& Caption, int Flags) {
    QMessageBox Box(QApplication::activeWindow());
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    switch (Flags & 0xF0) {
    case MB_ICONERROR:
        Box.setIcon(QMessageBox::Critical);
        break;
    case MB_ICONQUESTION:
        Box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONEXCLAMATION:
        Box.setIcon(QMessageBox::Warning);
        break;
    default:
        Box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if ((Flags & 0x0F) == MB_YESNO) {
        Box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        Box.setDefaultButton(QMessageBox::Yes);
        return Box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    Box.setStandardButtons(QMessageBox::Ok);
    Box.exec();
    return IDOK;
}

void TMessageBoxes::ShowMessage(const QString& Text, const QString& Caption) {
    QMessageBox Box;
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    Box.setIcon(QMessageBox::NoIcon);
    Box.setStandardButtons(QMessageBox::Ok);
    Box.adjustSize();
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        Box.move(Screen->availableGeometry().center() - Box.rect().center());
    }
    Box.exec();
}
