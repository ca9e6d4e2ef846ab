#include "TextCommands.h"

#include "DataFile.h"
#include "Errors.h"
#include "FileStream.h"
#include "OutlineText.h"
#include "ToolOutput.h"
#include "TreeNodes.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// The whole text of Path, or of the standard input for "-".
std::optional<std::string> ReadTextFile(const std::string& Path, bool& NotFound) {
    NotFound = false;
    if (Path == "-") {
        std::string Text;
        char Buffer[65536];
        std::size_t Count;
        while ((Count = std::fread(Buffer, 1, sizeof Buffer, stdin)) > 0)
            Text.append(Buffer, Count);
        if (std::ferror(stdin))
            return std::nullopt;
        return Text;
    }
    std::error_code Error;
    std::ifstream Stream(Path, std::ios::binary);
    if (!Stream || std::filesystem::is_directory(Path, Error)) {
        NotFound = true;
        return std::nullopt;
    }
    std::string Text(std::istreambuf_iterator<char>(Stream), {});
    if (Stream.bad())
        return std::nullopt;
    return Text;
}

} // namespace

std::optional<TTextArguments> SplitTextArguments(const std::string& Command, const std::vector<std::string>& Words) {
    TTextArguments Arguments;
    bool HaveInput = false;
    for (std::size_t i = 0; i < Words.size(); ++i) {
        if (Words[i] == "-o") {
            if (i + 1 == Words.size() || Arguments.Output)
                return std::nullopt;
            Arguments.Output = Words[++i];
        } else if (!HaveInput) {
            Arguments.Input = Words[i];
            HaveInput = true;
        } else {
            return std::nullopt;
        }
    }
    if (!HaveInput || (Command == "import" && !Arguments.Output))
        return std::nullopt;
    return Arguments;
}

int ExportCommand(const TTextArguments& Arguments, std::FILE* Out, std::FILE* Err) {
    TToolOutline Nodes;
    const TLoad Loaded = Load(Nodes, Arguments.Input);
    if (Loaded.Code != ExitDone)
        return Report(Loaded, Nodes, Err);
    std::string Text;
    try {
        Text = FormatOutlineText(Nodes);
    } catch (const std::exception& Error) {
        // The load went through: no count of entries read before an error.
        PrintLine(Err, Error.what());
        return ExitFailed;
    }
    if (Arguments.Output) {
        // The same careful write as a data file: a temporary file, synced, renamed into place.
        try {
            TReplacingFileStream Stream(*Arguments.Output);
            Stream.WriteBuffer(Text.data(), Text.size());
            Stream.Commit();
        } catch (const Exception& Error) {
            PrintLine(Err, Error.Message());
            return ExitFailed;
        }
        return ExitDone;
    }
    if (std::fwrite(Text.data(), 1, Text.size(), Out) != Text.size() || std::fflush(Out) != 0) {
        PrintLine(Err, Messages::WriteError);
        return ExitFailed;
    }
    return ExitDone;
}

int ImportCommand(const TTextArguments& Arguments, std::FILE* Out, std::FILE* Err) {
    bool NotFound = false;
    const std::optional<std::string> Text = ReadTextFile(Arguments.Input, NotFound);
    if (!Text) {
        PrintLine(Err, NotFound ? Messages::FileNotFound : Messages::ReadError);
        return NotFound ? ExitNotFound : ExitFailed;
    }
    const std::string Source = Arguments.Input == "-" ? "<stdin>" : Arguments.Input;
    try {
        const int Count = ImportOutlineText(*Text, Source, Arguments.Output.value_or(""));
        PrintLine(Out, std::to_string(Count) + " entries");
    } catch (const std::exception& Error) {
        PrintLine(Err, Error.what());
        return ExitFailed;
    }
    return ExitDone;
}
