#include "FindIndex.h"

#include "CodePage932.h"
#include "StringList.h"

#include <algorithm>
#include <cstring>

namespace {

// Pre-order successor of N inside Top's subtree, or nullptr.
const TTreeNode* NextInSubtree(const TTreeNode* N, const TTreeNode* Top) noexcept {
    if (N->Count() > 0)
        return N->Item(0);
    while (N != Top) {
        const TTreeNode* Parent = N->Parent();
        if (!Parent)
            return nullptr;
        if (N->IndexInParent() + 1 < Parent->Count())
            return Parent->Item(N->IndexInParent() + 1);
        N = Parent;
    }
    return nullptr;
}

} // namespace

TFindIndex::TFindIndex(TTreeNodes& Nodes) : FNodes(Nodes) {
    FSelected = FNodes.SelectedEntry();
    FNodes.AddObserver(this);
}

TFindIndex::~TFindIndex() {
    FNodes.RemoveObserver(this);
}

std::string TFindIndex::FoldEntry(const TTreeNode* Entry) {
    std::string Out;
    const TByteString& Title = Entry->Text();
    const TStringList* Body = Entry->Data();
    TByteString Bytes;
    Bytes.reserve(Title.size() + 2 + (Body ? Body->TextLength() : 0));
    Bytes += Title;
    Bytes += "\r\n";
    if (Body) {
        for (int Line = 0; Line < Body->Count(); ++Line) {
            Bytes += Body->Strings(Line);
            Bytes += "\r\n";
        }
    }
    const std::u16string Wide = TCodePage932::Decode(Bytes);
    TFindText::FoldInto(Out, QStringView(Wide.data(), static_cast<qsizetype>(Wide.size())));
    return Out;
}

std::string TFindIndex::FoldFields(QStringView Title, QStringView Body) {
    std::string Out;
    TFindText::FoldInto(Out, Title);
    Out += TFindText::LineMark;
    TFindText::FoldInto(Out, Body);
    return Out;
}

void TFindIndex::Refold(const TTreeNode* Entry, TRecord& Record) {
    const std::string Folded = FoldEntry(Entry);
    FTextBytes -= Record.Length;
    Record.Text.reset();
    Record.Length = 0;
    // Longer texts are cut: a body may not exceed the editor's limit, far below this.
    const std::size_t Length = std::min<std::size_t>(Folded.size(), UINT32_MAX);
    Record.Text = std::make_unique_for_overwrite<char[]>(Length);
    std::memcpy(Record.Text.get(), Folded.data(), Length);
    Record.Length = static_cast<std::uint32_t>(Length);
    Record.Dirty = false;
    FTextBytes += Length;
    if (!FOrderValid)
        return;
    const std::size_t Slot = SlotOf(Entry, Record);
    if (Slot == NoSlot) {
        DropOrder();
        return;
    }
    FOrder[Slot].Text = Record.Text.get();
    FOrder[Slot].Length = Record.Length;
    FOrder[Slot].Bigrams = TFindText::TBigrams::Of({Record.Text.get(), Record.Length});
}

std::size_t TFindIndex::SlotOf(const TTreeNode* Entry, TRecord& Record) noexcept {
    // The hint is exact unless entries were added or removed before Entry since it was
    // set; then the place is near it, so the search widens from there.
    const std::size_t Count = FOrder.size();
    const std::size_t Hint = std::min<std::size_t>(Record.Slot, Count == 0 ? 0 : Count - 1);
    for (std::size_t Distance = 0; Distance < Count; ++Distance) {
        const bool Above = Hint + Distance < Count;
        const bool Below = Distance <= Hint;
        if (!Above && !Below)
            break;
        std::size_t Slot = NoSlot;
        if (Above && FOrder[Hint + Distance].Entry == Entry)
            Slot = Hint + Distance;
        else if (Below && FOrder[Hint - Distance].Entry == Entry)
            Slot = Hint - Distance;
        if (Slot != NoSlot) {
            Record.Slot = static_cast<std::uint32_t>(Slot);
            return Slot;
        }
    }
    return NoSlot;
}

std::size_t TFindIndex::SlotOf(const TTreeNode* Entry) noexcept {
    const auto Found = FRecords.find(Entry);
    return Found == FRecords.end() ? NoSlot : SlotOf(Entry, Found->second);
}

std::size_t TFindIndex::SubtreeSize(const TTreeNode* Top) noexcept {
    std::size_t Size = 0;
    for (const TTreeNode* N = Top; N; N = NextInSubtree(N, Top))
        ++Size;
    return Size;
}

TFindIndex::TRecord& TFindIndex::RecordOf(TTreeNode* Entry) {
    TRecord& Record = FRecords[Entry];
    if (Record.Dirty)
        Refold(Entry, Record);
    return Record;
}

void TFindIndex::AddSlot(TTreeNode* Entry, TRecord& Record) {
    Record.Slot = static_cast<std::uint32_t>(FOrder.size());
    FOrder.push_back(
        {Record.Text.get(), Record.Length, Entry, TFindText::TBigrams::Of({Record.Text.get(), Record.Length})});
}

void TFindIndex::DropOrder() noexcept {
    FOrderValid = false;
    FOrder.clear();
}

void TFindIndex::RenewOrder() {
    DropOrder();
    FOrder.reserve(FRecords.size());
    for (TTreeNode* N = FNodes.GetFirstNode(); N; N = N->GetNext())
        AddSlot(N, RecordOf(N));
    FOrderValid = true;
}

bool TFindIndex::BuildFor(std::chrono::microseconds Budget) {
    using TClock = std::chrono::steady_clock;
    const TClock::time_point Now = TClock::now();
    // A budget beyond any deadline the clock can hold means no limit.
    const auto Deadline =
        Budget >= std::chrono::duration_cast<std::chrono::microseconds>(TClock::time_point::max() - Now)
            ? TClock::time_point::max()
            : Now + Budget;
    FStarted = true;
    int Steps = 0;
    const auto TimeUp = [&] { return (++Steps & 63) == 0 && TClock::now() >= Deadline; };
    if (!FComplete) {
        if (FCursor == nullptr) {
            FCursor = FNodes.GetFirstNode();
            FRecords.reserve(static_cast<std::size_t>(FNodes.EntryCount()));
            DropOrder();
            FOrder.reserve(static_cast<std::size_t>(FNodes.EntryCount()));
        }
        while (FCursor != nullptr) {
            AddSlot(FCursor, RecordOf(FCursor));
            FCursor = FCursor->GetNext();
            if (TimeUp())
                return false;
        }
        FComplete = true;
        FOrderValid = true;
    }
    while (!FDirty.empty()) {
        const TTreeNode* Entry = FDirty.back();
        FDirty.pop_back();
        // Entries removed since they were marked have no record any more.
        if (const auto Found = FRecords.find(Entry); Found != FRecords.end() && Found->second.Dirty)
            Refold(Entry, Found->second);
        if (TimeUp())
            return Complete();
    }
    return true;
}

TTreeNode* TFindIndex::Find(std::string_view Needle, const TTreeNode* From, TFindDirection Direction,
                            const TTreeNode* Own, std::string_view OwnFolded) {
    if (Needle.empty() || FNodes.EntryCount() == 0)
        return nullptr;
    BuildFor(std::chrono::microseconds::max());
    if (!FOrderValid)
        RenewOrder();
    const std::size_t Count = FOrder.size();
    const bool Forward = Direction == fdNext;
    // The scan starts after From (at the first or last entry without it) and ends with From.
    std::size_t At = Forward ? Count - 1 : 0;
    if (From) {
        if (const std::size_t Slot = SlotOf(From); Slot != NoSlot)
            At = Slot;
    }
    const TFindText::TSearcher Searcher(Needle);
    const bool OwnHit = Own != nullptr && Searcher.In(OwnFolded);
    for (std::size_t Step = 0; Step < Count; ++Step) {
        At = Forward ? (At + 1 == Count ? 0 : At + 1) : (At == 0 ? Count - 1 : At - 1);
        const TSlot& Slot = FOrder[At];
        if (Slot.Entry == Own ? OwnHit : (Searcher.MayBeIn(Slot.Bigrams) && Searcher.In(Slot.Text, Slot.Length)))
            return Slot.Entry;
    }
    return nullptr;
}

void TFindIndex::MarkDirty(const TTreeNode* Entry) {
    if (Entry == nullptr)
        return;
    const auto Found = FRecords.find(Entry);
    // Not folded yet: the first build still has to reach it.
    if (Found == FRecords.end() || Found->second.Dirty)
        return;
    Found->second.Dirty = true;
    FDirty.push_back(Entry);
}

void TFindIndex::EntryBodyChanged(const TTreeNode* Entry) {
    MarkDirty(Entry);
}

void TFindIndex::EntryInserted(TTreeNode* Entry) {
    // Until the first build starts, that build will see every entry anyway.
    if (!FStarted)
        return;
    const auto [Where, Added] = FRecords.try_emplace(Entry);
    TRecord& Record = Where->second;
    if (!Added) {
        FTextBytes -= Record.Length;
        Record = TRecord();
    }
    FDirty.push_back(Entry);
    if (!FComplete) {
        // The walk of the first build starts again; it skips what it has folded.
        FCursor = nullptr;
        return;
    }
    if (!FOrderValid)
        return;
    // A new entry has no children: it goes where the entry after it stands.
    const TTreeNode* Next = Entry->GetNext();
    const std::size_t At = Next ? SlotOf(Next) : FOrder.size();
    if (At == NoSlot) {
        DropOrder();
        return;
    }
    FOrder.insert(FOrder.begin() + static_cast<std::ptrdiff_t>(At), TSlot{nullptr, 0, Entry, {}});
    Record.Slot = static_cast<std::uint32_t>(At);
}

void TFindIndex::EntryAboutToBeRemoved(TTreeNode* Entry) {
    if (!FStarted) {
        if (FSelected && FSelected->IsSelfOrDescendantOf(Entry))
            FSelected = nullptr;
        return;
    }
    if (FOrderValid) {
        // A subtree stands in pre-order as one run, starting with its top.
        const std::size_t At = SlotOf(Entry);
        const std::size_t Size = SubtreeSize(Entry);
        if (At == NoSlot || At + Size > FOrder.size()) {
            DropOrder();
        } else {
            const auto First = FOrder.begin() + static_cast<std::ptrdiff_t>(At);
            FOrder.erase(First, First + static_cast<std::ptrdiff_t>(Size));
        }
    }
    for (const TTreeNode* N = Entry; N; N = NextInSubtree(N, Entry)) {
        if (const auto Found = FRecords.find(N); Found != FRecords.end()) {
            FTextBytes -= Found->second.Length;
            FRecords.erase(Found);
        }
        if (N == FSelected)
            FSelected = nullptr;
    }
    // The walk of the first build may stand in the removed subtree.
    if (!FComplete)
        FCursor = nullptr;
}

void TFindIndex::EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode*, int) {
    FMoving.clear();
    FMovingEntry = nullptr;
    if (!FComplete) {
        // A moved subtree may jump past the walk of the first build or behind it.
        FCursor = nullptr;
        return;
    }
    if (!FOrderValid)
        return;
    const std::size_t At = SlotOf(Entry);
    const std::size_t Size = SubtreeSize(Entry);
    if (At == NoSlot || At + Size > FOrder.size()) {
        DropOrder();
        return;
    }
    // The subtree's run leaves the list until the move is done.
    const auto First = FOrder.begin() + static_cast<std::ptrdiff_t>(At);
    FMoving.assign(First, First + static_cast<std::ptrdiff_t>(Size));
    FOrder.erase(First, First + static_cast<std::ptrdiff_t>(Size));
    FMovingEntry = Entry;
}

void TFindIndex::EntryMoved(TTreeNode* Entry) {
    if (!FOrderValid || FMovingEntry != Entry) {
        FMoving.clear();
        FMovingEntry = nullptr;
        return;
    }
    FMovingEntry = nullptr;
    // The run goes back where the entry after the subtree's last entry stands.
    const TTreeNode* Last = Entry;
    while (Last->Count() > 0)
        Last = Last->Item(Last->Count() - 1);
    const TTreeNode* Next = Last->GetNext();
    const std::size_t At = Next ? SlotOf(Next) : FOrder.size();
    if (At == NoSlot) {
        DropOrder();
    } else {
        FOrder.insert(FOrder.begin() + static_cast<std::ptrdiff_t>(At), FMoving.begin(), FMoving.end());
        if (const auto Found = FRecords.find(Entry); Found != FRecords.end())
            Found->second.Slot = static_cast<std::uint32_t>(At);
    }
    FMoving.clear();
}

void TFindIndex::OutlineReset() {
    Clear();
    FSelected = FNodes.SelectedEntry();
    if (OnReset)
        OnReset();
}

void TFindIndex::EntryChanged(TTreeNode* Entry) {
    MarkDirty(Entry);
}

void TFindIndex::SelectionChanged(TTreeNode* Entry) {
    // The entry being left has just taken the fields' text.
    MarkDirty(FSelected);
    FSelected = Entry;
}

void TFindIndex::Clear() noexcept {
    FStarted = false;
    DropOrder();
    FMoving.clear();
    FMovingEntry = nullptr;
    FRecords.clear();
    FDirty.clear();
    FComplete = false;
    FCursor = nullptr;
    FTextBytes = 0;
}
