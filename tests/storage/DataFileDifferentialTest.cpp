// The reader against a plain model of the file format: random files (pre-order and not,
// damaged, bodies with NUL, lone CR and LF, double-byte text, strings longer than the read
// buffer) are loaded by both, and the outlines, every body's lines, the error and what a
// save writes afterwards must agree.
#include "DataFile.h"

#include "Errors.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

using namespace StorageTest;

namespace {

using TLines = std::vector<std::string>;

// ---- the plain model: every step as the format describes it, nothing clever ----

struct TModelEntry {
    int Parent = -1; // position in TModel::Entries, -1 at the top
    std::vector<int> Children;
    std::string Title;
    TLines Lines;
};

struct TModel {
    std::vector<TModelEntry> Entries; // in the order they were added
    std::vector<int> Roots;

    // Positions in pre-order, walked with an explicit stack.
    std::vector<int> PreOrder() const {
        std::vector<int> Order;
        std::vector<int> Stack(Roots.rbegin(), Roots.rend());
        while (!Stack.empty()) {
            const int E = Stack.back();
            Stack.pop_back();
            Order.push_back(E);
            const std::vector<int>& C = Entries[static_cast<std::size_t>(E)].Children;
            Stack.insert(Stack.end(), C.rbegin(), C.rend());
        }
        return Order;
    }
    int Level(int E) const {
        int Level = 0;
        for (int P = Entries[static_cast<std::size_t>(E)].Parent; P >= 0;
             P = Entries[static_cast<std::size_t>(P)].Parent)
            ++Level;
        return Level;
    }
};

// Byte by byte: CR LF, lone CR and lone LF end a line, a final line end adds nothing, the
// first NUL ends the text.
TLines SplitLines(const std::string& Text) {
    TLines Lines;
    std::size_t Cursor = 0;
    while (Cursor < Text.size() && Text[Cursor] != '\0') {
        std::string Line;
        while (Cursor < Text.size() && Text[Cursor] != '\r' && Text[Cursor] != '\n' && Text[Cursor] != '\0')
            Line += Text[Cursor++];
        Lines.push_back(Line);
        if (Cursor < Text.size() && Text[Cursor] == '\r')
            ++Cursor;
        if (Cursor < Text.size() && Text[Cursor] == '\n')
            ++Cursor;
    }
    return Lines;
}

struct TModelLoad {
    TModel Model;
    std::optional<std::type_index> Error;
    std::string Message;
};

template <class TError> void Fail(TModelLoad& Load) {
    Load.Error = typeid(TError);
    Load.Message = TError().Message();
}

// Reads Bytes field by field; a failure keeps what was appended before it.
TModelLoad ModelRead(const std::string& Bytes) {
    TModelLoad Load;
    std::size_t At = 0;
    auto Int = [&]() -> std::optional<std::int32_t> {
        if (Bytes.size() - At < 4)
            return std::nullopt;
        std::uint32_t U = 0;
        for (int I = 3; I >= 0; --I)
            U = U << 8 | static_cast<unsigned char>(Bytes[At + static_cast<std::size_t>(I)]);
        At += 4;
        return static_cast<std::int32_t>(U);
    };
    auto Str = [&]() -> std::optional<std::string> {
        const auto Length = Int();
        if (!Length || *Length < 0 || Bytes.size() - At < static_cast<std::size_t>(*Length))
            return std::nullopt;
        std::string Text = Bytes.substr(At, static_cast<std::size_t>(*Length));
        At += Text.size();
        return Text;
    };
    if (!Str()) {
        Fail<EReadError>(Load);
        return Load;
    }
    const auto Count = Int();
    if (!Count) {
        Fail<EReadError>(Load);
        return Load;
    }
    for (std::int32_t K = 0; K < *Count; ++K) {
        const auto Parent = Int();
        const auto Own = Int();
        const auto Title = Parent && Own ? Str() : std::nullopt;
        const auto Body = Title ? Str() : std::nullopt;
        if (!Body) {
            Fail<EReadError>(Load);
            return Load;
        }
        TModel& M = Load.Model;
        const int Size = static_cast<int>(M.Entries.size());
        if (*Parent < -1 || *Parent >= Size) {
            Fail<ETreeViewError>(Load);
            return Load;
        }
        TModelEntry Entry;
        Entry.Title = *Title;
        Entry.Lines = SplitLines(*Body);
        const int Position = Size;
        if (*Parent == -1) {
            M.Roots.push_back(Position);
        } else {
            // The entry at that index in the outline as it stands now.
            Entry.Parent = M.PreOrder()[static_cast<std::size_t>(*Parent)];
            M.Entries[static_cast<std::size_t>(Entry.Parent)].Children.push_back(Position);
        }
        M.Entries.push_back(std::move(Entry));
    }
    return Load;
}

// What saving the model writes.
std::string ModelWrite(const TModel& M) {
    std::string Bytes = StrBytes("Dummy") + Int32Bytes(static_cast<std::int32_t>(M.Entries.size()));
    const std::vector<int> Order = M.PreOrder();
    std::vector<int> IndexOf(M.Entries.size());
    for (std::size_t I = 0; I < Order.size(); ++I)
        IndexOf[static_cast<std::size_t>(Order[I])] = static_cast<int>(I);
    for (std::size_t I = 0; I < Order.size(); ++I) {
        const TModelEntry& E = M.Entries[static_cast<std::size_t>(Order[I])];
        std::string Text;
        for (const std::string& Line : E.Lines)
            Text += Line + "\r\n";
        Bytes += RecordBytes(E.Parent < 0 ? -1 : IndexOf[static_cast<std::size_t>(E.Parent)],
                             static_cast<std::int32_t>(I), E.Title, Text);
    }
    return Bytes;
}

// ---- random files ----

std::string RandomBytes(std::mt19937& Random, std::size_t Max) {
    static const char* const Pieces[] = {"ab", "x", "\r\n", "\r",       "\n",       "\n\r", "\r\r",
                                         "\0", "",  " ",    "\x81\x40", "\x97\x76", "\xFF", "\x81"};
    static const std::size_t Sizes[] = {2, 1, 2, 1, 1, 2, 2, 1, 0, 1, 2, 2, 1, 1};
    std::string Text;
    const std::size_t Length = Random() % (Max + 1);
    while (Text.size() < Length) {
        const std::size_t Pick = Random() % std::size(Pieces);
        // NUL rarely, so most bodies keep lines after it to be dropped.
        if (Pick == 7 && Random() % 4 != 0)
            continue;
        Text.append(Pieces[Pick], Sizes[Pick]);
    }
    return Text;
}

struct TRandomFile {
    std::string Bytes;
    bool PreOrder;
};

// A file of up to 60 records. PreOrder files name a parent on the path of last entries;
// the others name any entry. Then, now and then, a damage.
TRandomFile RandomFile(std::mt19937& Random) {
    TRandomFile File;
    File.PreOrder = Random() % 2 == 0;
    const int Count = static_cast<int>(Random() % 61);
    std::string Header = Random() % 5 == 0 ? RandomBytes(Random, 8) : std::string("Dummy");
    const int Claimed = Random() % 10 == 0   ? Count + 1 + static_cast<int>(Random() % 3)
                        : Random() % 20 == 0 ? -static_cast<int>(Random() % 5)
                                             : Count;
    File.Bytes = StrBytes(Header) + Int32Bytes(Claimed);
    std::vector<int> Path; // pre-order: the last entry's ancestors and itself, by index
    for (int K = 0; K < Count; ++K) {
        int Parent = -1;
        if (File.PreOrder) {
            const std::size_t Depth = Random() % (Path.size() + 1);
            Parent = Depth == 0 ? -1 : Path[Depth - 1];
            Path.resize(Depth);
            Path.push_back(K);
        } else if (K > 0 && Random() % 4 != 0) {
            Parent = static_cast<int>(Random() % static_cast<unsigned>(K));
        }
        if (Random() % 80 == 0)
            Parent = Random() % 2 == 0 ? -2 - static_cast<int>(Random() % 3) : K + static_cast<int>(Random() % 3);
        std::string Body = RandomBytes(Random, 40);
        // Now and then a string longer than the file reader's buffer.
        if (Random() % 40 == 0)
            Body += std::string(300'000 + Random() % 1000, 'w') + "\r\nend\r\n";
        File.Bytes += RecordBytes(Parent, static_cast<std::int32_t>(Random()), RandomBytes(Random, 10), Body);
    }
    switch (Random() % 8) {
    case 0: // cut anywhere
        File.Bytes.resize(Random() % (File.Bytes.size() + 1));
        break;
    case 1: { // a string length made negative or huge
        if (File.Bytes.size() > 20) {
            const std::size_t At = 13 + Random() % (File.Bytes.size() - 17);
            File.Bytes.replace(At, 4, Int32Bytes(Random() % 2 == 0 ? -1 - static_cast<int>(Random() % 9) : 0x7FFFFFF0));
        }
        break;
    }
    case 2: // bytes after the last record
        File.Bytes += RandomBytes(Random, 20);
        break;
    default:
        break;
    }
    return File;
}

// ---- comparing ----

struct TLoad {
    std::optional<std::type_index> Error;
    std::string Message;
};

TLoad LoadInto(TTreeNodes& Nodes, TReadStream& Stream) {
    TLoad Load;
    try {
        ReadOutline(Nodes, Stream);
    } catch (const Exception& E) {
        Load.Error = typeid(E);
        Load.Message = E.what();
    }
    return Load;
}

// Pre-order walks of both side by side: level, title and lines of every entry.
void ExpectSameOutline(TTreeNodes& Nodes, const TModel& M, const std::string& Where) {
    const std::vector<int> Order = M.PreOrder();
    ASSERT_EQ(Nodes.EntryCount(), static_cast<int>(Order.size())) << Where;
    TTreeNode* E = Nodes.GetFirstNode();
    for (std::size_t I = 0; I < Order.size(); ++I, E = E->GetNext()) {
        ASSERT_NE(E, nullptr) << Where;
        const TModelEntry& Expected = M.Entries[static_cast<std::size_t>(Order[I])];
        ASSERT_EQ(TTreeNodes::EntryLevel(E), M.Level(Order[I])) << Where << " entry " << I;
        ASSERT_EQ(E->Text(), Expected.Title) << Where << " entry " << I;
        ASSERT_EQ(LinesOf(E->Data()), Expected.Lines) << Where << " entry " << I;
        ASSERT_EQ(Nodes.EntryAtIndex(static_cast<int>(I)), E) << Where;
    }
    EXPECT_EQ(E, nullptr) << Where;
}

class ReaderAgainstModel : public testing::TestWithParam<unsigned> {};

TEST_P(ReaderAgainstModel, GivesTheSameOutlineBodiesErrorAndSave) {
    std::mt19937 Random(GetParam());
    TScratchDir Dir;
    for (int Round = 0; Round < 60; ++Round) {
        const TRandomFile File = RandomFile(Random);
        const std::string Where = "seed " + std::to_string(GetParam()) + " round " + std::to_string(Round) +
                                  (File.PreOrder ? " (pre-order)" : " (any order)");
        const TModelLoad Expected = ModelRead(File.Bytes);

        // From memory, and from a file through the buffered reader.
        TOwningOutline FromMemory;
        TMemoryReadStream Stream(File.Bytes);
        const TLoad Memory = LoadInto(FromMemory, Stream);
        ASSERT_EQ(Memory.Error, Expected.Error) << Where;
        EXPECT_EQ(Memory.Message, Expected.Message) << Where;
        ExpectSameOutline(FromMemory, Expected.Model, Where + " from memory");

        WriteFileBytes(Dir / "random.dat", File.Bytes);
        TOwningOutline FromFile;
        std::optional<std::type_index> FileError;
        try {
            ASSERT_EQ(ReadOutline(FromFile, Dir / "random.dat"), TReadResult::rrRead);
        } catch (const Exception& E) {
            FileError = typeid(E);
        }
        ASSERT_EQ(FileError, Expected.Error) << Where;
        ExpectSameOutline(FromFile, Expected.Model, Where + " from a file");

        // A save writes what the model writes, and loading that gives the same again.
        TMemoryWriteStream Out;
        WriteOutline(FromFile, Out);
        ASSERT_EQ(Out.Bytes(), ModelWrite(Expected.Model)) << Where;
        TOwningOutline Reloaded;
        TMemoryReadStream Again(Out.Bytes());
        ASSERT_FALSE(LoadInto(Reloaded, Again).Error) << Where;
        ExpectSameOutline(Reloaded, Expected.Model, Where + " reloaded");
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReaderAgainstModel, testing::Values(1u, 2u, 3u, 17u, 2026u, 31337u, 4242u, 99991u));

} // namespace
