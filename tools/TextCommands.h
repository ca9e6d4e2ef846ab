#pragma once
// The data tool's export and import: a data file to its outline text and back. Exit codes
// as for the other commands: 0 done, 1 the file could not be loaded or written, or the text
// was refused; 2 the input could not be opened.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct TTextArguments {
    std::string Input;                 // export: the data file; import: the text ("-": stdin)
    std::optional<std::string> Output; // "-o PATH"
};

// The words after "export" or "import": one input and "-o PATH", in either order; import
// needs the -o. Nothing for a wrong command line.
std::optional<TTextArguments> SplitTextArguments(const std::string& Command, const std::vector<std::string>& Words);

// The outline text of the data file, on Out or in the -o file. A file that does not load
// is not exported, not even in part, and the -o file is then left as it was.
int ExportCommand(const TTextArguments& Arguments, std::FILE* Out, std::FILE* Err);
// Writes the -o data file from the text and prints "N entries". A refused text writes
// nothing; its message names the line.
int ImportCommand(const TTextArguments& Arguments, std::FILE* Out, std::FILE* Err);
