#include "Memo.h"

#include "CodePage932.h"
#include "Errors.h"
#include "FlagScope.h"
#include "Guard.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextDocument>

#include <memory>

namespace {

// Row breaks of a text as the editor will store it, as '\n'.
QString AsRows(QString Text) {
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(u'\r', u'\n');
    Text.replace(QChar::ParagraphSeparator, u'\n');
    Text.replace(QChar::LineSeparator, u'\n');
    return Text;
}

} // namespace

TMemo::TMemo(QWidget* Parent) : QPlainTextEdit(Parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Japanese text has no spaces: break anywhere when a row has no word boundary.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    connect(document(), &QTextDocument::contentsChanged, this, [this] { Guarded([this] { ContentsChanged(); }); });
}

TByteString TMemo::NormaliseLineEnds(const TByteString& Bytes) {
    TByteString Out;
    Out.reserve(Bytes.size() + Bytes.size() / 16);
    const std::size_t Size = Bytes.size();
    for (std::size_t Index = 0; Index < Size; ++Index) {
        const char Byte = Bytes[Index];
        if (TCodePage932::IsLeadByte(static_cast<unsigned char>(Byte)) && Index + 1 < Size) {
            Out += Byte;
            Out += Bytes[++Index];
        } else if (Byte == '\r') {
            Out += "\r\n";
            if (Index + 1 < Size && Bytes[Index + 1] == '\n')
                ++Index;
        } else if (Byte == '\n') {
            Out += "\r\n";
        } else {
            Out += Byte;
        }
    }
    return Out;
}

QString TMemo::CurrentText() const {
    QString Text = document()->toRawText();
    Text.replace(QChar::ParagraphSeparator, u'\n');
    Text.replace(QChar::LineSeparator, u'\n');
    return Text;
}

TByteString TMemo::LinesText() const {
    return FTouched ? FText.BytesOf(FShadow) : FText.Bytes();
}

void TMemo::SetLinesText(const TByteString& Bytes) {
    Replace(NormaliseLineEnds(Bytes));
}

void TMemo::SetText(const TByteString& Bytes) {
    Replace(Bytes);
}

void TMemo::Replace(const TByteString& Bytes) {
    if (Bytes == LinesText())
        return;
    if (static_cast<qsizetype>(Bytes.size()) > FMaxLength)
        throw EInvalidOperation();
    {
        const TFlagScope Quiet(FQuiet);
        setPlainText(FText.Assign(Bytes));
        FShadow = CurrentText();
        FTouched = false;
        FModified = false;
        document()->setModified(false);
    }
    if (OnChange)
        OnChange(this);
}

void TMemo::ContentsChanged() {
    if (FQuiet)
        return;
    QString Now = CurrentText();
    if (Now == FShadow)
        return;
    FShadow = std::move(Now);
    FTouched = true;
    FModified = true;
    if (OnChange)
        OnChange(this);
}

bool TMemo::WithinLimit() const {
    // Every character takes at most 2 bytes (a row break CR LF), so short texts need no count.
    if (static_cast<qsizetype>(document()->characterCount()) * 2 <= FMaxLength)
        return true;
    return TFieldText::ByteLength(CurrentText(), true) <= FMaxLength;
}

bool TMemo::Fits(const QString& Inserted) const {
    const QString Rows = AsRows(Inserted);
    if ((static_cast<qsizetype>(document()->characterCount()) + Rows.size()) * 2 <= FMaxLength)
        return true;
    const qsizetype Selected = TFieldText::ByteLength(AsRows(textCursor().selectedText()), true);
    return TFieldText::ByteLength(CurrentText(), true) - Selected + TFieldText::ByteLength(Rows, true) <= FMaxLength;
}

void TMemo::UndoRedo(bool Undo) {
    if (isReadOnly())
        return;
    {
        const TFlagScope Quiet(FQuiet);
        Undo ? undo() : redo();
        if (!WithinLimit()) {
            Undo ? redo() : undo();
            QApplication::beep();
        }
    }
    ContentsChanged();
}

void TMemo::keyPressEvent(QKeyEvent* Event) {
    Guarded([&] {
        if (Event->matches(QKeySequence::Undo) || Event->matches(QKeySequence::Redo)) {
            UndoRedo(Event->matches(QKeySequence::Undo));
            Event->accept();
            return;
        }
        const QString Typed = Event->text();
        const bool Inserts =
            !Typed.isEmpty() && (Typed.at(0).isPrint() || Typed.at(0) == u'\r' || Typed.at(0) == u'\n');
        if (Inserts && !isReadOnly() && !Fits(Typed)) {
            QApplication::beep();
            Event->accept();
            return;
        }
        QPlainTextEdit::keyPressEvent(Event);
    });
}

void TMemo::inputMethodEvent(QInputMethodEvent* Event) {
    Guarded([&] {
        if (Event->commitString().isEmpty() || Fits(Event->commitString())) {
            QPlainTextEdit::inputMethodEvent(Event);
            return;
        }
        QApplication::beep();
        QInputMethodEvent Refused(Event->preeditString(), Event->attributes());
        QPlainTextEdit::inputMethodEvent(&Refused);
    });
}

bool TMemo::canInsertFromMimeData(const QMimeData* Source) const {
    bool Can = false;
    Guarded([&] { Can = Source && Source->hasText() && !Source->text().isEmpty() && !isReadOnly(); });
    return Can;
}

void TMemo::insertFromMimeData(const QMimeData* Source) {
    Guarded([&] {
        // The body is plain text: only a source's text is inserted, and a source without
        // one inserts nothing. Qt 6.4's own handling reads the first format of a source
        // without checking there is one (a crash on an empty clipboard).
        if (!canInsertFromMimeData(Source))
            return;
        const QString Text = Source->text();
        if (!Fits(Text)) {
            QApplication::beep();
            return;
        }
        QMimeData TextOnly;
        TextOnly.setText(Text);
        QPlainTextEdit::insertFromMimeData(&TextOnly);
    });
}

void TMemo::contextMenuEvent(QContextMenuEvent* Event) {
    Guarded([&] {
        const std::unique_ptr<QMenu> Menu(createStandardContextMenu(Event->pos()));
        // Undo and redo from the menu follow the same limit as their keys.
        for (QAction* Action : Menu->actions()) {
            const bool IsUndo = Action->objectName() == QLatin1String("edit-undo");
            if (!IsUndo && Action->objectName() != QLatin1String("edit-redo"))
                continue;
            disconnect(Action, &QAction::triggered, nullptr, nullptr);
            connect(Action, &QAction::triggered, this, [this, IsUndo] { Guarded([&] { UndoRedo(IsUndo); }); });
        }
        Menu->exec(Event->globalPos());
    });
}
