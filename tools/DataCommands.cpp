#include "DataCommands.h"

#include "CodePage932.h"
#include "DataFile.h"
#include "Errors.h"
#include "StringList.h"
#include "ToolOutput.h"
#include "TreeNodes.h"

#include <exception>
#include <utility>
#include <vector>

namespace {

void Dump(TTreeNodes& Nodes, std::FILE* Out) {
    // Ancestors of the entry just printed, with their indices (pre-order order).
    std::vector<std::pair<const TTreeNode*, int>> Ancestors;
    std::string Line;
    for (int K = 0; K < Nodes.EntryCount(); ++K) {
        const TTreeNode* Entry = Nodes.EntryAtIndex(K);
        while (!Ancestors.empty() && Ancestors.back().first != Entry->Parent())
            Ancestors.pop_back();
        const int Parent = Ancestors.empty() ? -1 : Ancestors.back().second;
        Line = "{\"index\":" + std::to_string(K) + ",\"parent\":" + std::to_string(Parent) +
               ",\"level\":" + std::to_string(Ancestors.size()) +
               ",\"title\":" + JsonString(TCodePage932::ToUtf8Lossy(Entry->Text())) + ",\"body\":[";
        if (const TStringList* Body = Entry->Data()) {
            for (int I = 0; I < Body->Count(); ++I) {
                if (I > 0)
                    Line += ',';
                Line += JsonString(TCodePage932::ToUtf8Lossy(Body->Strings(I)));
            }
        }
        Line += "]}";
        PrintLine(Out, Line);
        Ancestors.emplace_back(Entry, K);
    }
}

} // namespace

std::string JsonString(const std::string& Text) {
    static const char Hex[] = "0123456789abcdef";
    std::string Result = "\"";
    Result.reserve(Text.size() + 2);
    for (const char C : Text) {
        const auto Byte = static_cast<unsigned char>(C);
        switch (C) {
        case '"':
            Result += "\\\"";
            break;
        case '\\':
            Result += "\\\\";
            break;
        case '\b':
            Result += "\\b";
            break;
        case '\f':
            Result += "\\f";
            break;
        case '\n':
            Result += "\\n";
            break;
        case '\r':
            Result += "\\r";
            break;
        case '\t':
            Result += "\\t";
            break;
        default:
            if (Byte < 0x20) {
                Result += "\\u00";
                Result += Hex[Byte >> 4];
                Result += Hex[Byte & 0xF];
            } else {
                Result += C;
            }
        }
    }
    Result += '"';
    return Result;
}

int CheckCommand(const std::string& FileName, std::FILE* Out, std::FILE* Err) {
    TToolOutline Nodes;
    const TLoad Result = Load(Nodes, FileName);
    if (Result.Code == ExitDone)
        PrintLine(Out, std::to_string(Nodes.EntryCount()) + " entries");
    return Report(Result, Nodes, Err);
}

int ResaveCommand(const std::string& InName, const std::string& OutName, std::FILE* Out, std::FILE* Err) {
    TToolOutline Nodes;
    const TLoad Result = Load(Nodes, InName);
    if (Result.Code != ExitDone)
        return Report(Result, Nodes, Err); // a failed load writes nothing
    try {
        WriteOutline(Nodes, OutName);
    } catch (const std::exception& Error) {
        PrintLine(Err, Error.what());
        return ExitFailed;
    }
    PrintLine(Out, std::to_string(Nodes.EntryCount()) + " entries");
    return ExitDone;
}

int DumpCommand(const std::string& FileName, std::FILE* Out, std::FILE* Err) {
    TToolOutline Nodes;
    const TLoad Result = Load(Nodes, FileName);
    Dump(Nodes, Out); // after a failure: the entries read before it
    std::fflush(Out);
    return Report(Result, Nodes, Err);
}
