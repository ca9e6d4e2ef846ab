#include "Fonts.h"

#include <QWidget>

QString TFonts::FaceName() {
    return QStringLiteral("ＭＳ Ｐゴシック");
}

QString TFonts::SubstituteName() {
    return QStringLiteral("IPAPGothic");
}

void TFonts::InstallSubstitutes() {
    if (!QFont::substitutes(FaceName()).contains(SubstituteName(), Qt::CaseInsensitive)) {
        QFont::insertSubstitution(FaceName(), SubstituteName());
    }
}

QFont TFonts::Make(int PixelHeight) {
    QFont Font(FaceName());
    Font.setPixelSize(PixelHeight);
    Font.setWeight(QFont::Normal);
    Font.setItalic(false);
    return Font;
}

void TFonts::SetFontColor(QWidget* Control, const QColor& Color) {
    QPalette Palette = Control->palette();
    for (QPalette::ColorRole Role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        Palette.setColor(QPalette::Active, Role, Color);
        Palette.setColor(QPalette::Inactive, Role, Color);
    }
    Control->setPalette(Palette);
}
