#include "Dialogs.h"

#include <cassert>

namespace {
TDialogs* CurrentDialogs = nullptr;
}

TDialogs& TDialogs::Current() {
    assert(CurrentDialogs != nullptr);
    return *CurrentDialogs;
}

void TDialogs::SetCurrent(TDialogs* Dialogs) {
    CurrentDialogs = Dialogs;
}
