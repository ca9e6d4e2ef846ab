#include "Edit.h"

#include "FlagScope.h"

#include "Guard.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>

#include <limits>

TEdit::TEdit(QWidget* Parent) : QLineEdit(Parent) {
    // A title may be of any length; QLineEdit would cut it at 32767 characters.
    setMaxLength(std::numeric_limits<int>::max());
    ApplyFont();
    ApplyPalette();
}

void TEdit::SetText(const TByteString& Bytes) {
    ClearMark();
    setText(FText.Assign(Bytes));
    // A long text shows its beginning, as an edit control does; Qt would show its end.
    setCursorPosition(0);
}

void TEdit::SelectAllFromStart() {
    // The caret at the start keeps the beginning in view.
    const int Length = static_cast<int>(text().size());
    setSelection(Length, -Length);
}

void TEdit::MarkText(int Start, int Length) {
    setSelection(Start, Length);
    FMarked = true;
    ApplyPalette();
}

void TEdit::ClearMark() {
    if (!FMarked)
        return;
    FMarked = false;
    ApplyPalette();
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
    // Without the focus the selection is drawn like plain text: Qt would draw it in the
    // window's colour group, which stays active while another control has the focus.
    const bool Show = hasFocus() || FMarked;
    const QPalette Standard = QApplication::palette(this);
    QPalette Colours = palette();
    bool Changed = false;
    for (const QPalette::ColorGroup Group : {QPalette::Active, QPalette::Inactive}) {
        const QColor Highlight =
            Show ? Standard.color(QPalette::Active, QPalette::Highlight) : Colours.color(Group, QPalette::Base);
        const QColor HighlightedText =
            Show ? Standard.color(QPalette::Active, QPalette::HighlightedText) : Colours.color(Group, QPalette::Text);
        if (Colours.color(Group, QPalette::Highlight) != Highlight ||
            Colours.color(Group, QPalette::HighlightedText) != HighlightedText) {
            Colours.setColor(Group, QPalette::Highlight, Highlight);
            Colours.setColor(Group, QPalette::HighlightedText, HighlightedText);
            Changed = true;
        }
    }
    if (!Changed)
        return;
    const TFlagScope Applying(FApplyingPalette);
    setPalette(Colours);
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
        FMarked = false;
        ApplyPalette();
        // Only a field entered from another control selects its text; the window coming
        // back (re-activation, a closed box or menu) leaves caret and selection alone.
        switch (Event->reason()) {
        case Qt::MouseFocusReason:
            // The mouse press that gave the focus arrives after this event: decide there.
            FSelectOnPress = true;
            break;
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
            break;
        default:
            SelectAllFromStart();
            break;
        }
    });
}

void TEdit::focusOutEvent(QFocusEvent* Event) {
    QLineEdit::focusOutEvent(Event);
    Guarded([&] {
        FSelectOnPress = false;
        ApplyPalette();
    });
}

void TEdit::mousePressEvent(QMouseEvent* Event) {
    QLineEdit::mousePressEvent(Event);
    Guarded([&] {
        if (FSelectOnPress && Event->button() != Qt::LeftButton)
            SelectAllFromStart();
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

void TEdit::keyPressEvent(QKeyEvent* Event) {
    bool Ignored = false;
    Guarded([&] {
        // Qt would replace the selection by the empty text.
        Ignored = Event->matches(QKeySequence::Paste) && QGuiApplication::clipboard()->text().isEmpty();
    });
    if (Ignored)
        Event->accept();
    else
        QLineEdit::keyPressEvent(Event);
}
