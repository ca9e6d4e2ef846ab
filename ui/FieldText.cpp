#include "FieldText.h"

#include "CodePage932.h"

#include <algorithm>

QString TFieldText::Decode(TByteView Bytes, bool CrLfLines) {
    const std::u16string Wide = TCodePage932::Decode(Bytes);
    QString Text = QString::fromStdU16String(Wide);
    if (CrLfLines) {
        Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Text.replace(u'\r', u'\n');
    }
    return Text;
}

TByteString TFieldText::Encode(const QString& Text, bool CrLfLines) {
    QString Source = Text;
    if (CrLfLines)
        Source.replace(u'\n', QStringLiteral("\r\n"));
    return TCodePage932::Encode(Source.toStdU16String()).Bytes;
}

qsizetype TFieldText::ByteLength(const QString& Text, bool CrLfLines) noexcept {
    qsizetype Length = 0;
    for (const QChar Char : Text) {
        const char16_t Unit = Char.unicode();
        if (Unit == u'\n' && CrLfLines)
            Length += 2;
        else if (Unit < 0x80 || (Unit >= 0xFF61 && Unit <= 0xFF9F) || TCodePage932::IsEscape(Unit))
            Length += 1;
        else
            Length += 2;
    }
    return Length;
}

const QString& TFieldText::Assign(const TByteString& Bytes) {
    FBytes = Bytes;
    FShown = Decode(Bytes, FCrLfLines);
    return FShown;
}

TByteString TFieldText::BytesOf(const QString& Current) const {
    if (Current == FShown)
        return FBytes;

    const qsizetype OldLength = FShown.size();
    const qsizetype NewLength = Current.size();
    const qsizetype Common = std::min(OldLength, NewLength);
    qsizetype Head = 0;
    while (Head < Common && FShown[Head] == Current[Head])
        ++Head;
    qsizetype Tail = 0;
    while (Tail < Common - Head && FShown[OldLength - 1 - Tail] == Current[NewLength - 1 - Tail])
        ++Tail;

    // One forward pass over the original bytes finds where the head ends and the tail
    // starts (shift-JIS cannot be walked backwards). It must account for every byte;
    // if it does not, the whole text is encoded instead.
    const qsizetype TailFrom = OldLength - Tail;
    std::size_t Byte = 0;
    std::size_t HeadEnd = 0;
    std::size_t TailStart = 0;
    qsizetype Index = 0;
    for (;; ++Index) {
        if (Index == Head)
            HeadEnd = Byte;
        if (Index == TailFrom)
            TailStart = Byte;
        if (Index == OldLength || Byte >= FBytes.size())
            break;
        const char16_t Unit = FShown[Index].unicode();
        const auto Lead = static_cast<unsigned char>(FBytes[Byte]);
        if (TCodePage932::IsEscape(Unit))
            Byte += 1;
        else if (FCrLfLines && Unit == u'\n')
            Byte += (Lead == '\r' && Byte + 1 < FBytes.size() && FBytes[Byte + 1] == '\n') ? 2 : 1;
        else if (TCodePage932::IsLeadByte(Lead))
            Byte += 2;
        else
            Byte += 1;
    }
    if (Index != OldLength || Byte != FBytes.size() || HeadEnd > TailStart)
        return Encode(Current, FCrLfLines);

    TByteString Result;
    const TByteString Middle = Encode(Current.mid(Head, NewLength - Head - Tail), FCrLfLines);
    Result.reserve(HeadEnd + Middle.size() + (FBytes.size() - TailStart));
    Result.append(FBytes, 0, HeadEnd);
    Result.append(Middle);
    Result.append(FBytes, TailStart, TByteString::npos);
    return Result;
}
