#include "IniGT.h"

#include "SystemPaths.h"

TIniGTSystem TIniGTSystem::Platform() {
    return TIniGTSystem{TNameRules::Platform(), &GetExecutablePath, &GetWindowsDirectory};
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
    TByteString Path = ResolvePath(Value);
    FFileName = Value;
    // The new store is made before the old one goes, so a store is always there.
    FIniFile = std::make_unique<TIniFile>(std::move(Path));
}

TByteString TIniGT::ResolvePath(const TByteString& Name) const {
    if (!ExtractFilePath(Name, FSystem.Rules).empty())
        return Name;
    switch (FDefaultDir) {
    case TIniGTDefaultDir::ddApplication:
        return ExtractFilePath(FSystem.ExecutablePath(), FSystem.Rules) + Name;
    case TIniGTDefaultDir::ddWindows:
        return FSystem.WindowsDirectory() + FSystem.Rules.PathDelimiter + Name;
    case TIniGTDefaultDir::ddNone:
        break;
    }
    return Name;
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
    FIniFile->WriteInt(Section, Key, Value);
}
