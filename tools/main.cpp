// quorvel-dat: checks, rewrites and shows Quorvel data files from the command line.
#include "DataCommands.h"
#include "TextCommands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage = "usage: quorvel-dat check FILE\n"
                              "       quorvel-dat resave IN OUT\n"
                              "       quorvel-dat dump FILE\n"
                              "       quorvel-dat export FILE [-o OUT.txt]\n"
                              "       quorvel-dat import TEXT -o FILE\n"
                              "       quorvel-dat --help | --version\n"
                              "\n"
                              "check   load FILE as Quorvel Notes does and print the number of entries\n"
                              "resave  load IN and save it to OUT with the program's writer\n"
                              "dump    print the outline as JSON Lines, one entry per line, in UTF-8\n"
                              "export  print the outline as indented UTF-8 text, or write it to OUT.txt\n"
                              "import  write FILE from such a text (TEXT \"-\": the standard input)\n"
                              "\n"
                              "Exit status: 0 done, 1 the file could not be loaded or saved,\n"
                              "2 the file could not be opened, or a wrong command line.\n";

int ShowUsage(std::FILE* Stream, int Code) {
    std::fputs(Usage, Stream);
    return Code;
}

} // namespace

int main(int argc, char** argv) {
    const std::string Command = argc > 1 ? argv[1] : "";
    if (Command == "check" && argc == 3)
        return CheckCommand(argv[2], stdout, stderr);
    if (Command == "resave" && argc == 4)
        return ResaveCommand(argv[2], argv[3], stdout, stderr);
    if (Command == "dump" && argc == 3)
        return DumpCommand(argv[2], stdout, stderr);
    if (Command == "export" || Command == "import") {
        if (const auto Arguments = SplitTextArguments(Command, std::vector<std::string>(argv + 2, argv + argc)))
            return Command == "export" ? ExportCommand(*Arguments, stdout, stderr)
                                       : ImportCommand(*Arguments, stdout, stderr);
    }
    if ((Command == "help" || Command == "--help" || Command == "-h") && argc == 2)
        return ShowUsage(stdout, 0);
    if (Command == "--version" && argc == 2) {
        std::fputs("quorvel-dat " QUORVEL_VERSION "\n", stdout);
        return 0;
    }
    return ShowUsage(stderr, 2);
}
