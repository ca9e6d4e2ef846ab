#pragma once
// The byte-exact text of a field: code page 932 bytes in, the same bytes out.
//
// Code page 932 is not a bijection (87 90 and 81 E0 both read as U+2252), so a field
// keeps the bytes it was given. Reading a field the user did not change gives them back
// unchanged; after an edit only the changed middle is encoded again, and the unchanged
// head and tail keep their original bytes. Bytes that do not decode travel as the
// escapes of TCodePage932 and come back as themselves.
#include "ByteString.h"

#include <QString>

class TFieldText {
public:
    // In CR LF mode (the body editor) the shown text has '\n' for every CR LF, lone CR
    // and lone LF of the bytes, as a multi-line editor gives its text back; an edited
    // middle gets CR LF for each '\n'.
    explicit TFieldText(bool CrLfLines = false) : FCrLfLines(CrLfLines) {}

    // Takes Bytes as the field's text and returns the text to show.
    const QString& Assign(const TByteString& Bytes);
    // The bytes for the text the field shows now (see above).
    TByteString BytesOf(const QString& Current) const;

    const TByteString& Bytes() const noexcept { return FBytes; }
    const QString& Shown() const noexcept { return FShown; }

    // Decodes Bytes for display, with the line-end rule of the mode.
    static QString Decode(TByteView Bytes, bool CrLfLines);
    // Encodes an edited text; '\n' becomes CR LF in CR LF mode.
    static TByteString Encode(const QString& Text, bool CrLfLines);
    // Code page 932 bytes that Text would take, counting '\n' as CR LF in CR LF mode.
    // A character without a code page 932 form counts 2 (it encodes as 1).
    static qsizetype ByteLength(const QString& Text, bool CrLfLines) noexcept;

private:
    bool FCrLfLines;
    TByteString FBytes;
    QString FShown;
};
