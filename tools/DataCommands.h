#pragma once
// The data tool's commands over the program's own reader and writer. Each returns the
// process exit code: 0 done, 1 the file could not be loaded or saved (the entries read
// before a failure are counted), 2 the file could not be opened.
#include <cstdio>
#include <string>

int CheckCommand(const std::string& FileName, std::FILE* Out, std::FILE* Err);
int ResaveCommand(const std::string& InName, const std::string& OutName, std::FILE* Out, std::FILE* Err);
// One JSON object per entry, in absolute-index order, titles and lines in UTF-8.
int DumpCommand(const std::string& FileName, std::FILE* Out, std::FILE* Err);

// Text as a JSON string literal, quotes included. Text must be UTF-8.
std::string JsonString(const std::string& Text);
