#pragma once
// The window's one font face and its stand-in on systems without it.
#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

class TFonts {
public:
    // The face every control asks for: a proportional Japanese gothic.
    static QString FaceName();
    // The installed face used in its place where it is missing.
    static QString SubstituteName();
    // Maps FaceName to SubstituteName. Call once after the QApplication exists and
    // before the first widget is created.
    static void InstallSubstitutes();
    // FaceName at a character (em) height of PixelHeight pixels, regular.
    static QFont Make(int PixelHeight);
    // A control's font colour: the text roles of its palette, for every state.
    static void SetFontColor(QWidget* Control, const QColor& Color);
};
