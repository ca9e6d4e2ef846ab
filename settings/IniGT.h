#pragma once
// TIniGT: the settings file of the window, and integer values in it.
//
// The component turns a file name into a full path by the DefaultDir rule and,
// when the layout gives no name, derives one from the executable's name
// (Study.ini for STUDY.EXE). Reads and writes go to a TIniFile on that path,
// which the component owns and replaces whenever the path may have changed;
// IniFile() is valid from construction to destruction.
#include "Component.h"
#include "FileNames.h"
#include "IniFiles.h"

#include <cstdint>
#include <functional>
#include <memory>

enum class TIniGTDefaultDir : std::uint8_t { ddApplication, ddWindows, ddNone };

// Stored for layouts; reading and writing values never consult it.
enum class TIniGTFence : std::uint8_t { fnDoubleQuote, fnParenthesis, fnVer11Mode, fnNone };

// What the component asks of the system. Platform() is the running system;
// tests give their own executable path, folder and name rules.
//
// Under ddApplication a name without a folder goes beside the executable where that
// folder takes the file or the file already is there (a portable install), and into
// ConfigFolder otherwise (a system-wide install run by an ordinary user). Without
// ConfigFolder it always goes beside the executable.
struct TIniGTSystem {
    TNameRules Rules;
    std::function<TByteString()> ExecutablePath;
    std::function<TByteString()> WindowsDirectory;
    std::function<TByteString()> ConfigFolder;
    std::function<bool(const TByteString& Path)> Exists;
    std::function<bool(const TByteString& Folder)> FolderTakesFile;
    // Makes ConfigFolder before the first write into it.
    std::function<bool(const TByteString& Folder)> MakeFolders;

    static TIniGTSystem Platform();
};

class TIniGT : public TComponent {
public:
    explicit TIniGT(TComponent* AOwner);
    TIniGT(TComponent* AOwner, TIniGTSystem System);
    ~TIniGT() override;

    TIniGTDefaultDir DefaultDir() const noexcept { return FDefaultDir; }
    // Stores the value and resolves the path anew from FileName, also when
    // nothing changes.
    void SetDefaultDir(TIniGTDefaultDir Value);

    // The name as assigned, not the resolved path.
    const TByteString& FileName() const noexcept { return FFileName; }
    // A name with a directory part is used as it is; otherwise DefaultDir puts it
    // in the executable's folder (or the program's configuration folder), in the
    // Windows directory, or leaves it alone. Folders are looked at; no file or
    // folder is created or changed.
    void SetFileName(const TByteString& Value);

    TIniGTFence Fence() const noexcept { return FFence; }
    void SetFence(TIniGTFence Value);
    // True until Fence is first assigned through SetFence.
    bool FenceUnassigned() const noexcept { return FFenceUnassigned; }

    // The current store; its file name is the resolved path.
    // Under ddApplication a bare name is beside the executable or in the program's
    // configuration folder (see TIniGTSystem).
    const TIniFile& IniFile() const noexcept { return *FIniFile; }

    // Derives the file name from the executable's name when none was given.
    void Loaded() override;

    std::int32_t ReadInt(const TByteString& Section, const TByteString& Key, std::int32_t Default) const;
    // Passes the store's Exception on unchanged. Makes the program's configuration
    // folder first when the file lies there.
    void WriteInt(const TByteString& Section, const TByteString& Key, std::int32_t Value);

    static constexpr const char* FenceWarningCaption = "警告";
    static constexpr const char* FenceWarningText =
        "fnVer11Mode以外の値にすると、TIniGTのVer1.0とVer1.1で書き込んだﾌｧｲﾙを正しく読めない事があります。";

protected:
    // Shown by a form designer when Fence leaves fnVer11Mode; the running
    // program never designs, so nothing is shown here.
    virtual void ShowFenceWarning() {}

private:
    struct TResolved {
        TByteString Path;
        TByteString FolderToMake;
    };
    TResolved ResolvePath(const TByteString& Name) const;

    bool FFenceUnassigned = true;
    std::unique_ptr<TIniFile> FIniFile;
    TIniGTDefaultDir FDefaultDir = TIniGTDefaultDir::ddApplication;
    TByteString FFileName;
    TIniGTFence FFence = TIniGTFence::fnNone;
    TIniGTSystem FSystem;
    TByteString FFolderToMake; // the configuration folder when the file lies there
};
