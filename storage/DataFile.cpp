#include "DataFile.h"

#include "Errors.h"
#include "Prefetch.h"
#include "PreorderIndex.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr TByteView Header = "Dummy";

// Reads a string's length: never negative, never more than the stream still holds, so
// nothing is allocated for a length that a damaged file merely claims.
std::size_t ReadLength(TReadStream& Stream) {
    const std::int32_t Length = ReadInt32(Stream);
    if (Length < 0 || static_cast<std::uint64_t>(Length) > Stream.Remaining())
        throw EReadError();
    return static_cast<std::size_t>(Length);
}

// Reads Length bytes into Text, reusing its storage.
void ReadBytesInto(TReadStream& Stream, std::size_t Length, TByteString& Text) {
    try {
        Text.resize(Length);
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory();
    }
    Stream.ReadBuffer(Text.data(), Length);
}

// Reads a string into Text, reusing its storage.
void ReadStrInto(TReadStream& Stream, TByteString& Text) {
    ReadBytesInto(Stream, ReadLength(Stream), Text);
}

// Reads a string, straight from the stream's buffer when it is there (no copy), else
// through Spare. The view lasts until the next read.
TByteView ReadStrView(TReadStream& Stream, TByteString& Spare) {
    const std::size_t Length = ReadLength(Stream);
    TByteView View;
    if (Stream.ReadView(Length, View))
        return View;
    ReadBytesInto(Stream, Length, Spare);
    return Spare;
}

// The same bytes as WriteStr(Stream, LinesToText(*Body)), without building the text.
void WriteBody(TWriteStream& Stream, const TStringList* Body) {
    if (Body == nullptr) {
        WriteInt32(Stream, 0);
        return;
    }
    const std::size_t Length = Body->TextLength();
    if (Length > static_cast<std::size_t>(INT32_MAX))
        throw EWriteError();
    WriteInt32(Stream, static_cast<std::int32_t>(Length));
    for (int I = 0; I < Body->Count(); ++I) {
        const TByteView Line = Body->Strings(I);
        Stream.WriteBuffer(Line.data(), Line.size());
        Stream.WriteBuffer("\r\n", 2);
    }
}

} // namespace

void WriteInt32(TWriteStream& Stream, std::int32_t Value) {
    const auto U = static_cast<std::uint32_t>(Value);
    const unsigned char Bytes[4] = {static_cast<unsigned char>(U), static_cast<unsigned char>(U >> 8),
                                    static_cast<unsigned char>(U >> 16), static_cast<unsigned char>(U >> 24)};
    Stream.WriteBuffer(Bytes, 4);
}

std::int32_t ReadInt32(TReadStream& Stream) {
    unsigned char Bytes[4];
    Stream.ReadBuffer(Bytes, 4);
    const std::uint32_t U = std::uint32_t{Bytes[0]} | std::uint32_t{Bytes[1]} << 8 | std::uint32_t{Bytes[2]} << 16 |
                            std::uint32_t{Bytes[3]} << 24;
    return static_cast<std::int32_t>(U);
}

void WriteStr(TWriteStream& Stream, TByteView Text) {
    if (Text.size() > static_cast<std::size_t>(INT32_MAX))
        throw EWriteError();
    WriteInt32(Stream, static_cast<std::int32_t>(Text.size()));
    Stream.WriteBuffer(Text.data(), Text.size());
}

TByteString ReadStr(TReadStream& Stream) {
    TByteString Text;
    ReadStrInto(Stream, Text);
    return Text;
}

namespace {

// Records whose parents the index has found but that the outline takes only some records
// later, in the same order. A parent anywhere in a large outline is rarely in the cache;
// by the time its record goes in, the entry has been fetched. Each record holds
// everything its append needs, so that append can fail only in the outline itself.
class TPendingAppends {
public:
    static constexpr int Lag = 16;

    bool Full() const noexcept { return FCount == Lag; }
    int Count() const noexcept { return FCount; }
    // Where the title of the next record goes, when not Full: read there, it is not copied.
    TByteString& NextTitle() noexcept { return FRecords[(FFirst + FCount) % Lag].Title; }
    // Takes the record of Slot, under ParentSlot, its title read into NextTitle. The
    // parent's place in the index is fetched now; half the lag later, the parent itself.
    void Add(const TPreorderIndex& Index, int ParentSlot, int Slot, std::unique_ptr<TStringList> Body) noexcept {
        TRecord& R = FRecords[(FFirst + FCount) % Lag];
        R.ParentSlot = ParentSlot;
        R.Slot = Slot;
        R.Body = std::move(Body);
        ++FCount;
        if (ParentSlot != -1)
            Prefetch(Index.EntryPlace(ParentSlot));
        if (FCount > Lag / 2) {
            const TRecord& Earlier = FRecords[(FFirst + FCount - 1 - Lag / 2) % Lag];
            // A parent that is pending itself is recent, and so still near.
            if (Earlier.ParentSlot != -1)
                if (const TTreeNode* Parent = Index.EntryOf(Earlier.ParentSlot)) {
                    Prefetch(Parent);
                    Prefetch(reinterpret_cast<const char*>(Parent) + sizeof(TTreeNode) - 1);
                }
        }
    }
    // Appends the oldest record to Nodes. When that fails, the records after it are
    // dropped, as a failed append ends the load there.
    void AppendOldest(TTreeNodes& Nodes, TPreorderIndex& Index) {
        TRecord& R = FRecords[FFirst];
        FFirst = (FFirst + 1) % Lag;
        --FCount;
        TTreeNode* Entry = nullptr;
        try {
            Entry =
                Nodes.AppendChild(R.ParentSlot == -1 ? nullptr : Index.EntryOf(R.ParentSlot), R.Title, R.Body.get());
        } catch (...) {
            FCount = 0;
            throw;
        }
        R.Body.release();
        Index.SetEntry(R.Slot, Entry);
    }
    void AppendAll(TTreeNodes& Nodes, TPreorderIndex& Index) {
        while (FCount > 0)
            AppendOldest(Nodes, Index);
    }

private:
    struct TRecord {
        int ParentSlot = -1;
        int Slot = -1;
        TByteString Title;
        std::unique_ptr<TStringList> Body;
    };
    TRecord FRecords[Lag];
    int FFirst = 0;
    int FCount = 0;
};

} // namespace

void ReadOutline(TTreeNodes& Nodes, TReadStream& Stream) {
    TTreeNodesUpdate Update(Nodes);
    Nodes.ClearOutline();
    TByteString Title;
    TByteString Spare;
    ReadStrInto(Stream, Title); // the header: its content means nothing
    const std::int32_t Count = ReadInt32(Stream);

    // The rightmost path of the outline: the last top-level entry, its last child, and so
    // on down, with their absolute indices. An entry appended under one of them lands at
    // the end, which is where every parent of a pre-order file is found; so parents are
    // found without walking the outline.
    std::vector<std::pair<int, TTreeNode*>> Path;
    // From the first parent off that path on, every parent is found through the index,
    // and the records reach the outline through Pending.
    std::unique_ptr<TPreorderIndex> Index;
    TPendingAppends Pending;
    // The bodies' lines go into shared blocks: no allocation per body.
    TLineArena Arena;
    try {
        for (std::int32_t K = 0; K < Count; ++K) {
            const int Size = Nodes.EntryCount() + Pending.Count();
            const std::int32_t ParentIndex = ReadInt32(Stream);
            if (Index) {
                // The parent's place in the index is fetched while the outline takes the
                // oldest pending record (nothing of this one is needed for it) and the
                // rest of this one is read.
                if (ParentIndex >= 0 && ParentIndex < Size)
                    Index->Seek(ParentIndex);
                if (Pending.Full())
                    Pending.AppendOldest(Nodes, *Index);
            }
            ReadInt32(Stream); // own index: not trusted, not needed
            ReadStrInto(Stream, Index ? Pending.NextTitle() : Title);
            const TByteView Text = ReadStrView(Stream, Spare);
            if (ParentIndex < -1 || ParentIndex >= Size)
                throw ETreeViewError();
            try {
                auto Body = std::make_unique<TStringList>();
                Arena.TextToLines(*Body, Text);
                if (!Index) {
                    if (ParentIndex == -1) {
                        TTreeNode* Entry = Nodes.AppendChild(nullptr, Title, Body.get());
                        Body.release();
                        Path.assign(1, {Size, Entry});
                        continue;
                    }
                    // The path's indices ascend from the top: a binary search finds the parent.
                    auto On = std::lower_bound(Path.begin(), Path.end(), ParentIndex,
                                               [](const auto& Step, int At) { return Step.first < At; });
                    if (On != Path.end() && On->first == ParentIndex) {
                        TTreeNode* Entry = Nodes.AppendChild(On->second, Title, Body.get());
                        Body.release();
                        Path.erase(On + 1, Path.end());
                        Path.emplace_back(Size, Entry);
                        continue;
                    }
                    // Room for the records to come, as far as the file can back them: a
                    // record takes at least 16 bytes, and no more are expected than have
                    // been read so far (and some), so a damaged count reserves nothing
                    // that the records never use; the index grows beyond that by doubling.
                    const std::uint64_t Fit = Stream.Remaining() / 16 + 1;
                    const std::uint64_t Seen = static_cast<std::uint64_t>(K) + 4096;
                    Index = std::make_unique<TPreorderIndex>(
                        Nodes, static_cast<int>(std::min({Fit, Seen, static_cast<std::uint64_t>(Count - K)})));
                    Path.clear();
                    Pending.NextTitle().swap(Title);
                }
                // Everything that can fail comes before the index takes the record, so the
                // index always matches the outline with the pending records after it.
                Index->Reserve();
                const int ParentSlot = ParentIndex == -1 ? -1 : Index->SlotAt(ParentIndex);
                const int Slot = Index->Append(ParentSlot, nullptr);
                Pending.Add(*Index, ParentSlot, Slot, std::move(Body));
            } catch (const std::bad_alloc&) {
                throw EOutOfMemory();
            }
        }
    } catch (...) {
        // The records before the failing one go in as they would have; an append that
        // fails there ends the load with its own error instead.
        if (Index)
            Pending.AppendAll(Nodes, *Index);
        throw;
    }
    if (Index)
        Pending.AppendAll(Nodes, *Index);
}

void WriteOutline(TTreeNodes& Nodes, TWriteStream& Stream) {
    WriteStr(Stream, Header);
    const int Count = Nodes.EntryCount();
    WriteInt32(Stream, Count);
    // Ancestors of the entry just written, with their indices: in pre-order, the parent of
    // the next entry is among them.
    std::vector<std::pair<const TTreeNode*, int>> Ancestors;
    for (int K = 0; K < Count; ++K) {
        const TTreeNode* Entry = Nodes.EntryAtIndex(K);
        const TTreeNode* Parent = TTreeNodes::ParentEntry(Entry);
        while (!Ancestors.empty() && Ancestors.back().first != Parent)
            Ancestors.pop_back();
        int ParentIndex = -1;
        if (Parent != nullptr)
            ParentIndex = Ancestors.empty() ? Nodes.IndexOfEntry(Parent) : Ancestors.back().second;
        Ancestors.emplace_back(Entry, K);
        WriteInt32(Stream, ParentIndex);
        WriteInt32(Stream, K);
        WriteStr(Stream, TTreeNodes::EntryTitle(Entry));
        WriteBody(Stream, TTreeNodes::EntryBody(Entry));
    }
}

TReadResult ReadOutline(TTreeNodes& Nodes, const std::string& FileName) {
    TTreeNodesUpdate Update(Nodes);
    Nodes.ClearOutline();
    TFileReadStream Stream;
    if (!Stream.Open(FileName))
        return TReadResult::rrNotFound;
    ReadOutline(Nodes, Stream);
    return TReadResult::rrRead;
}

void WriteOutline(TTreeNodes& Nodes, const std::string& FileName, int Backups) {
    TranslateOutOfMemory([&] {
        TReplacingFileStream Stream(FileName, Backups);
        WriteOutline(Nodes, Stream);
        Stream.Commit();
    });
}

void ReleaseBodiesOnDeletion(TTreeNodes& Nodes) {
    Nodes.OnDeletion = [](TObject*, TTreeNode* Node) {
        delete TTreeNodes::EntryBody(Node);
        TTreeNodes::SetEntryBody(Node, nullptr);
    };
}
