// quorvel-dat export and import, run as the built program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The worked two-entry file: A with the lines ab and cd, and its child B without lines.
const std::string Example55("\x05\0\0\0Dummy\x02\0\0\0"
                            "\xFF\xFF\xFF\xFF\0\0\0\0\x01\0\0\0A\x08\0\0\0ab\r\ncd\r\n"
                            "\0\0\0\0\x01\0\0\0\x01\0\0\0B\0\0\0\0",
                            55);
const std::string Example55Text = "* A\n  | ab\n  | cd\n  * B\n";

std::string ReadFileBytes(const fs::path& Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}

void WriteFileBytes(const fs::path& Path, const std::string& Bytes) {
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

struct TCommandCase {
    const char* Name;
    std::string Arguments;                          // after the program's name, shell words
    std::map<std::string, std::string> FilesBefore; // in the working folder
    std::string Stdin;
    int Exit;
    std::optional<std::string> Stdout;                            // exact, when given
    std::string StderrFragment;                                   // contained in the error output
    std::map<std::string, std::optional<std::string>> FilesAfter; // exact bytes, or absent
};

void PrintTo(const TCommandCase& Case, std::ostream* Os) {
    *Os << Case.Name;
}

class TextCommands : public testing::TestWithParam<TCommandCase> {
protected:
    void SetUp() override {
        std::string Template = (fs::temp_directory_path() / "quorvel-text-commands-XXXXXX").string();
        ASSERT_NE(mkdtemp(Template.data()), nullptr);
        FDir = Template;
    }
    void TearDown() override {
        std::error_code Ignored;
        fs::remove_all(FDir, Ignored);
    }
    fs::path FDir;
};

TEST_P(TextCommands, ExitCodeOutputAndFiles) {
    const TCommandCase& Case = GetParam();
    for (const auto& [Name, Bytes] : Case.FilesBefore)
        WriteFileBytes(FDir / Name, Bytes);
    WriteFileBytes(FDir / "stdin", Case.Stdin);

    const std::string Command =
        "cd '" + FDir.string() + "' && '" QUORVEL_DAT "' " + Case.Arguments + " <stdin >stdout 2>stderr";
    const int Status = std::system(Command.c_str());
    ASSERT_TRUE(WIFEXITED(Status));
    const std::string Out = ReadFileBytes(FDir / "stdout");
    const std::string Err = ReadFileBytes(FDir / "stderr");

    EXPECT_EQ(WEXITSTATUS(Status), Case.Exit) << Err;
    if (Case.Stdout) {
        EXPECT_EQ(Out, *Case.Stdout);
    }
    if (Case.Exit != 0) {
        EXPECT_NE(Err.find(Case.StderrFragment), std::string::npos) << Err;
    } else {
        EXPECT_EQ(Err, "");
    }
    for (const auto& [Name, Bytes] : Case.FilesAfter) {
        if (Bytes) {
            EXPECT_EQ(ReadFileBytes(FDir / Name), *Bytes) << Name;
        } else {
            EXPECT_FALSE(fs::exists(FDir / Name)) << Name;
        }
    }
    // Nothing is left behind under a temporary name.
    for (const auto& Entry : fs::directory_iterator(FDir))
        EXPECT_EQ(Entry.path().filename().string().find(".tmp"), std::string::npos) << Entry.path();
}

const std::string Truncated = Example55.substr(0, 40);

INSTANTIATE_TEST_SUITE_P(
    Runs, TextCommands,
    testing::Values(
        TCommandCase{"ExportToStandardOutput", "export a.dat", {{"a.dat", Example55}}, "", 0, Example55Text, "", {}},
        TCommandCase{"ExportToAFile",
                     "export a.dat -o a.txt",
                     {{"a.dat", Example55}, {"a.txt", "old"}},
                     "",
                     0,
                     "",
                     "",
                     {{"a.txt", Example55Text}}},
        TCommandCase{"ExportOfAMissingFile",
                     "export none.dat -o a.txt",
                     {},
                     "",
                     2,
                     "",
                     "ファイルが見つかりません。",
                     {{"a.txt", std::nullopt}}},
        TCommandCase{"ExportOfADamagedFileWritesNothing",
                     "export a.dat -o a.txt",
                     {{"a.dat", Truncated}},
                     "",
                     1,
                     "",
                     "ストリームからの読み込みエラー",
                     {{"a.txt", std::nullopt}}},
        TCommandCase{"ExportOfADamagedFileToStandardOutput",
                     "export a.dat",
                     {{"a.dat", Truncated}},
                     "",
                     1,
                     "",
                     "ストリームからの読み込みエラー",
                     {}},
        TCommandCase{"Import",
                     "import a.txt -o a.dat",
                     {{"a.txt", "# notes\n" + Example55Text}},
                     "",
                     0,
                     "2 entries\n",
                     "",
                     {{"a.dat", Example55}}},
        TCommandCase{"ImportFromStandardInput",
                     "import - -o a.dat",
                     {},
                     Example55Text,
                     0,
                     "2 entries\n",
                     "",
                     {{"a.dat", Example55}}},
        TCommandCase{"RefusedImportWritesNothing",
                     "import a.txt -o a.dat",
                     {{"a.txt", "* A\n  | ab\n  | 😀\n"}},
                     "",
                     1,
                     "",
                     "a.txt:3: ",
                     {{"a.dat", std::nullopt}}},
        TCommandCase{"RefusedImportKeepsTheOldFile",
                     "import a.txt -o a.dat",
                     {{"a.txt", "* A\n    * B\n"}, {"a.dat", Example55}},
                     "",
                     1,
                     "",
                     "a.txt:2: ",
                     {{"a.dat", Example55}}},
        TCommandCase{"ImportOfAMissingText",
                     "import none.txt -o a.dat",
                     {},
                     "",
                     2,
                     "",
                     "ファイルが見つかりません。",
                     {{"a.dat", std::nullopt}}},
        TCommandCase{"ImportWithoutOutput", "import a.txt", {{"a.txt", Example55Text}}, "", 2, "", "usage", {}},
        TCommandCase{"ExportWithTwoFiles", "export a.dat b.dat", {{"a.dat", Example55}}, "", 2, "", "usage", {}},
        TCommandCase{"ExportWithoutAFile", "export", {}, "", 2, "", "usage", {}}),
    [](const testing::TestParamInfo<TCommandCase>& Info) { return std::string(Info.param.Name); });

// A backup written through a link lands in the linked file, and the link stays a link.
TEST_F(TextCommands, ExportThroughALinkReplacesItsTarget) {
    WriteFileBytes(FDir / "a.dat", Example55);
    fs::create_directory(FDir / "backups");
    WriteFileBytes(FDir / "backups" / "a.txt", "old");
    fs::create_symlink("backups/a.txt", FDir / "a.txt");
    const std::string Command = "cd '" + FDir.string() + "' && '" QUORVEL_DAT "' export a.dat -o a.txt";
    const int Status = std::system(Command.c_str());
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), 0);
    EXPECT_TRUE(fs::is_symlink(FDir / "a.txt"));
    EXPECT_EQ(ReadFileBytes(FDir / "backups" / "a.txt"), Example55Text);
}

} // namespace
