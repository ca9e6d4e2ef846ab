#include "Dialogs.h"

#include <cassert>

namespace {
TDialogs* CurrentDialogs = nullptr;

QString& Title() {
    static QString Instance;
    return Instance;
}
} // namespace

TDialogs& TDialogs::Current() {
    assert(CurrentDialogs != nullptr);
    return *CurrentDialogs;
}

void TDialogs::SetCurrent(TDialogs* Dialogs) {
    CurrentDialogs = Dialogs;
}

const QString& TDialogs::ApplicationTitle() {
    return Title();
}

void TDialogs::SetApplicationTitle(const QString& NewTitle) {
    Title() = NewTitle;
}
