#include "BitBtn.h"

#include "Guard.h"

#include <QBitmap>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>

TBitBtn::TBitBtn(QWidget* Parent) : QAbstractButton(Parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void TBitBtn::SetGlyph(const QImage& Image) {
    FGlyphImage = Image;
    if (Image.isNull()) {
        FGlyph = QPixmap();
        FNumGlyphs = 1;
        update();
        return;
    }
    const QImage Rgb = Image.convertToFormat(QImage::Format_RGB32);
    const QRgb Transparent = Rgb.pixel(0, Rgb.height() - 1);
    FGlyph = QPixmap::fromImage(Rgb);
    FGlyph.setMask(QBitmap::fromImage(Rgb.createMaskFromColor(Transparent, Qt::MaskInColor)));
    const int W = Rgb.width();
    const int H = Rgb.height();
    FNumGlyphs = 1;
    if (W % H == 0 && W / H >= 2 && W / H <= 4) {
        FNumGlyphs = W / H;
    }
    update();
}

QSize TBitBtn::sizeHint() const {
    return {75, 25};
}

void TBitBtn::keyPressEvent(QKeyEvent* Event) {
    // Enter clicks the focused button like the space bar does.
    if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) && Event->modifiers() == Qt::NoModifier) {
        Guarded([this] { click(); });
        return;
    }
    QAbstractButton::keyPressEvent(Event);
}

void TBitBtn::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    QRect Face = rect();
    const bool Focused = hasFocus();
    const bool Down = isDown();
    if (Focused) {
        Painter.setPen(palette().color(QPalette::Shadow));
        Painter.drawRect(Face.adjusted(0, 0, -1, -1));
        Face.adjust(1, 1, -1, -1);
    }
    if (Down) {
        Painter.fillRect(Face, palette().color(QPalette::Button));
        Painter.setPen(palette().color(QPalette::Dark));
        Painter.drawRect(Face.adjusted(0, 0, -1, -1));
    } else {
        QStyleOptionButton Option;
        Option.initFrom(this);
        Option.rect = Face;
        Option.state |= QStyle::State_Raised;
        Option.state &= ~QStyle::State_HasFocus;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &Option, &Painter, this);
    }
    QRect Content = Face;
    if (Down) {
        Content.translate(1, 1);
    }
    if (!FGlyph.isNull()) {
        int Index = 0;
        if (!isEnabled() && FNumGlyphs > 1) {
            Index = 1;
        } else if (Down && FNumGlyphs > 2) {
            Index = 2;
        }
        const int W = FGlyph.width() / FNumGlyphs;
        const QRect Source(Index * W, 0, W, FGlyph.height());
        const QRect Target(Content.left() + (Content.width() - W) / 2,
                           Content.top() + (Content.height() - FGlyph.height()) / 2, W, FGlyph.height());
        Painter.drawPixmap(Target, FGlyph, Source);
    }
    if (!text().isEmpty()) {
        Painter.setFont(font());
        Painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        Painter.drawText(Content, Qt::AlignCenter | Qt::TextSingleLine, text());
    }
    if (Focused) {
        QPen Dotted(palette().color(QPalette::WindowText));
        Dotted.setDashPattern({1.0, 1.0});
        Dotted.setCosmetic(true);
        Painter.setPen(Dotted);
        Painter.setBrush(Qt::NoBrush);
        Painter.drawRect(rect().adjusted(4, 4, -5, -5));
    }
}
