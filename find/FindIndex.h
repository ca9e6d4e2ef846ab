#pragma once
// TFindIndex: the folded form (TFindText) of every entry's title and body, kept beside an
// outline so that a search scans folded text instead of decoding every entry.
//
// It observes the outline and follows it through its notifications only: an added entry,
// a changed title and an entry that stops being the selection (the body editor is
// committed into the entry being left) are marked for folding again; removed entries and
// a reset (clear, load) drop their forms. Folding happens later, in BuildFor() or at the
// start of a search, so edits cost next to nothing. A body changed by other means than the
// selection flow must be reported through EntryBodyChanged().
//
// A search scans the folded texts in pre-order through a list of them kept in that order;
// an insertion, removal or move updates the list in place (one move of its tail).
//
// Memory: nothing until the first build starts; then per entry a hash-table node and a
// place in the pre-order list with the byte pairs of its text (about 130 bytes together) and a heap block of the folded
// text (UTF-8: about the size of the code page 932 text for Latin text, 1.5 times for
// Japanese). The find benchmark's outline of 1,000,000 entries (a 185 MB data file)
// takes about 330 MB more, 200 MB of it folded text.
//
// The index must be destroyed before its outline.
#include "FindText.h"
#include "TreeNodes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class TFindDirection { fdNext, fdPrevious };
using enum TFindDirection;

class TFindIndex : private TOutlineObserver {
public:
    explicit TFindIndex(TTreeNodes& Nodes);
    ~TFindIndex() override;
    TFindIndex(const TFindIndex&) = delete;
    TFindIndex& operator=(const TFindIndex&) = delete;

    // Folds entries that have no current folded form for about Budget; returns true once
    // every entry has one. Cheap when there is nothing to do.
    bool BuildFor(std::chrono::microseconds Budget);
    bool Complete() const noexcept { return FComplete && FDirty.empty(); }

    // The entry after From in pre-order (Direction fdNext) or before it (fdPrevious),
    // wrapping past the end, whose title or body contains Needle (a TFindText::Needle);
    // From itself comes last. Without From the search starts at the first (last) entry.
    // The entry Own, if any, is matched against OwnFolded instead of its stored text (the
    // selected entry, with the fields' text). Completes the index first. nullptr: none.
    TTreeNode* Find(std::string_view Needle, const TTreeNode* From, TFindDirection Direction,
                    const TTreeNode* Own = nullptr, std::string_view OwnFolded = {});

    // Marks Entry's folded form as out of date (its body was replaced outside the selection flow).
    void EntryBodyChanged(const TTreeNode* Entry);

    // The folded form of Entry's title and body as the index compares it: the folded
    // title, a line mark, then the folded body.
    static std::string FoldEntry(const TTreeNode* Entry);
    static std::string FoldFields(QStringView Title, QStringView Body);

    // Runs after a reset (clear, load) has dropped every folded form.
    std::function<void()> OnReset;

    // Entries with a folded form, and the bytes of folded text held.
    std::size_t EntryCount() const noexcept { return FRecords.size(); }
    std::size_t TextBytes() const noexcept { return FTextBytes; }

private:
    struct TRecord {
        std::unique_ptr<char[]> Text;
        std::uint32_t Length = 0;
        std::uint32_t Slot = 0; // where in FOrder it was last seen: a hint
        bool Dirty = true;
    };
    struct TSlot {
        const char* Text;
        std::uint32_t Length;
        TTreeNode* Entry;
        TFindText::TBigrams Bigrams; // of Text: most slots are passed over on these alone
    };

    void EntryAboutToBeInserted(TTreeNode*, int) override {}
    void EntryInserted(TTreeNode* Entry) override;
    void EntryAboutToBeRemoved(TTreeNode* Entry) override;
    void EntryRemoved(TTreeNode*, int) override {}
    void EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode*, int) override;
    void EntryMoved(TTreeNode* Entry) override;
    void OutlineAboutToBeReset() override {}
    void OutlineReset() override;
    void EntryChanged(TTreeNode* Entry) override;
    void EntryExpandedChanged(TTreeNode*) override {}
    void SelectionChanged(TTreeNode* Entry) override;

    void MarkDirty(const TTreeNode* Entry);
    void Refold(const TTreeNode* Entry, TRecord& Record);
    TRecord& RecordOf(TTreeNode* Entry);
    static constexpr std::size_t NoSlot = static_cast<std::size_t>(-1);
    // Entry's place in FOrder, or NoSlot.
    std::size_t SlotOf(const TTreeNode* Entry, TRecord& Record) noexcept;
    std::size_t SlotOf(const TTreeNode* Entry) noexcept;
    static std::size_t SubtreeSize(const TTreeNode* Top) noexcept;
    void AddSlot(TTreeNode* Entry, TRecord& Record);
    void RenewOrder();
    void DropOrder() noexcept;
    void Clear() noexcept;

    TTreeNodes& FNodes;
    std::unordered_map<const TTreeNode*, TRecord> FRecords;
    // Entries marked since the first build finished; each at most once (its Dirty flag).
    std::vector<const TTreeNode*> FDirty;
    // Every entry in pre-order with its folded text, while FOrderValid.
    std::vector<TSlot> FOrder;
    bool FOrderValid = false;
    // The run of a subtree taken out of FOrder between the two notifications of a move.
    std::vector<TSlot> FMoving;
    const TTreeNode* FMovingEntry = nullptr;
    // The first build walks the outline in pre-order, filling FOrder as it goes; a
    // structural change restarts the walk, which skips entries already folded.
    bool FComplete = false;
    TTreeNode* FCursor = nullptr;
    // Nothing is recorded before the first build starts (nor after a reset until the next).
    bool FStarted = false;
    const TTreeNode* FSelected = nullptr;
    std::size_t FTextBytes = 0;
};
