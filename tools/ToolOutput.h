#pragma once
// What every command of the data tool shares: its exit codes and line output.
#include <cstdio>
#include <string>

constexpr int ExitDone = 0;
constexpr int ExitFailed = 1;   // the file could not be loaded or saved
constexpr int ExitNotFound = 2; // the file could not be opened, or a wrong command line

inline void PrintLine(std::FILE* Stream, const std::string& Text) {
    std::fwrite(Text.data(), 1, Text.size(), Stream);
    std::fputc('\n', Stream);
}
