#include "FileNames.h"

#include "CodePage932.h"

TNameRules TNameRules::Platform() {
    return TNameRules{'/', "/", nullptr};
}

TNameRules TNameRules::WindowsCodePage932() {
    return TNameRules{'\\', "\\:", &TCodePage932::IsLeadByte};
}

std::size_t LastDelimiter(TByteView Delimiters, TByteView Name, const TNameRules& Rules) {
    // A byte is the second byte of a character exactly when the run of lead bytes
    // before it has odd length. Every byte after a non-lead byte starts a character,
    // so walking forward character by character gives the same answer in one pass
    // instead of re-measuring lead runs from the end.
    std::size_t Found = NoDelimiter;
    std::size_t At = 0;
    while (At < Name.size()) {
        const auto Byte = static_cast<unsigned char>(Name[At]);
        if (Rules.IsLeadByte(Byte) && At + 1 < Name.size()) {
            At += 2;
            continue;
        }
        if (Byte != 0 && Delimiters.find(Name[At]) != TByteView::npos)
            Found = At;
        ++At;
    }
    return Found;
}

TByteString ExtractFilePath(TByteView Name, const TNameRules& Rules) {
    const auto At = LastDelimiter(Rules.Delimiters, Name, Rules);
    return At == NoDelimiter ? TByteString() : TByteString(Name.substr(0, At + 1));
}

TByteString ExtractFileName(TByteView Name, const TNameRules& Rules) {
    const auto At = LastDelimiter(Rules.Delimiters, Name, Rules);
    return TByteString(At == NoDelimiter ? Name : Name.substr(At + 1));
}

TByteString ChangeFileExt(TByteView Name, TByteView Extension, const TNameRules& Rules) {
    TByteString Delimiters(".");
    Delimiters += Rules.Delimiters;
    const auto At = LastDelimiter(Delimiters, Name, Rules);
    TByteString Result(At != NoDelimiter && Name[At] == '.' ? Name.substr(0, At) : Name);
    Result += Extension;
    return Result;
}

TByteString LowerAsciiLetters(TByteView Name) {
    TByteString Result(Name);
    for (auto& Byte : Result) {
        if (Byte >= 'A' && Byte <= 'Z')
            Byte = static_cast<char>(Byte + ('a' - 'A'));
    }
    return Result;
}
