#pragma once
// TEdit: a single-line field holding a code page 932 text (a title or a label).
//
// Height: the font's line height plus 8 px, kept when the font changes. A text set by
// the program shows its beginning. The whole text is selected (caret at the start) when
// the field is entered from another control other than by a left-button press, not when
// the window is activated again; the selection is not shown while the field has no focus.
#include "ByteString.h"
#include "FieldText.h"
#include "Object.h"

#include <QLineEdit>

#include <functional>

class TEdit : public QLineEdit, public TObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TObject* Sender)>;

    explicit TEdit(QWidget* Parent = nullptr);

    // Shows Bytes. Text() gives exactly these bytes back until the user edits the field;
    // after an edit, the parts the user did not touch keep their original bytes.
    void SetText(const TByteString& Bytes);
    TByteString Text() const;

    // Selects Length characters from Start and shows the selection also without the
    // focus (a find's match), until the field gets the focus or a new text, or ClearMark().
    void MarkText(int Start, int Length);
    void ClearMark();
    bool Marked() const noexcept { return FMarked; }

    // The field's height for Font: its pixel height (or line height) plus 8.
    static int HeightFor(const QFont& Font);

    // A left-button click in the field (press and release inside it); runs after Qt's
    // own handling, so the caret is already placed. Also emitted as clicked().
    TNotifyEvent OnClick;

signals:
    void clicked();

protected:
    void changeEvent(QEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    // A paste with nothing on the clipboard inserts nothing and keeps the selection.
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void SelectAllFromStart();
    void ApplyFont();
    void ApplyPalette();

    TFieldText FText;
    bool FSelectOnPress = false; // focus came with a mouse press: select all unless it is the left button
    bool FLeftPressed = false;
    bool FApplyingPalette = false;
    bool FMarked = false;
};
