#include "IniGT.h"

#include "SystemPaths.h"

TIniGTSystem TIniGTSystem::Platform() {
    return TIniGTSystem{TNameRules::Platform(),  &GetExecutablePath, &GetWindowsDirectory,
                        &GetProgramConfigFolder, &PathExists,        &FolderTakesSettings,
                        &::MakeFolders};
}

TIniGT::TIniGT(TComponent* AOwner) : TIniGT(AOwner, TIniGTSystem::Platform()) {}

TIniGT::TIniGT(TComponent* AOwner, TIniGTSystem System)
    : TComponent(AOwner), FIniFile(std::make_unique<TIniFile>(TByteString())), FSystem(std::move(System)) {}

TIniGT::~TIniGT() = default;

void TIniGT::SetDefaultDir(TIniGTDefaultDir Value) {
    FDefaultDir = Value;
    SetFileName(FFileName);
}

void TIniGT::SetFileName(const TByteString& Value) {
    TResolved Resolved = ResolvePath(Value);
    FFileName = Value;
    // The new store is made before the old one goes, so a store is always there.
    FIniFile = std::make_unique<TIniFile>(std::move(Resolved.Path));
    FFolderToMake = std::move(Resolved.FolderToMake);
}

TIniGT::TResolved TIniGT::ResolvePath(const TByteString& Name) const {
    if (!ExtractFilePath(Name, FSystem.Rules).empty())
        return {Name, {}};
    switch (FDefaultDir) {
    case TIniGTDefaultDir::ddApplication: {
        const TByteString Folder = ExtractFilePath(FSystem.ExecutablePath(), FSystem.Rules);
        TByteString Beside = Folder + Name;
        if (Name.empty() || !FSystem.ConfigFolder || FSystem.Exists(Beside) || FSystem.FolderTakesFile(Folder))
            return {std::move(Beside), {}};
        TByteString Config = FSystem.ConfigFolder();
        if (Config.empty())
            return {std::move(Beside), {}};
        TByteString Path = Config + FSystem.Rules.PathDelimiter + Name;
        return {std::move(Path), std::move(Config)};
    }
    case TIniGTDefaultDir::ddWindows:
        return {FSystem.WindowsDirectory() + FSystem.Rules.PathDelimiter + Name, {}};
    case TIniGTDefaultDir::ddNone:
        break;
    }
    return {Name, {}};
}

void TIniGT::SetFence(TIniGTFence Value) {
    if (Value != FFence) {
        if (Designing() && FFence == TIniGTFence::fnVer11Mode)
            ShowFenceWarning();
        FFence = Value;
    }
    FFenceUnassigned = false;
}

void TIniGT::Loaded() {
    TComponent::Loaded();
    if (FFileName.empty() && !Designing()) {
        TByteString Name = ExtractFileName(FSystem.ExecutablePath(), FSystem.Rules);
        Name = LowerAsciiLetters(ChangeFileExt(Name, ".INI", FSystem.Rules));
        if (!Name.empty() && Name[0] >= 'a' && Name[0] <= 'z')
            Name[0] = static_cast<char>(Name[0] - ('a' - 'A'));
        SetFileName(Name);
    }
    if (Designing() && FFenceUnassigned)
        FFence = TIniGTFence::fnVer11Mode;
}

std::int32_t TIniGT::ReadInt(const TByteString& Section, const TByteString& Key, std::int32_t Default) const {
    return FIniFile->ReadInt(Section, Key, Default);
}

void TIniGT::WriteInt(const TByteString& Section, const TByteString& Key, std::int32_t Value) {
    // A folder that cannot be made shows as the write's own error.
    if (!FFolderToMake.empty() && FSystem.MakeFolders)
        FSystem.MakeFolders(FFolderToMake);
    FIniFile->WriteInt(Section, Key, Value);
}
