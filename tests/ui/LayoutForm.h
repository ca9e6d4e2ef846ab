#pragma once
// The main form with its layout only (no data, no settings), shown at a client size.
#include "Unit1.h"

#include <memory>

inline std::unique_ptr<TForm1> ShownLayoutForm(int ClientWidth = 692, int ClientHeight = 456) {
    auto Form = std::make_unique<TForm1>(TIniGTSystem::Platform(), TFormStart::fsLayoutOnly);
    Form->show();
    Form->resize(ClientWidth, ClientHeight);
    return Form;
}
