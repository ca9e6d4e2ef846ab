#include "FindText.h"

#include "CodePage932.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    return TSearcher(Needle).In(Folded);
}

TFindText::TBigrams TFindText::TBigrams::Of(std::string_view Text) noexcept {
    TBigrams Out;
    for (std::size_t I = 0; I + 1 < Text.size(); ++I) {
        const std::uint32_t Pair =
            (std::uint32_t{static_cast<unsigned char>(Text[I])} << 8) | static_cast<unsigned char>(Text[I + 1]);
        const std::uint32_t Bit = (Pair * 0x9E3779B1u) >> 24;
        Out.Bits[Bit >> 6] |= std::uint64_t{1} << (Bit & 63);
    }
    return Out;
}

bool TFindText::TSearcher::In(const char* Text, std::size_t Length) const noexcept {
    const std::size_t Size = FNeedle.size();
    if (Size == 0 || Size > Length)
        return false;
    const char* const Needle = FNeedle.data();
    if (Size == 1)
        return std::memchr(Text, Needle[0], Length) != nullptr;
    const std::size_t Starts = Length - Size + 1;
    std::size_t At = 0;
#if defined(__SSE2__)
    const __m128i First = _mm_set1_epi8(Needle[0]);
    const __m128i Last = _mm_set1_epi8(Needle[Size - 1]);
    for (; At + 16 <= Starts; At += 16) {
        const __m128i Heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + At));
        const __m128i Tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text + At + Size - 1));
        auto Mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(Heads, First), _mm_cmpeq_epi8(Tails, Last))));
        while (Mask != 0) {
            const auto Bit = static_cast<std::size_t>(__builtin_ctz(Mask));
            if (std::memcmp(Text + At + Bit + 1, Needle + 1, Size - 2) == 0)
                return true;
            Mask &= Mask - 1;
        }
    }
#endif
    for (; At < Starts; ++At)
        if (Text[At] == Needle[0] && Text[At + Size - 1] == Needle[Size - 1] &&
            std::memcmp(Text + At + 1, Needle + 1, Size - 2) == 0)
            return true;
    return false;
}

TFindText::TRange TFindText::Locate(QStringView Text, std::string_view Needle) {
    const TSearcher Searcher(Needle);
    const auto Holds = [&](QStringView Part) { return Searcher.In(Fold(Part)); };
    qsizetype LineStart = 0;
    while (LineStart <= Text.size()) {
        qsizetype LineEnd = LineStart;
        while (LineEnd < Text.size() && !IsLineEnd(Text[LineEnd].unicode()))
            ++LineEnd;
        const QStringView Line = Text.sliced(LineStart, LineEnd - LineStart);
        if (Holds(Line)) {
            // The shortest head of the line that holds a match ends where the first match
            // ends; the shortest tail of that head starts where it starts. Heads grow by
            // doubling first, so the work follows the match's place, not the line's length.
            qsizetype Low = 1;
            qsizetype High = std::min<qsizetype>(64, Line.size());
            while (High < Line.size() && !Holds(Line.first(High))) {
                Low = High + 1;
                High = std::min<qsizetype>(High * 2, Line.size());
            }
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
