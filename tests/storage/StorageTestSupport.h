#pragma once
// Helpers shared by the storage tests: scratch directories, whole-file bytes, outlines
// built from a compact description and rendered back to one.
#include "ByteString.h"
#include "DataFile.h"
#include "Errors.h"
#include "FileStream.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace StorageTest {

// A fresh directory, removed with everything in it at the end of the test.
class TScratchDir {
public:
    TScratchDir() {
        std::string Template = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
        if (::mkdtemp(Template.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = Template;
    }
    ~TScratchDir() {
        std::error_code Ignored;
        std::filesystem::remove_all(FPath, Ignored);
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    std::string operator/(const std::string& Name) const { return (FPath / Name).string(); }
    const std::filesystem::path& Path() const { return FPath; }
    // Names of the directory's entries, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> Result;
        for (const auto& Entry : std::filesystem::directory_iterator(FPath))
            Result.push_back(Entry.path().filename().string());
        std::sort(Result.begin(), Result.end());
        return Result;
    }

private:
    std::filesystem::path FPath;
};

// The bytes of a regular file; empty for anything else.
inline TByteString ReadFileBytes(const std::string& Path) {
    std::error_code Error;
    if (!std::filesystem::is_regular_file(Path, Error))
        return {};
    std::ifstream In(Path, std::ios::binary);
    return TByteString(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& Path, TByteView Bytes) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

inline std::string Fixture(const std::string& Name) {
    return std::string(QUORVEL_STORAGE_DATA) + "/" + Name;
}

// Little-endian pieces of a data file, written by hand so that tests do not depend on
// the writer they check.
inline TByteString Int32Bytes(std::int32_t Value) {
    const auto U = static_cast<std::uint32_t>(Value);
    return {static_cast<char>(U & 0xFF), static_cast<char>((U >> 8) & 0xFF), static_cast<char>((U >> 16) & 0xFF),
            static_cast<char>((U >> 24) & 0xFF)};
}
inline TByteString StrBytes(TByteView Text) {
    return Int32Bytes(static_cast<std::int32_t>(Text.size())) + TByteString(Text);
}
inline TByteString RecordBytes(std::int32_t Parent, std::int32_t Own, TByteView Title, TByteView Body) {
    return Int32Bytes(Parent) + Int32Bytes(Own) + StrBytes(Title) + StrBytes(Body);
}

// The outline as titles in pre-order, a child list in parentheses: "A(B,C(D)),E".
inline std::string Shape(TTreeNodes& Nodes) {
    std::string Result;
    int Previous = -1;
    for (TTreeNode* E = Nodes.GetFirstNode(); E != nullptr; E = E->GetNext()) {
        const int Level = TTreeNodes::EntryLevel(E);
        if (Previous >= 0)
            Result += Level > Previous ? "(" : Level == Previous ? "," : "";
        for (int L = Previous; L > Level; --L)
            Result += ")";
        if (Previous > Level)
            Result += ",";
        Result += E->Text();
        Previous = Level;
    }
    for (int L = Previous; L > 0; --L)
        Result += ")";
    return Result;
}

inline std::vector<std::string> LinesOf(const TStringList* Body) {
    std::vector<std::string> Lines;
    if (Body != nullptr)
        for (int I = 0; I < Body->Count(); ++I)
            Lines.emplace_back(Body->Strings(I));
    return Lines;
}

inline TStringList* NewBody(std::initializer_list<TByteView> Lines) {
    auto* Body = new TStringList;
    for (TByteView Line : Lines)
        Body->Add(Line);
    return Body;
}

// A sink that takes Limit bytes and then fails like a full disk.
class TFailingStream final : public TWriteStream {
public:
    explicit TFailingStream(std::size_t Limit) : FLimit(Limit) {}
    TByteString Taken;

private:
    void WriteSlow(const char* Buffer, std::size_t Count) override {
        const std::size_t Room = FLimit - Taken.size();
        Taken.append(Buffer, std::min(Room, Count));
        if (Count > Room)
            throw EWriteError();
    }
    std::size_t FLimit;
};

// An outline that releases its bodies, as the window does.
class TOwningOutline : public TTreeNodes {
public:
    TOwningOutline() { ReleaseBodiesOnDeletion(*this); }
};

// An outline's pre-order as a plain vector, with the depth at each position: the last child
// of the entry at position P goes after the last position past P that is deeper than P.
// The reference for whatever keeps that order in a cleverer way.
template <class TItem> struct TPlainPreorder {
    std::vector<TItem> Order;
    std::vector<int> Depth; // by position, like Order
    int LastPosition = -1;

    // Item as the last child of the entry at ParentIndex (-1: the top level); its position.
    int Append(int ParentIndex, TItem Item) {
        auto At = Order.size();
        int Level = 0;
        if (ParentIndex >= 0) {
            const auto P = static_cast<std::size_t>(ParentIndex);
            At = P + 1;
            while (At < Order.size() && Depth[At] > Depth[P])
                ++At;
            Level = Depth[P] + 1;
        }
        Order.insert(Order.begin() + static_cast<std::ptrdiff_t>(At), Item);
        Depth.insert(Depth.begin() + static_cast<std::ptrdiff_t>(At), Level);
        LastPosition = static_cast<int>(At);
        return LastPosition;
    }
};

} // namespace StorageTest
