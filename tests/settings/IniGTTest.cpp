#include "IniGT.h"

#include "Errors.h"
#include "TempFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using SettingsTest::ReadFileText;
using SettingsTest::TTempDir;
using SettingsTest::WriteFileText;

namespace {

// A system with the given executable and Windows directory; the settings file always
// lies beside the executable.
TIniGTSystem FixedSystem(TNameRules Rules, TByteString ExecutablePath, TByteString WindowsDirectory) {
    TIniGTSystem System;
    System.Rules = Rules;
    System.ExecutablePath = [ExecutablePath] { return ExecutablePath; };
    System.WindowsDirectory = [WindowsDirectory] { return WindowsDirectory; };
    return System;
}

TIniGTSystem WindowsSystem(TByteString ExecutablePath, TByteString WindowsDirectory = "C:\\WINDOWS") {
    return FixedSystem(TNameRules::WindowsCodePage932(), std::move(ExecutablePath), std::move(WindowsDirectory));
}

TIniGTSystem LinuxSystem(TByteString ExecutablePath, TByteString ConfigFolder = "/home/u/.config") {
    return FixedSystem(TNameRules::Platform(), std::move(ExecutablePath), std::move(ConfigFolder));
}

// Applies what a layout holds for the component, in the layout's order, then the
// after-load step.
void LoadLayout(TIniGT& Component, TIniGTDefaultDir DefaultDir, const std::optional<TByteString>& FileName) {
    Component.SetDefaultDir(DefaultDir);
    if (FileName)
        Component.SetFileName(*FileName);
    Component.SetFence(TIniGTFence::fnNone);
    Component.Loaded();
}

struct TDerivationCase {
    const char* Name;
    TIniGTSystem System;
    TIniGTDefaultDir DefaultDir;
    std::optional<TByteString> LayoutFileName;
    TByteString FileName;
    TByteString Path;
};

std::ostream& operator<<(std::ostream& Out, const TDerivationCase& Case) {
    return Out << Case.Name;
}

class SettingsFileName : public ::testing::TestWithParam<TDerivationCase> {};

TEST_P(SettingsFileName, FollowsTheExecutableAndTheLayout) {
    const auto& Case = GetParam();
    TIniGT IniGT1(nullptr, Case.System);
    LoadLayout(IniGT1, Case.DefaultDir, Case.LayoutFileName);
    EXPECT_EQ(IniGT1.FileName(), Case.FileName);
    EXPECT_EQ(IniGT1.IniFile().FileName(), Case.Path);
}

using enum TIniGTDefaultDir;

INSTANTIATE_TEST_SUITE_P(
    IniGT, SettingsFileName,
    ::testing::Values(
        TDerivationCase{"UpperCaseName", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddApplication, std::nullopt, "Study.ini",
                        "C:\\Apps\\Study.ini"},
        TDerivationCase{"SeveralDots", WindowsSystem("C:\\Apps\\my.tool.exe"), ddApplication, std::nullopt,
                        "My.tool.ini", "C:\\Apps\\My.tool.ini"},
        TDerivationCase{"NoExtension", WindowsSystem("C:\\Apps\\tool"), ddApplication, std::nullopt, "Tool.ini",
                        "C:\\Apps\\Tool.ini"},
        TDerivationCase{"LeadingDigit", WindowsSystem("C:\\Apps\\1APP.EXE"), ddApplication, std::nullopt, "1app.ini",
                        "C:\\Apps\\1app.ini"},
        // アプリ.EXE: the second byte 0x41 of ア is lowered to 0x61, giving ヂ.
        TDerivationCase{"DoubleByteName", WindowsSystem("C:\\Apps\\\x83\x41\x83\x76\x83\x8A.EXE"), ddApplication,
                        std::nullopt, "\x83\x61\x83\x76\x83\x8A.ini", "C:\\Apps\\\x83\x61\x83\x76\x83\x8A.ini"},
        // 表 is 95 5C: its second byte is no separator, in the folder nor in the name.
        TDerivationCase{"DoubleByteFolderAndName", WindowsSystem("C:\\\x95\x5C\\\x95\x5C.EXE"), ddApplication,
                        std::nullopt, "\x95\x5C.ini", "C:\\\x95\x5C\\\x95\x5C.ini"},
        TDerivationCase{"LayoutNameWithTrailByteBackslash", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddApplication,
                        "\x95\x5C.ini", "\x95\x5C.ini", "C:\\Apps\\\x95\x5C.ini"},
        TDerivationCase{"FullPathUnderApplication", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddApplication,
                        "C:\\cfg\\x.ini", "C:\\cfg\\x.ini", "C:\\cfg\\x.ini"},
        TDerivationCase{"FullPathUnderWindows", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddWindows, "C:\\cfg\\x.ini",
                        "C:\\cfg\\x.ini", "C:\\cfg\\x.ini"},
        TDerivationCase{"FullPathUnderNone", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddNone, "C:\\cfg\\x.ini",
                        "C:\\cfg\\x.ini", "C:\\cfg\\x.ini"},
        TDerivationCase{"DrivePathUnderApplication", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddApplication, "D:x.ini",
                        "D:x.ini", "D:x.ini"},
        TDerivationCase{"DrivePathUnderWindows", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddWindows, "D:x.ini", "D:x.ini",
                        "D:x.ini"},
        TDerivationCase{"DrivePathUnderNone", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddNone, "D:x.ini", "D:x.ini",
                        "D:x.ini"},
        TDerivationCase{"WindowsFolder", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddWindows, "x.ini", "x.ini",
                        "C:\\WINDOWS\\x.ini"},
        TDerivationCase{"WindowsFolderDerivedName", WindowsSystem("C:\\Apps\\STUDY.EXE", "C:\\WINNT"), ddWindows,
                        std::nullopt, "Study.ini", "C:\\WINNT\\Study.ini"},
        TDerivationCase{"NoFolder", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddNone, "x.ini", "x.ini", "x.ini"},
        TDerivationCase{"NoFolderDerivedName", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddNone, std::nullopt, "Study.ini",
                        "Study.ini"},
        TDerivationCase{"LayoutNameIsKept", WindowsSystem("C:\\Apps\\STUDY.EXE"), ddApplication, "Other.cfg",
                        "Other.cfg", "C:\\Apps\\Other.cfg"},
        TDerivationCase{"LinuxProgram", LinuxSystem("/opt/q/quorvel"), ddApplication, std::nullopt, "Quorvel.ini",
                        "/opt/q/Quorvel.ini"},
        TDerivationCase{"LinuxDottedFolder", LinuxSystem("/opt/q.d/quorvel"), ddApplication, std::nullopt,
                        "Quorvel.ini", "/opt/q.d/Quorvel.ini"},
        TDerivationCase{"LinuxConfigFolder", LinuxSystem("/opt/q/quorvel"), ddWindows, std::nullopt, "Quorvel.ini",
                        "/home/u/.config/Quorvel.ini"},
        TDerivationCase{"LinuxBackslashIsAName", LinuxSystem("/opt/q/quorvel"), ddApplication, "a\\b.ini", "a\\b.ini",
                        "/opt/q/a\\b.ini"},
        TDerivationCase{"LinuxFullPath", LinuxSystem("/opt/q/quorvel"), ddWindows, "/etc/q.ini", "/etc/q.ini",
                        "/etc/q.ini"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniGT, ConstructionHoldsAStoreOnAnEmptyName) {
    TIniGT IniGT1(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    EXPECT_EQ(IniGT1.DefaultDir(), ddApplication);
    EXPECT_EQ(IniGT1.FileName(), "");
    EXPECT_EQ(IniGT1.Fence(), TIniGTFence::fnNone);
    EXPECT_TRUE(IniGT1.FenceUnassigned());
    EXPECT_EQ(IniGT1.IniFile().FileName(), "");
}

TEST(IniGT, EveryAssignmentResolvesThePathAnew) {
    TIniGT IniGT1(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    const std::vector<std::pair<TIniGTDefaultDir, TByteString>> Steps = {
        {ddApplication, "C:\\Apps\\"}, {ddNone, ""}, {ddWindows, "C:\\WINDOWS\\"}};
    for (const auto& [Dir, Path] : Steps) {
        IniGT1.SetDefaultDir(Dir);
        EXPECT_EQ(IniGT1.IniFile().FileName(), Path) << "empty name";
    }
    IniGT1.SetFileName("x.ini");
    EXPECT_EQ(IniGT1.IniFile().FileName(), "C:\\WINDOWS\\x.ini");
    const std::vector<std::pair<TIniGTDefaultDir, TByteString>> Later = {
        {ddApplication, "C:\\Apps\\x.ini"}, {ddNone, "x.ini"}, {ddWindows, "C:\\WINDOWS\\x.ini"}};
    for (const auto& [Dir, Path] : Later) {
        IniGT1.SetDefaultDir(Dir);
        EXPECT_EQ(IniGT1.IniFile().FileName(), Path);
        EXPECT_EQ(IniGT1.FileName(), "x.ini");
    }
}

// Counts the design-time warnings instead of showing them.
class TDesignedIniGT : public TIniGT {
public:
    using TIniGT::TIniGT;
    int Warnings = 0;

protected:
    void ShowFenceWarning() override { ++Warnings; }
};

struct TFenceCase {
    bool Designing;
    TIniGTFence From;
    TIniGTFence To;
    int Warnings;
};

TEST(IniGT, FenceWarnsOnlyADesignerLeavingVer11Mode) {
    using enum TIniGTFence;
    const std::vector<TFenceCase> Cases = {
        {true, fnVer11Mode, fnNone, 1},         {true, fnVer11Mode, fnDoubleQuote, 1},
        {true, fnVer11Mode, fnVer11Mode, 0},    {true, fnNone, fnVer11Mode, 0},
        {true, fnNone, fnParenthesis, 0},       {false, fnVer11Mode, fnNone, 0},
        {false, fnVer11Mode, fnParenthesis, 0},
    };
    for (const auto& Case : Cases) {
        TDesignedIniGT IniGT1(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
        IniGT1.SetFence(Case.From);
        IniGT1.SetDesigning(Case.Designing);
        IniGT1.SetFence(Case.To);
        EXPECT_EQ(IniGT1.Warnings, Case.Warnings) << static_cast<int>(Case.From) << "->" << static_cast<int>(Case.To);
        EXPECT_EQ(IniGT1.Fence(), Case.To);
        EXPECT_FALSE(IniGT1.FenceUnassigned());
    }
}

TEST(IniGT, AssigningTheCurrentFenceStillCountsAsAssigned) {
    TIniGT IniGT1(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    IniGT1.SetFence(TIniGTFence::fnNone);
    EXPECT_FALSE(IniGT1.FenceUnassigned());
    EXPECT_EQ(IniGT1.Fence(), TIniGTFence::fnNone);
}

TEST(IniGT, InADesignerLoadingDerivesNothingAndDefaultsFenceToVer11Mode) {
    TDesignedIniGT Unassigned(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    Unassigned.SetDesigning(true);
    Unassigned.SetDefaultDir(ddApplication);
    Unassigned.Loaded();
    EXPECT_EQ(Unassigned.FileName(), "");
    EXPECT_EQ(Unassigned.IniFile().FileName(), "C:\\Apps\\");
    EXPECT_EQ(Unassigned.Fence(), TIniGTFence::fnVer11Mode);
    EXPECT_TRUE(Unassigned.FenceUnassigned());
    EXPECT_EQ(Unassigned.Warnings, 0);

    TDesignedIniGT Assigned(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    Assigned.SetDesigning(true);
    Assigned.SetFence(TIniGTFence::fnParenthesis);
    Assigned.Loaded();
    EXPECT_EQ(Assigned.Fence(), TIniGTFence::fnParenthesis);
}

TEST(IniGT, RunningProgramKeepsFenceAsTheLayoutLeftIt) {
    TIniGT IniGT1(nullptr, WindowsSystem("C:\\Apps\\STUDY.EXE"));
    IniGT1.Loaded();
    EXPECT_EQ(IniGT1.Fence(), TIniGTFence::fnNone);
    EXPECT_TRUE(IniGT1.FenceUnassigned());
}

// The window's use of the component, on a scratch folder standing for the
// program's own folder.
class WindowGeometry : public ::testing::Test {
protected:
    TTempDir Dir;
    TComponent Form1{nullptr};
    TIniGT* IniGT1 = MakeIniGT1(Dir.Path("quorvel"));

    TIniGT* MakeIniGT1(const TByteString& ExecutablePath) {
        auto* Component = new TIniGT(&Form1, LinuxSystem(ExecutablePath));
        Component->SetName("IniGT1");
        LoadLayout(*Component, ddApplication, std::nullopt);
        return Component;
    }
};

TEST_F(WindowGeometry, WithoutASettingsFileTheDefaultsComeBack) {
    EXPECT_EQ(IniGT1->IniFile().FileName(), Dir.Path("Quorvel.ini"));
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.top", 80), 80);
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.left", 80), 80);
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.width", 700), 700);
    EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
}

TEST_F(WindowGeometry, ClosingWritesTheThreeKeysForTheNextStart) {
    IniGT1->WriteInt("form", "form1.top", 120);
    IniGT1->WriteInt("form", "form1.left", -4);
    IniGT1->WriteInt("form", "form1.width", 928);
    EXPECT_EQ(ReadFileText(Dir.Path("Quorvel.ini")), "[form]\nform1.top=120\nform1.left=-4\nform1.width=928\n");

    TComponent NextRun(nullptr);
    auto* Next = new TIniGT(&NextRun, LinuxSystem(Dir.Path("quorvel")));
    LoadLayout(*Next, ddApplication, std::nullopt);
    EXPECT_EQ(Next->ReadInt("form", "form1.top", 80), 120);
    EXPECT_EQ(Next->ReadInt("form", "form1.left", 80), -4);
    EXPECT_EQ(Next->ReadInt("form", "form1.width", 700), 928);
}

TEST_F(WindowGeometry, BadValuesFallBackOneByOne) {
    WriteFileText(Dir.Path("Quorvel.ini"), "[form]\nform1.top=abc\nform1.left=0x20\nform1.width=9999999999\n");
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.top", 80), 80);
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.left", 80), 32);
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.width", 700), 700);
}

TEST_F(WindowGeometry, WriteErrorReachesTheCallerWithTheResolvedPath) {
    WriteFileText(Dir.Path("file"), "x");
    TIniGT* Blocked = MakeIniGT1(Dir.Path("file/quorvel"));
    try {
        Blocked->WriteInt("form", "form1.top", 80);
        FAIL() << "no error";
    } catch (const Exception& Error) {
        EXPECT_EQ(std::string(Error.what()), Dir.Path("file/Quorvel.ini") + " に書き込めません");
    }
}

TEST(IniGT, RunningProgramFindsItsOwnExecutable) {
    TIniGT IniGT1(nullptr);
    LoadLayout(IniGT1, ddApplication, std::nullopt);
    const auto Program = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(IniGT1.FileName(), "Settings_tests.ini");
    EXPECT_EQ(IniGT1.IniFile().FileName(), (Program.parent_path() / "Settings_tests.ini").string());
}

// Where the settings file lies when the executable's folder may not take it.
struct TLocationCase {
    const char* Name;
    bool FolderTakesFile;
    bool FileBeside;
    TByteString Path;
};

std::ostream& operator<<(std::ostream& Out, const TLocationCase& Case) {
    return Out << Case.Name;
}

class SettingsLocation : public ::testing::TestWithParam<TLocationCase> {};

TEST_P(SettingsLocation, BesideTheExecutableOrInTheConfigurationFolder) {
    const auto& Case = GetParam();
    std::vector<TByteString> Asked;
    TIniGTSystem System = LinuxSystem("/usr/local/bin/quorvel");
    System.ConfigFolder = [] { return TByteString("/home/u/.config/quorvel"); };
    System.Exists = [&](const TByteString& Path) {
        Asked.push_back(Path);
        return Case.FileBeside && Path == "/usr/local/bin/Quorvel.ini";
    };
    System.FolderTakesFile = [&](const TByteString& Folder) {
        Asked.push_back(Folder);
        return Case.FolderTakesFile && Folder == "/usr/local/bin/";
    };
    TIniGT IniGT1(nullptr, System);
    LoadLayout(IniGT1, ddApplication, std::nullopt);
    EXPECT_EQ(IniGT1.FileName(), "Quorvel.ini");
    EXPECT_EQ(IniGT1.IniFile().FileName(), Case.Path);
    EXPECT_FALSE(Asked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    IniGT, SettingsLocation,
    ::testing::Values(TLocationCase{"WritableFolder", true, false, "/usr/local/bin/Quorvel.ini"},
                      TLocationCase{"WritableFolderWithFile", true, true, "/usr/local/bin/Quorvel.ini"},
                      TLocationCase{"ReadOnlyFolder", false, false, "/home/u/.config/quorvel/Quorvel.ini"},
                      TLocationCase{"ExistingFileWins", false, true, "/usr/local/bin/Quorvel.ini"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IniGT, OtherFoldersIgnoreTheConfigurationFolder) {
    TIniGTSystem System = LinuxSystem("/usr/bin/quorvel");
    System.ConfigFolder = [] { return TByteString("/home/u/.config/quorvel"); };
    System.Exists = [](const TByteString&) { return false; };
    System.FolderTakesFile = [](const TByteString&) { return false; };
    const std::vector<std::tuple<TIniGTDefaultDir, TByteString, TByteString>> Cases = {
        {ddWindows, "x.ini", "/home/u/.config/x.ini"},
        {ddNone, "x.ini", "x.ini"},
        {ddApplication, "/etc/x.ini", "/etc/x.ini"},
    };
    for (const auto& [Dir, Name, Path] : Cases) {
        TIniGT IniGT1(nullptr, System);
        LoadLayout(IniGT1, Dir, Name);
        EXPECT_EQ(IniGT1.IniFile().FileName(), Path) << Name;
    }
}

// The platform's rule on real folders: an executable whose folder cannot be written
// (it lies under a regular file) keeps its settings in the configuration folder.
class SettingsLocationOnDisk : public ::testing::Test {
protected:
    TTempDir Dir;
    TComponent Form1{nullptr};

    TIniGT* Make(const TByteString& ExecutablePath, const TByteString& ConfigFolder) {
        TIniGTSystem System = TIniGTSystem::Platform();
        System.ExecutablePath = [ExecutablePath] { return ExecutablePath; };
        System.ConfigFolder = [ConfigFolder] { return ConfigFolder; };
        auto* Component = new TIniGT(&Form1, System);
        LoadLayout(*Component, ddApplication, std::nullopt);
        return Component;
    }
};

TEST_F(SettingsLocationOnDisk, UnwritableFolderSendsTheFileToTheConfigurationFolder) {
    WriteFileText(Dir.Path("file"), "x");
    const TByteString Config = Dir.Path("home/.config/quorvel");
    TIniGT* IniGT1 = Make(Dir.Path("file/bin/quorvel"), Config);
    EXPECT_EQ(IniGT1->IniFile().FileName(), Config + "/Quorvel.ini");
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.top", 80), 80);
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("home"))) << "a read makes no folder";
    IniGT1->WriteInt("form", "form1.top", 120);
    IniGT1->WriteInt("form", "form1.left", 130);
    IniGT1->WriteInt("form", "form1.width", 640);
    EXPECT_EQ(ReadFileText(Config + "/Quorvel.ini"), "[form]\nform1.top=120\nform1.left=130\nform1.width=640\n");
    EXPECT_EQ(std::filesystem::status(Config).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    TIniGT* Next = Make(Dir.Path("file/bin/quorvel"), Config);
    EXPECT_EQ(Next->ReadInt("form", "form1.top", 80), 120);
    EXPECT_EQ(Next->ReadInt("form", "form1.width", 700), 640);
}

TEST_F(SettingsLocationOnDisk, WritableFolderKeepsTheFileBesideTheExecutable) {
    std::filesystem::create_directory(Dir.Path("bin"));
    TIniGT* IniGT1 = Make(Dir.Path("bin/quorvel"), Dir.Path("config/quorvel"));
    EXPECT_EQ(IniGT1->IniFile().FileName(), Dir.Path("bin/Quorvel.ini"));
    IniGT1->WriteInt("form", "form1.top", 1);
    EXPECT_TRUE(std::filesystem::exists(Dir.Path("bin/Quorvel.ini")));
    EXPECT_FALSE(std::filesystem::exists(Dir.Path("config")));
}

TEST_F(SettingsLocationOnDisk, ExistingFileBesideAReadOnlyExecutableWins) {
    std::filesystem::create_directory(Dir.Path("bin"));
    WriteFileText(Dir.Path("bin/Quorvel.ini"), "[form]\nform1.top=33\n");
    if (!SettingsTest::MakeFolderUnwritable(Dir.Path("bin")))
        GTEST_SKIP() << "cannot make a folder unwritable here";
    TIniGT* IniGT1 = Make(Dir.Path("bin/quorvel"), Dir.Path("config/quorvel"));
    EXPECT_EQ(IniGT1->IniFile().FileName(), Dir.Path("bin/Quorvel.ini"));
    EXPECT_EQ(IniGT1->ReadInt("form", "form1.top", 80), 33);
}

TEST_F(SettingsLocationOnDisk, NeitherFolderWritableIsReportedWithTheConfigurationPath) {
    WriteFileText(Dir.Path("file"), "x");
    const TByteString Config = Dir.Path("file/home/.config/quorvel");
    TIniGT* IniGT1 = Make(Dir.Path("file/bin/quorvel"), Config);
    try {
        IniGT1->WriteInt("form", "form1.top", 80);
        FAIL() << "no error";
    } catch (const Exception& Error) {
        EXPECT_EQ(std::string(Error.what()), Config + "/Quorvel.ini に書き込めません");
    }
}

} // namespace
