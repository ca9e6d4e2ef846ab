#pragma once
// TBitBtn: a push button that draws its own face: a caption in the colour of its
// font (the palette's ButtonText) or a picture whose transparent colour is taken
// from its bottom-left pixel. Clicked by the mouse, by Enter and by the space bar
// (clicked() is the click event).
#include <QAbstractButton>
#include <QPixmap>

class TBitBtn : public QAbstractButton {
    Q_OBJECT
public:
    explicit TBitBtn(QWidget* Parent = nullptr);

    // Loads the picture. Its bottom-left pixel names the transparent colour; a picture
    // whose width is 2, 3 or 4 times its height holds that many state images side by side
    // (up, disabled, down, held down), otherwise one image for every state.
    void SetGlyph(const QImage& Image);
    const QPixmap& Glyph() const { return FGlyph; }
    // The picture as loaded, before its transparent colour was masked out.
    const QImage& GlyphImage() const { return FGlyphImage; }
    int NumGlyphs() const { return FNumGlyphs; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QImage FGlyphImage;
    QPixmap FGlyph;
    int FNumGlyphs = 1;
};
