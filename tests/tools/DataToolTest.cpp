// Runs the built quorvel-dat and checks its output, exit status and files.
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace StorageTest;
using namespace std::string_literals;

namespace {

struct TRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

TRun RunTool(const std::vector<std::string>& Args) {
    TScratchDir Capture;
    const std::string OutName = Capture / "out", ErrName = Capture / "err";
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 1, OutName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&Actions, 2, ErrName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> Argv;
    std::string Program = QUORVEL_DAT;
    Argv.push_back(Program.data());
    std::vector<std::string> Copies = Args;
    for (auto& Arg : Copies)
        Argv.push_back(Arg.data());
    Argv.push_back(nullptr);
    pid_t Child = 0;
    TRun Run;
    if (posix_spawn(&Child, Program.c_str(), &Actions, nullptr, Argv.data(), environ) == 0) {
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        Run.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status);
    }
    posix_spawn_file_actions_destroy(&Actions);
    Run.Out = ReadFileBytes(OutName);
    Run.Err = ReadFileBytes(ErrName);
    return Run;
}

const TByteString Header = StrBytes("Dummy");
// A, its child B, then a record cut short.
const TByteString Truncated =
    Header + Int32Bytes(3) + RecordBytes(-1, 0, "A", "ab\r\n") + RecordBytes(0, 1, "B", "") + Int32Bytes(0) + "\1";
const TByteString BadParent = Header + Int32Bytes(2) + RecordBytes(-1, 0, "A", "") + RecordBytes(1, 1, "B", "");

struct TToolCase {
    const char* Name;
    std::string Command;
    TByteString File; // written to the scratch directory as in.dat, unless empty
    int Code;
    std::string Out;
    std::string Err;
};

class DataTool : public testing::TestWithParam<TToolCase> {};

TEST_P(DataTool, PrintsAndExitsAsExpected) {
    TScratchDir Dir;
    if (!GetParam().File.empty())
        WriteFileBytes(Dir / "in.dat", GetParam().File);
    const TRun Run = RunTool({GetParam().Command, Dir / "in.dat"});
    EXPECT_EQ(Run.Code, GetParam().Code);
    EXPECT_EQ(Run.Out, GetParam().Out);
    EXPECT_EQ(Run.Err, GetParam().Err);
}

const TByteString Example = ReadFileBytes(Fixture("example55.dat"));
const std::string ExampleDump = "{\"index\":0,\"parent\":-1,\"level\":0,\"title\":\"A\",\"body\":[\"ab\",\"cd\"]}\n"
                                "{\"index\":1,\"parent\":0,\"level\":1,\"title\":\"B\",\"body\":[]}\n";
const std::string ReadFailure = "2 entries read before the error\nストリームからの読み込みエラー\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, DataTool,
    testing::Values(
        TToolCase{"CheckCounts", "check", Example, 0, "2 entries\n", ""},
        TToolCase{"CheckEmptyOutline", "check", ReadFileBytes(Fixture("empty13.dat")), 0, "0 entries\n", ""},
        TToolCase{"CheckMissing", "check", "", 2, "", "ファイルが見つかりません。\n"},
        TToolCase{"CheckTruncated", "check", Truncated, 1, "", ReadFailure},
        TToolCase{"CheckBadParent", "check", BadParent, 1, "", "1 entries read before the error\n不正なインデックス\n"},
        TToolCase{"DumpExample", "dump", Example, 0, ExampleDump, ""},
        TToolCase{"DumpTruncatedPrintsWhatWasRead", "dump", Truncated, 1,
                  "{\"index\":0,\"parent\":-1,\"level\":0,\"title\":\"A\",\"body\":[\"ab\"]}\n"
                  "{\"index\":1,\"parent\":0,\"level\":1,\"title\":\"B\",\"body\":[]}\n",
                  ReadFailure},
        TToolCase{"DumpMissing", "dump", "", 2, "", "ファイルが見つかりません。\n"},
        // Quotes, backslashes and control bytes are escaped; code page 932 becomes UTF-8 and
        // bytes that do not decode become U+FFFD.
        TToolCase{"DumpEscapesAndDecodes", "dump",
                  Header + Int32Bytes(2) + RecordBytes(-1, 0, "q\"\\\t\x01\x7F", "\x82\xA0\x80x\r\n\r\n") +
                      RecordBytes(-1, 1, "\x83\x65\x83\x58\x83\x67", "\x1F\r\n"),
                  0,
                  "{\"index\":0,\"parent\":-1,\"level\":0,\"title\":\"q\\\"\\\\\\t\\u0001\x7F\","
                  "\"body\":[\"あ\xEF\xBF\xBDx\",\"\"]}\n"
                  "{\"index\":1,\"parent\":-1,\"level\":0,\"title\":\"テスト\",\"body\":[\"\\u001f\"]}\n",
                  ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DataToolResave, WritesTheProgramsOwnForm) {
    // Non-pre-order parents, lone line ends and a NUL come out the way the program saves.
    TScratchDir Dir;
    WriteFileBytes(Dir / "in.dat", StrBytes("other header") + Int32Bytes(3) + RecordBytes(-1, 9, "P", "a\nb") +
                                       RecordBytes(-1, 9, "Q", "") + RecordBytes(0, 9, "R", "x\0y"s) + "tail");
    const TRun Run = RunTool({"resave", Dir / "in.dat", Dir / "out.dat"});
    EXPECT_EQ(Run.Code, 0);
    EXPECT_EQ(Run.Out, "3 entries\n");
    EXPECT_EQ(ReadFileBytes(Dir / "out.dat"), Header + Int32Bytes(3) + RecordBytes(-1, 0, "P", "a\r\nb\r\n") +
                                                  RecordBytes(0, 1, "R", "x\r\n") + RecordBytes(-1, 2, "Q", ""));
}

TEST(DataToolResave, FailedLoadWritesNothing) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "in.dat", Truncated);
    WriteFileBytes(Dir / "out.dat", Example);
    const TRun Run = RunTool({"resave", Dir / "in.dat", Dir / "out.dat"});
    EXPECT_EQ(Run.Code, 1);
    EXPECT_EQ(Run.Err, ReadFailure);
    EXPECT_EQ(ReadFileBytes(Dir / "out.dat"), Example);
    EXPECT_EQ(RunTool({"resave", Dir / "none.dat", Dir / "new.dat"}).Code, 2);
    EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "new.dat"));
}

TEST(DataToolResave, UncreatableOutputIsReported) {
    TScratchDir Dir;
    WriteFileBytes(Dir / "in.dat", Example);
    const std::string Out = Dir / "missing-dir/out.dat";
    const TRun Run = RunTool({"resave", Dir / "in.dat", Out});
    EXPECT_EQ(Run.Code, 1);
    EXPECT_EQ(Run.Err, "ファイル " + Out + " を作成できません\n");
}

TEST(DataToolUsage, WrongCommandLinesShowUsage) {
    for (const std::vector<std::string>& Args :
         {std::vector<std::string>{}, {"check"}, {"check", "a", "b"}, {"resave", "a"}, {"frobnicate", "a"}}) {
        const TRun Run = RunTool(Args);
        EXPECT_EQ(Run.Code, 2);
        EXPECT_EQ(Run.Out, "");
        EXPECT_NE(Run.Err.find("usage: quorvel-dat"), std::string::npos);
    }
}

TEST(DataToolUsage, HelpAndVersionGoToStandardOutput) {
    const TRun Help = RunTool({"--help"});
    EXPECT_EQ(Help.Code, 0);
    EXPECT_EQ(Help.Err, "");
    for (const char* Part : {"usage: quorvel-dat check FILE", "export", "import", "--version", "Exit status"})
        EXPECT_NE(Help.Out.find(Part), std::string::npos) << Part;
    const TRun Version = RunTool({"--version"});
    EXPECT_EQ(Version.Code, 0);
    EXPECT_EQ(Version.Out, "quorvel-dat "s + QUORVEL_VERSION + "\n");
    EXPECT_EQ(Version.Err, "");
    // Anything after them is a wrong command line.
    for (const std::vector<std::string>& Args : {std::vector<std::string>{"--version", "x"}, {"--help", "x"}}) {
        const TRun Run = RunTool(Args);
        EXPECT_EQ(Run.Code, 2);
        EXPECT_EQ(Run.Out, "");
    }
}

} // namespace
