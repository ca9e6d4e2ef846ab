#include "Edit.h"

#include "Guard.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMouseEvent>

#include <limits>

TEdit::TEdit(QWidget* Parent) : QLineEdit(Parent) {
    // A title may be of any length; QLineEdit would cut it at 32767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    ApplyFont();
    ApplyPalette();
}

void TEdit::SetText(const TByteString& Bytes) {
    setText(FText.Assign(Bytes));
}

TByteString TEdit::Text() const {
    return FText.BytesOf(text());
}

int TEdit::HeightFor(const QFont& Font) {
    const int Pixels = Font.pixelSize() > 0 ? Font.pixelSize() : QFontMetrics(Font).height();
    return Pixels + 8;
}

void TEdit::ApplyFont() {
    setFixedHeight(HeightFor(font()));
}

void TEdit::ApplyPalette() {
    // The selection is hidden without the focus: inactive highlight looks like plain text.
    QPalette Colours = palette();
    const QColor Base = Colours.color(QPalette::Active, QPalette::Base);
    const QColor Text = Colours.color(QPalette::Active, QPalette::Text);
    if (Colours.color(QPalette::Inactive, QPalette::Highlight) == Base &&
        Colours.color(QPalette::Inactive, QPalette::HighlightedText) == Text)
        return;
    Colours.setColor(QPalette::Inactive, QPalette::Highlight, Base);
    Colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Text);
    FApplyingPalette = true;
    setPalette(Colours);
    FApplyingPalette = false;
}

void TEdit::changeEvent(QEvent* Event) {
    QLineEdit::changeEvent(Event);
    Guarded([&] {
        if (Event->type() == QEvent::FontChange)
            ApplyFont();
        else if (Event->type() == QEvent::PaletteChange && !FApplyingPalette)
            ApplyPalette();
    });
}

void TEdit::focusInEvent(QFocusEvent* Event) {
    QLineEdit::focusInEvent(Event);
    Guarded([&] {
        // A mouse press that gave the focus arrives after this event: decide there.
        if (Event->reason() == Qt::MouseFocusReason)
            FSelectOnPress = true;
        else
            selectAll();
    });
}

void TEdit::mousePressEvent(QMouseEvent* Event) {
    QLineEdit::mousePressEvent(Event);
    Guarded([&] {
        if (FSelectOnPress && Event->button() != Qt::LeftButton)
            selectAll();
        FSelectOnPress = false;
        FLeftPressed = Event->button() == Qt::LeftButton;
    });
}

void TEdit::mouseReleaseEvent(QMouseEvent* Event) {
    QLineEdit::mouseReleaseEvent(Event);
    Guarded([&] {
        const bool Click =
            FLeftPressed && Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint());
        if (Event->button() == Qt::LeftButton)
            FLeftPressed = false;
        if (!Click)
            return;
        if (OnClick)
            OnClick(this);
        emit clicked();
    });
}
