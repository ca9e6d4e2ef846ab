#pragma once
// The comparison behind find: a text contains the searched text when their folded forms
// do. Folding is Unicode NFKC followed by case folding (Qt's), so full-width and
// half-width forms (Ａ and A, ５ and 5, ｶﾀｶﾅ and カタカナ) and the case of Latin letters
// make no difference.
//
// A folded form is UTF-8 with two marks of its own: '\n' for every line end (CR or LF)
// and the byte 0xFF for a byte that did not decode (TCodePage932's escapes) or any other
// lone surrogate. A folded needle never holds either, so a match never spans a line end
// nor an undecodable byte, and never runs from one text into the next.
#include "ByteString.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TFindText {
public:
    static constexpr char LineMark = '\n';
    static constexpr char BadMark = '\xFF';

    // Appends the folded form of Text, UTF-16 as TCodePage932::Decode gives it.
    static void FoldInto(std::string& Out, QStringView Text);
    static std::string Fold(QStringView Text);
    // Folded form of code page 932 bytes, decoded with TCodePage932.
    static std::string FoldBytes(TByteView Bytes);

    // The folded needle for Text, or nothing when Text can match nowhere: it is empty, or
    // it holds a line end.
    static std::optional<std::string> Needle(QStringView Text);

    // True when Folded contains Needle.
    static bool Contains(std::string_view Folded, std::string_view Needle) noexcept;

    // The pairs of neighbouring bytes a text holds, hashed into 256 bits: a text whose
    // set lacks a pair of the needle's cannot contain the needle.
    struct TBigrams {
        std::uint64_t Bits[4] = {0, 0, 0, 0};
        static TBigrams Of(std::string_view Text) noexcept;
        bool Covers(const TBigrams& Other) const noexcept {
            return (Bits[0] & Other.Bits[0]) == Other.Bits[0] && (Bits[1] & Other.Bits[1]) == Other.Bits[1] &&
                   (Bits[2] & Other.Bits[2]) == Other.Bits[2] && (Bits[3] & Other.Bits[3]) == Other.Bits[3];
        }
    };

    // A needle prepared for scanning many folded texts: compares its first and last byte
    // at 16 positions at once, then the bytes between.
    class TSearcher {
    public:
        explicit TSearcher(std::string_view Needle) : FNeedle(Needle), FBigrams(TBigrams::Of(Needle)) {}
        bool In(const char* Text, std::size_t Length) const noexcept;
        bool In(std::string_view Text) const noexcept { return In(Text.data(), Text.size()); }
        // False when a text with these pairs cannot contain the needle.
        bool MayBeIn(const TBigrams& Text) const noexcept { return Text.Covers(FBigrams); }

    private:
        std::string FNeedle;
        TBigrams FBigrams;
    };

    // Where Needle first matches in Text (a field's text as shown, UTF-16): the range of
    // Text whose folded form holds the match, found within one line. Length is 0 when
    // Text holds no match.
    struct TRange {
        qsizetype Start = 0;
        qsizetype Length = 0;
    };
    static TRange Locate(QStringView Text, std::string_view Needle);
};
