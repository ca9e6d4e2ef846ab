#pragma once
// TMemo: the body editor, a word-wrapping multi-line field holding one code page 932 text.
//
// Its text has CR LF line ends; wrapped rows are display only. It keeps a modified flag
// that every user edit (typing, deleting, pasting, cutting, undo, redo, input-method
// commit) sets before OnChange runs, and that a set by the program clears. The text is
// limited to MaxLength() bytes: a set beyond it throws, a user edit beyond it is refused.
#include "ByteString.h"
#include "FieldText.h"
#include "Object.h"

#include <QPlainTextEdit>

#include <functional>

class TMemo : public QPlainTextEdit, public TObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TObject* Sender)>;

    static constexpr qsizetype DefaultMaxLength = 64 * 1024 * 1024;

    explicit TMemo(QWidget* Parent = nullptr);

    // The whole text, CR LF between rows, no line end after the last row unless typed.
    // Exactly the bytes last set while the user has not changed the text.
    TByteString LinesText() const;
    // Sets the whole text, turning each lone CR and lone LF into CR LF (a lead byte keeps
    // its trail byte unconverted). A text equal to the current one changes nothing and
    // runs nothing. Otherwise the text is replaced, the modified flag cleared and then
    // OnChange run once. Throws EInvalidOperation, changing nothing, beyond MaxLength().
    void SetLinesText(const TByteString& Bytes);
    // As SetLinesText without the line-end conversion (the plain text property).
    void SetText(const TByteString& Bytes);
    TByteString Text() const { return LinesText(); }

    bool Modified() const noexcept { return FModified; }

    qsizetype MaxLength() const noexcept { return FMaxLength; }
    void SetMaxLength(qsizetype Value) noexcept { FMaxLength = Value; }

    // Turns each lone CR and lone LF into CR LF; a lead byte is copied with the byte after it.
    static TByteString NormaliseLineEnds(const TByteString& Bytes);

    // Runs after every change of the text by the user and after every set that changed it.
    TNotifyEvent OnChange;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void inputMethodEvent(QInputMethodEvent* Event) override;
    // Pasting and dropping insert the source's plain text only; a source without text
    // (an empty clipboard) inserts nothing.
    bool canInsertFromMimeData(const QMimeData* Source) const override;
    void insertFromMimeData(const QMimeData* Source) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    void Replace(const TByteString& Bytes);
    // The editor's text with '\n' for every row break.
    QString CurrentText() const;
    void ContentsChanged();
    // True when replacing the selection by Inserted keeps the text within the limit.
    bool Fits(const QString& Inserted) const;
    bool WithinLimit() const;
    // Undo or redo as one user edit, taken back when it would break the limit.
    void UndoRedo(bool Undo);

    TFieldText FText{true};
    QString FShadow;       // the text as last seen, to tell real changes from font or layout noise
    bool FTouched = false; // the user changed the text since the last set
    qsizetype FMaxLength = DefaultMaxLength;
    bool FModified = false;
    bool FQuiet = false; // changes happening now are the program's, not the user's
};
