#include "OutlineText.h"

#include "CodePage932.h"
#include "DataFile.h"
#include "Errors.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

EOutlineTextError::EOutlineTextError(const std::string& Source, int Line, const std::string& What)
    : Exception(Source + ":" + std::to_string(Line) + ": " + What), FLine(Line) {}

namespace {

// How each code page 932 character is written: by byte b (index b) or by lead and trail
// byte (index lead * 256 + trail). Packed UTF-8 with its length in the top byte, or one of
// the two markers.
constexpr std::uint32_t ckNoCharacter = 0;    // does not decode: escape the first byte alone
constexpr std::uint32_t ckOtherBytesBack = 1; // decodes, but encodes to other bytes: escape it whole

// Both directions of every code page 932 character that reads back as its own bytes.
struct TCharacterTables {
    std::vector<std::uint32_t> Forms; // by code: packed UTF-8 or a marker
    std::vector<std::uint16_t> Codes; // by UTF-16 unit: the code (one byte: 00 bb), 0 for none
};

void ClassifyCharacter(TCharacterTables& Tables, unsigned Code, const TByteString& Bytes) {
    const std::u16string Text = TCodePage932::Decode(Bytes);
    if (Text.size() != 1 || (Text[0] >= 0xD800 && Text[0] <= 0xDFFF))
        return; // ckNoCharacter
    const TCodePage932::TEncoded Back = TCodePage932::Encode(Text);
    if (Back.Unencodable != 0 || Back.Bytes != Bytes) {
        Tables.Forms[Code] = ckOtherBytesBack;
        return;
    }
    std::string Utf8;
    TCodePage932::AppendUtf8(Utf8, Text[0]);
    std::uint32_t Packed = static_cast<std::uint32_t>(Utf8.size()) << 24;
    for (std::size_t i = 0; i < Utf8.size(); ++i)
        Packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(Utf8[i])) << (8 * i);
    Tables.Forms[Code] = Packed;
    Tables.Codes[Text[0]] = static_cast<std::uint16_t>(Code);
}

// Built once by asking the converter about every printable single byte and every lead/trail
// pair, so that neither direction needs a conversion per character afterwards.
const TCharacterTables& CharacterTables() {
    static const TCharacterTables Tables = [] {
        TCharacterTables Result{std::vector<std::uint32_t>(65536, ckNoCharacter), std::vector<std::uint16_t>(65536, 0)};
        for (unsigned Byte = 0x20; Byte <= 0xFF; ++Byte) {
            if (Byte == 0x7F || TCodePage932::IsLeadByte(static_cast<unsigned char>(Byte)))
                continue;
            ClassifyCharacter(Result, Byte, TByteString(1, static_cast<char>(Byte)));
        }
        for (unsigned Lead = 0x81; Lead <= 0xFC; ++Lead) {
            if (!TCodePage932::IsLeadByte(static_cast<unsigned char>(Lead)))
                continue;
            for (unsigned Trail = 0x40; Trail <= 0xFC; ++Trail) {
                const char Pair[2] = {static_cast<char>(Lead), static_cast<char>(Trail)};
                ClassifyCharacter(Result, Lead * 256 + Trail, TByteString(Pair, 2));
            }
        }
        return Result;
    }();
    return Tables;
}

// Encodes Text through the tables; false when a character is not in them, and the caller
// asks the converter, which knows every character (and names the ones it cannot take).
bool EncodeFromTables(std::u16string_view Text, TByteString& Bytes) {
    const std::vector<std::uint16_t>& Codes = CharacterTables().Codes;
    Bytes.clear();
    Bytes.reserve(Text.size() * 2);
    for (const char16_t Unit : Text) {
        if (Unit < 0x80) {
            Bytes += static_cast<char>(Unit);
        } else if (TCodePage932::IsEscape(Unit)) {
            Bytes += static_cast<char>(Unit - TCodePage932::EscapeBase);
        } else if (const std::uint16_t Code = Codes[Unit]; Code == 0) {
            return false;
        } else {
            if (Code > 0xFF)
                Bytes += static_cast<char>(Code >> 8);
            Bytes += static_cast<char>(Code & 0xFF);
        }
    }
    return true;
}

void AppendHexEscape(std::string& Out, unsigned char Byte) {
    char Buffer[5];
    std::snprintf(Buffer, sizeof Buffer, "\\x%02X", Byte);
    Out.append(Buffer, 4);
}

void AppendEscaped(std::string& Out, TByteView Bytes) {
    const std::vector<std::uint32_t>& Table = CharacterTables().Forms;
    std::size_t i = 0;
    while (i < Bytes.size()) {
        const unsigned char Byte = static_cast<unsigned char>(Bytes[i]);
        if (Byte == '\\') {
            Out += "\\\\";
            ++i;
            continue;
        }
        std::size_t Width = 1;
        std::uint32_t Code = ckNoCharacter;
        if (TCodePage932::IsLeadByte(Byte)) {
            if (i + 1 < Bytes.size()) {
                Width = 2;
                Code = Table[Byte * 256u + static_cast<unsigned char>(Bytes[i + 1])];
            }
        } else {
            Code = Table[Byte];
        }
        if (Code == ckNoCharacter) {
            AppendHexEscape(Out, Byte);
            ++i;
        } else if (Code == ckOtherBytesBack) {
            for (std::size_t k = 0; k < Width; ++k)
                AppendHexEscape(Out, static_cast<unsigned char>(Bytes[i + k]));
            i += Width;
        } else {
            const std::size_t Length = Code >> 24;
            for (std::size_t k = 0; k < Length; ++k)
                Out += static_cast<char>((Code >> (8 * k)) & 0xFF);
            i += Width;
        }
    }
}

std::string CodePointName(char32_t Code) {
    char Buffer[16];
    std::snprintf(Buffer, sizeof Buffer, "U+%04X", static_cast<unsigned>(Code));
    return Buffer;
}

// Reads one UTF-8 character at Pos; returns its length, or 0 when the bytes there are not
// valid UTF-8 (overlong forms, surrogates and values beyond U+10FFFF included).
std::size_t ReadUtf8(std::string_view Text, std::size_t Pos, char32_t& Code) {
    const unsigned char First = static_cast<unsigned char>(Text[Pos]);
    std::size_t Length;
    char32_t Min;
    if (First < 0x80) {
        Code = First;
        return 1;
    } else if (First >= 0xC2 && First <= 0xDF) {
        Length = 2, Min = 0x80, Code = First & 0x1F;
    } else if (First >= 0xE0 && First <= 0xEF) {
        Length = 3, Min = 0x800, Code = First & 0x0F;
    } else if (First >= 0xF0 && First <= 0xF4) {
        Length = 4, Min = 0x10000, Code = First & 0x07;
    } else {
        return 0;
    }
    if (Pos + Length > Text.size())
        return 0;
    for (std::size_t k = 1; k < Length; ++k) {
        const unsigned char Next = static_cast<unsigned char>(Text[Pos + k]);
        if ((Next & 0xC0) != 0x80)
            return 0;
        Code = (Code << 6) | (Next & 0x3F);
    }
    if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
        return 0;
    return Length;
}

struct TParsedEntry {
    int Level;
    TByteString Title;
    std::unique_ptr<TStringList> Body;
};

class TOutlineTextParser {
public:
    TOutlineTextParser(std::string_view Text, const std::string& Source) : FText(Text), FSource(Source) {}

    std::vector<TParsedEntry> Parse() {
        std::size_t Pos = 0;
        if (FText.starts_with("\xEF\xBB\xBF")) // a byte order mark some editors add
            Pos = 3;
        while (Pos < FText.size()) {
            std::size_t End = FText.find('\n', Pos);
            if (End == std::string_view::npos)
                End = FText.size();
            std::string_view Line = FText.substr(Pos, End - Pos);
            Pos = End + 1;
            ++FLine;
            // Lines ended by CR LF (a file saved on Windows): the formatter never writes a raw CR.
            if (!Line.empty() && Line.back() == '\r')
                Line.remove_suffix(1);
            ParseLine(Line);
        }
        return std::move(FEntries);
    }

private:
    [[noreturn]] void Fail(const std::string& What) const { throw EOutlineTextError(FSource, FLine, What); }

    void ParseLine(std::string_view Line) {
        if (Line.starts_with('#'))
            return;
        const std::size_t Indent = Line.find_first_not_of(' ');
        if (Indent == std::string_view::npos)
            return;
        const char Mark = Line[Indent];
        const std::string_view Rest = Line.substr(Indent + 1);
        if (Mark == '*')
            ParseEntry(Indent, Rest);
        else if (Mark == '|')
            ParseBodyLine(Indent, Rest);
        else if (Mark == '\t')
            Fail("字下げにタブは使えません。空白で字下げしてください");
        else
            Fail("行は \"*\"(項目)か \"|\"(本文の行)で始めてください(コメントは 1 文字目に \"#\")");
    }

    void ParseEntry(std::size_t Indent, std::string_view Rest) {
        if (Indent % 2 != 0)
            Fail("項目の字下げは空白 2 文字ずつにしてください");
        const std::size_t Level = Indent / 2;
        if (FEntries.empty() && Level != 0)
            Fail("最初の項目は字下げせずに書いてください");
        if (!FEntries.empty() && Level > static_cast<std::size_t>(FEntries.back().Level) + 1)
            Fail("項目の字下げが深すぎます。前の項目より 1 段(空白 2 文字)までしか深くできません");
        TParsedEntry Entry{static_cast<int>(Level), DecodeField(FieldAfterMark(Rest, '*')),
                           std::make_unique<TStringList>()};
        FEntries.push_back(std::move(Entry));
    }

    void ParseBodyLine(std::size_t Indent, std::string_view Rest) {
        if (FEntries.empty())
            Fail("本文の行 \"|\" の前に項目 \"*\" がありません");
        TParsedEntry& Entry = FEntries.back();
        const std::size_t Expected = 2 * static_cast<std::size_t>(Entry.Level) + 2;
        if (Indent != Expected)
            Fail("この本文の行の字下げは空白 " + std::to_string(Expected) + " 文字にしてください");
        const TByteString Bytes = DecodeField(FieldAfterMark(Rest, '|'));
        // A body line cannot hold these bytes: the body's text form would split it.
        if (Bytes.find_first_of(std::string_view("\r\n\0", 3)) != TByteString::npos)
            Fail("本文の行に CR、LF、NUL のバイトは入れられません");
        Entry.Body->Add(Bytes);
    }

    std::string_view FieldAfterMark(std::string_view Rest, char Mark) const {
        if (Rest.empty())
            return Rest;
        if (Rest[0] != ' ')
            Fail(std::string("\"") + Mark + "\" の後には空白を 1 つ置いてください");
        return Rest.substr(1);
    }

    // The field's text in code page 932. Escaped bytes of 0x80 and above travel to the
    // encoder as U+DC80..U+DCFF, which it turns back into those bytes.
    TByteString DecodeField(std::string_view Field) const {
        std::u16string Text;
        Text.reserve(Field.size());
        std::size_t Pos = 0;
        while (Pos < Field.size()) {
            if (Field[Pos] == '\\') {
                if (Pos + 1 < Field.size() && Field[Pos + 1] == '\\') {
                    Text += u'\\';
                    Pos += 2;
                    continue;
                }
                const int High = Pos + 2 < Field.size() && Field[Pos + 1] == 'x' ? HexDigitValue(Field[Pos + 2]) : -1;
                const int Low = High >= 0 && Pos + 3 < Field.size() ? HexDigitValue(Field[Pos + 3]) : -1;
                if (Low < 0)
                    Fail("\"\\\" の書き方が正しくありません(列 " + std::to_string(Pos + 1) +
                         ")。\"\\\\\" か \"\\xHH\"(16 進 2 桁)を使ってください");
                const unsigned Byte = static_cast<unsigned>(High * 16 + Low);
                Text += static_cast<char16_t>(Byte < 0x80 ? Byte : TCodePage932::EscapeBase + Byte);
                Pos += 4;
                continue;
            }
            char32_t Code = 0;
            const std::size_t Length = ReadUtf8(Field, Pos, Code);
            if (Length == 0)
                Fail("UTF-8 として正しくないバイト列があります(列 " + std::to_string(Pos + 1) + ")");
            if ((Code < 0x20 && Code != '\t') || Code == 0x7F) {
                char Escape[8];
                std::snprintf(Escape, sizeof Escape, "\\x%02X", static_cast<unsigned>(Code));
                Fail("制御文字 " + CodePointName(Code) + " はそのまま書けません。\"" + Escape + "\" と書いてください");
            }
            if (Code >= 0x10000) {
                Text += static_cast<char16_t>(0xD800 + ((Code - 0x10000) >> 10));
                Text += static_cast<char16_t>(0xDC00 + ((Code - 0x10000) & 0x3FF));
            } else {
                Text += static_cast<char16_t>(Code);
            }
            Pos += Length;
        }
        TByteString Bytes;
        if (EncodeFromTables(Text, Bytes))
            return Bytes;
        TCodePage932::TEncoded Encoded = TCodePage932::Encode(Text);
        if (Encoded.Unencodable != 0) {
            const std::size_t Index = Encoded.FirstUnencodable;
            char32_t Code = Text[Index];
            if (Code >= 0xD800 && Code <= 0xDBFF && Index + 1 < Text.size())
                Code = 0x10000 + ((Code - 0xD800) << 10) + (Text[Index + 1] - 0xDC00);
            std::string Shown;
            TCodePage932::AppendUtf8(Shown, Code);
            Fail("文字 \"" + Shown + "\"(" + CodePointName(Code) + ")はコードページ932で表せません");
        }
        return std::move(Encoded.Bytes);
    }

    std::string_view FText;
    const std::string& FSource;
    int FLine = 0;
    std::vector<TParsedEntry> FEntries;
};

void AppendEntryLine(std::string& Out, std::size_t Level, const TTreeNode* Entry) {
    Out.append(2 * Level, ' ');
    Out += '*';
    if (!Entry->Text().empty()) {
        Out += ' ';
        AppendEscaped(Out, Entry->Text());
    }
    Out += '\n';
    const TStringList* Body = Entry->Data();
    if (Body == nullptr)
        return;
    for (int k = 0; k < Body->Count(); ++k) {
        Out.append(2 * Level + 2, ' ');
        Out += '|';
        const TByteView Line = Body->Strings(k);
        if (!Line.empty()) {
            Out += ' ';
            AppendEscaped(Out, Line);
        }
        Out += '\n';
    }
}

} // namespace

namespace {
std::string FormatOutline(const TTreeNodes& Nodes);
void ParseOutline(TTreeNodes& Nodes, std::string_view Text, const std::string& Source);
} // namespace

std::string FormatOutlineText(const TTreeNodes& Nodes) {
    return TranslateOutOfMemory([&] { return FormatOutline(Nodes); });
}

void ParseOutlineText(TTreeNodes& Nodes, std::string_view Text, const std::string& Source) {
    TranslateOutOfMemory([&] { ParseOutline(Nodes, Text, Source); });
}

int ImportOutlineText(std::string_view Text, const std::string& Source, const std::string& DataFileName) {
    return TranslateOutOfMemory([&] {
        TTreeNodes Nodes;
        ReleaseBodiesOnDeletion(Nodes);
        ParseOutline(Nodes, Text, Source);
        WriteOutline(Nodes, DataFileName);
        return Nodes.EntryCount();
    });
}

namespace {

std::string FormatOutline(const TTreeNodes& Nodes) {
    std::string Out;
    // Pre-order walk with an explicit path, so a deep outline needs no deep call stack.
    struct TFrame {
        const TTreeNode* Entry;
        int NextChild;
    };
    std::vector<TFrame> Path;
    for (int Top = 0; Top < Nodes.TopCount(); ++Top) {
        Path.push_back({Nodes.TopItem(Top), 0});
        AppendEntryLine(Out, 0, Nodes.TopItem(Top));
        while (!Path.empty()) {
            TFrame& Frame = Path.back();
            if (Frame.NextChild == Frame.Entry->Count()) {
                Path.pop_back();
                continue;
            }
            const TTreeNode* Child = Frame.Entry->Item(Frame.NextChild++);
            AppendEntryLine(Out, Path.size(), Child);
            Path.push_back({Child, 0});
        }
    }
    return Out;
}

void ParseOutline(TTreeNodes& Nodes, std::string_view Text, const std::string& Source) {
    std::vector<TParsedEntry> Entries = TOutlineTextParser(Text, Source).Parse();
    TTreeNodesUpdate Guard(Nodes);
    std::vector<TTreeNode*> Path; // the last entry added at each level
    for (TParsedEntry& Entry : Entries) {
        Path.resize(static_cast<std::size_t>(Entry.Level));
        TTreeNode* Parent = Path.empty() ? nullptr : Path.back();
        TTreeNode* Added = Nodes.AppendChild(Parent, Entry.Title, Entry.Body.get());
        // The outline's entry holds the body now, before anything else can fail.
        static_cast<void>(Entry.Body.release());
        Path.push_back(Added);
    }
}

} // namespace
