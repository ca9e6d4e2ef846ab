#pragma once
// Every modal box of the program goes through TDialogs, so tests can answer them
// without a screen. The application installs the real boxes; tests install a fake.
#include <QString>

class QWidget;

class TDialogs {
public:
    // MessageBoxA's flags and answers, as the program uses them.
    static constexpr int MB_OK = 0x00;
    static constexpr int MB_YESNO = 0x04;
    static constexpr int MB_ICONERROR = 0x10; // stop
    static constexpr int MB_ICONQUESTION = 0x20;
    static constexpr int MB_ICONEXCLAMATION = 0x30;
    static constexpr int IDOK = 1;
    static constexpr int IDYES = 6;
    static constexpr int IDNO = 7;

    virtual ~TDialogs() = default;
    // A standard message box: Text, Caption, buttons and icon by Flags. Returns IDOK, IDYES or IDNO.
    virtual int MessageBox(const QString& Text, const QString& Caption, int Flags) = 0;
    // A plain message window with one OK button, centred on the screen.
    virtual void ShowMessage(const QString& Text, const QString& Caption) = 0;

    // The boxes in use; never null once the application or a test has installed one.
    static TDialogs& Current();
    static void SetCurrent(TDialogs* Dialogs);

    // The application title: the caption of the error box and of the program's own
    // messages. Set once at start by the application object.
    static const QString& ApplicationTitle();
    static void SetApplicationTitle(const QString& Title);
};
