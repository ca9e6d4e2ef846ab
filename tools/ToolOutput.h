#pragma once
// What every command of the data tool shares: its exit codes, line output, and loading
// a data file as the program does.
#include "DataFile.h"
#include "Errors.h"
#include "TreeNodes.h"

#include <cstdio>
#include <exception>
#include <string>

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;   // the file could not be loaded or saved
constexpr int ExitNotFound = 2; // the file could not be opened, or a wrong command line

inline void PrintLine(std::FILE* Stream, const std::string& Text) {
    std::fwrite(Text.data(), 1, Text.size(), Stream);
    std::fputc('\n', Stream);
}

// An outline that releases its bodies when entries leave it.
class TToolOutline : public TTreeNodes {
public:
    TToolOutline() { ReleaseBodiesOnDeletion(*this); }
};

// The outcome of loading a file as the program does.
struct TLoad {
    int Code = ExitDone;
    std::string Message; // the error's message when Code is ExitFailed
};

inline TLoad Load(TTreeNodes& Nodes, const std::string& FileName) {
    try {
        if (TranslateOutOfMemory([&] { return ReadOutline(Nodes, FileName); }) == TReadResult::rrNotFound)
            return {ExitNotFound, Messages::FileNotFound};
        return {};
    } catch (const std::exception& Error) {
        return {ExitFailed, Error.what()};
    }
}

// Tells Err why a load failed, the entries read before an error first; returns the exit code.
inline int Report(const TLoad& Result, const TTreeNodes& Nodes, std::FILE* Err) {
    if (Result.Code == ExitFailed)
        PrintLine(Err, std::to_string(Nodes.EntryCount()) + " entries read before the error");
    if (Result.Code != ExitDone)
        PrintLine(Err, Result.Message);
    return Result.Code;
}
