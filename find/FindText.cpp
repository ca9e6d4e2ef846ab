#include "FindText.h"

#include "CodePage932.h"

#include <cstring>

namespace {

bool IsHighSurrogate(char16_t Unit) noexcept {
    return Unit >= 0xD800 && Unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t Unit) noexcept {
    return Unit >= 0xDC00 && Unit <= 0xDFFF;
}
bool IsLineEnd(char16_t Unit) noexcept {
    return Unit == u'\n' || Unit == u'\r';
}

// Qt's case folding turns a lone surrogate into U+FFFD, which a needle may hold; the
// noncharacter U+FFFF, left alone by normalisation and folding and never decoded from
// code page 932, stands in for it meanwhile.
constexpr char16_t LoneStandIn = 0xFFFF;

// UTF-16 to UTF-8 with the marks of TFindText: line ends and lone surrogates (the
// escapes of undecodable bytes among them) become marks.
void AppendMarked(std::string& Out, QStringView Text) {
    const qsizetype Size = Text.size();
    Out.reserve(Out.size() + static_cast<std::size_t>(Size) + static_cast<std::size_t>(Size) / 2);
    for (qsizetype I = 0; I < Size; ++I) {
        const char16_t Unit = Text[I].unicode();
        if (Unit < 0x80) {
            Out += IsLineEnd(Unit) ? TFindText::LineMark : static_cast<char>(Unit);
        } else if (IsHighSurrogate(Unit) && I + 1 < Size && IsLowSurrogate(Text[I + 1].unicode())) {
            const char32_t Code = 0x10000 + ((char32_t{Unit} - 0xD800) << 10) + (Text[I + 1].unicode() - 0xDC00);
            TCodePage932::AppendUtf8(Out, Code);
            ++I;
        } else if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit) || Unit == LoneStandIn) {
            Out += TFindText::BadMark;
        } else {
            TCodePage932::AppendUtf8(Out, Unit);
        }
    }
}

QString Folded(QStringView Text) {
    QString Raw = QString::fromRawData(Text.data(), Text.size());
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const char16_t Unit = Text[I].unicode();
        if (IsHighSurrogate(Unit) && I + 1 < Text.size() && IsLowSurrogate(Text[I + 1].unicode()))
            ++I;
        else if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit))
            Raw[I] = QChar(LoneStandIn);
    }
    // NFKC, case folding, and NFKC again: folding can undo a composition. Each step
    // returns its input unchanged, without copying, when there is nothing to do.
    const QString Folded = Raw.normalized(QString::NormalizationForm_KC).toCaseFolded();
    return Folded.normalized(QString::NormalizationForm_KC);
}

} // namespace

void TFindText::FoldInto(std::string& Out, QStringView Text) {
    // Line ends and the stand-ins for lone surrogates are starters that compose with nothing, so folding the
    // whole text leaves them where they were: the marks still separate what they did.
    AppendMarked(Out, Folded(Text));
}

std::string TFindText::Fold(QStringView Text) {
    std::string Out;
    FoldInto(Out, Text);
    return Out;
}

std::string TFindText::FoldBytes(TByteView Bytes) {
    const std::u16string Wide = TCodePage932::Decode(Bytes);
    return Fold(QStringView(Wide.data(), static_cast<qsizetype>(Wide.size())));
}

std::optional<std::string> TFindText::Needle(QStringView Text) {
    std::string Folded = Fold(Text);
    if (Folded.empty() || Folded.find(LineMark) != std::string::npos)
        return std::nullopt;
    // A lone surrogate typed or pasted into the find field matches no undecodable byte.
    if (Folded.find(BadMark) != std::string::npos)
        return std::nullopt;
    return Folded;
}

bool TFindText::Contains(std::string_view Folded, std::string_view Needle) noexcept {
    if (Needle.empty())
        return false;
    return ::memmem(Folded.data(), Folded.size(), Needle.data(), Needle.size()) != nullptr;
}

TFindText::TRange TFindText::Locate(QStringView Text, std::string_view Needle) {
    const auto Holds = [&](QStringView Part) { return Contains(Fold(Part), Needle); };
    qsizetype LineStart = 0;
    while (LineStart <= Text.size()) {
        qsizetype LineEnd = LineStart;
        while (LineEnd < Text.size() && !IsLineEnd(Text[LineEnd].unicode()))
            ++LineEnd;
        const QStringView Line = Text.sliced(LineStart, LineEnd - LineStart);
        if (Holds(Line)) {
            // The shortest head of the line that holds a match ends where the first match
            // ends; the shortest tail of that head starts where it starts.
            qsizetype Low = 1;
            qsizetype High = Line.size();
            while (Low < High) {
                const qsizetype Middle = Low + (High - Low) / 2;
                if (Holds(Line.first(Middle)))
                    High = Middle;
                else
                    Low = Middle + 1;
            }
            const qsizetype End = High;
            Low = 0;
            High = End - 1;
            while (Low < High) {
                const qsizetype Middle = Low + (High - Low + 1) / 2;
                if (Holds(Line.sliced(Middle, End - Middle)))
                    Low = Middle;
                else
                    High = Middle - 1;
            }
            return {LineStart + Low, End - Low};
        }
        LineStart = LineEnd + 1;
    }
    return {};
}
