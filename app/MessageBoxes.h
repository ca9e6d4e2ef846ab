#pragma once
// TMessageBoxes: the real modal boxes (QMessageBox), installed by the application.
//
// A Yes/No box offers only its two answers, はい (the default, taken by Return) and
// いいえ: Esc and the window's own close button do nothing, so the box stays until one
// of them is chosen. Every other box has one button, OK.
#include "Dialogs.h"

class TMessageBoxes : public TDialogs {
public:
    int MessageBox(const QString& Text, const QString& Caption, int Flags) override;
    void ShowMessage(const QString& Text, const QString& Caption) override;
};
