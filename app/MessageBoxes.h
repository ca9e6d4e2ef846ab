#pragma once
// TMessageBoxes: the real modal boxes (QMessageBox), installed by the application.
#include "Dialogs.h"

class TMessageBoxes : public TDialogs {
public:
    int MessageBox(const QString& Text, const QString& Caption, int Flags) override;
    void ShowMessage(const QString& Text, const QString& Caption) override;
};
