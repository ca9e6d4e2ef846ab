#pragma once
// TPreorderIndex: finds the entry at an absolute index of an outline that is being built by
// appending last children, in logarithmic time however the appends are ordered.
//
// The data file reader needs it for files whose records are not in pre-order: there a
// parent index names an entry anywhere in the outline built so far, and walking the
// outline from its first entry for every record would take quadratic time.
//
// The outline is kept as its bracket sequence (an opening token when an entry begins, a
// closing one after its subtree) in a counted B+ tree: leaves hold runs of tokens, inner
// nodes the number of opening tokens below each child. The entry at index i owns the
// (i+1)-th opening token, found by one descent; appending a last child of P puts a new pair
// right before P's closing token, whose leaf is looked up, so the append is a move inside
// one leaf (and, now and then, a split). Arrays indexed by int32 rather than pointers keep
// it compact and cache-friendly: every leaf but the last at least half full, that is at
// most about 5.5 int32 and one pointer per entry (a million random appends: 4), only for
// the files that need it. Plain C++, no recursion.
#include <cstdint>
#include <vector>

class TTreeNode;
class TTreeNodes;

class TPreorderIndex {
public:
    // Starts with the entries that Nodes holds now (none when it is empty), with room made
    // at once for about Expected appends (growing step by step would copy everything
    // again and again, into memory touched for the first time). Throws std::bad_alloc.
    explicit TPreorderIndex(const TTreeNodes& Nodes, int Expected = 0);

    int Count() const noexcept { return static_cast<int>(FEntries.size()); }
    // The slot of the entry at absolute index Index, 0 <= Index < Count(), and its entry.
    // Slots number the entries in the order they came: Nodes' entries in pre-order first,
    // then each Append in turn.
    int SlotAt(int Index) noexcept;
    // Starts SlotAt(Index): its leaf is fetched from memory while the caller does other
    // work, up to the next SlotAt or Append.
    void Seek(int Index) noexcept;
    TTreeNode* EntryOf(int Slot) const noexcept { return FEntries[static_cast<std::size_t>(Slot)]; }
    // Where EntryOf(Slot) is kept, to fetch it ahead of its use.
    const void* EntryPlace(int Slot) const noexcept { return &FEntries[static_cast<std::size_t>(Slot)]; }
    TTreeNode* At(int Index) noexcept { return EntryOf(SlotAt(Index)); }
    // Makes room for one more Append, so that the Append itself cannot fail. Throws
    // std::bad_alloc.
    void Reserve();
    // Records Entry, appended to the outline as the last child of the entry in ParentSlot
    // (-1: the top level). Returns Entry's slot. Reserve first. Entry may be nullptr when
    // the outline takes it later; SetEntry then tells it.
    int Append(int ParentSlot, TTreeNode* Entry) noexcept;
    void SetEntry(int Slot, TTreeNode* Entry) noexcept { FEntries[static_cast<std::size_t>(Slot)] = Entry; }

private:
    // A leaf is 64 tokens (a few cache lines, one move on insert) with a mask of its opening
    // tokens; an inner node keeps, for each child, the opening tokens up to and including
    // that child's, so that the way down compares them all at once instead of adding.
    static constexpr int LeafCapacity = 64;
    static constexpr int InnerCapacity = 64;
    struct TLeaf {
        std::uint64_t OpenMask = 0; // bit I: Tokens[I] opens an entry
        std::int32_t Size = 0;
        std::int32_t Up = -1; // the inner node above
        std::int32_t Tokens[LeafCapacity];
        TLeaf() noexcept;
    };
    struct TInner {
        std::int32_t Size = 0;
        std::int32_t Up = -1;   // -1 at the root
        std::int32_t Level = 1; // 1: the children are leaves
        // Running counts of opening tokens; past Size the largest int32, so that the number
        // of counts not above an index is the child to descend to.
        std::int32_t Through[InnerCapacity];
        std::int32_t Children[InnerCapacity];
        TInner() noexcept;
    };
    int NewLeaf() noexcept;
    int NewInner(int Level) noexcept;
    void SetUp(int Level, int Child, int Up) noexcept;
    // One more opening token below child From of N and every child after it.
    static void RaiseFrom(TInner& N, int From) noexcept;
    // Splits the full leaf Leaf, where a pair is about to go in at At (before the closing
    // token of the top level when AtOutlineEnd); returns the leaf that takes the pair and
    // puts At as the position there.
    int SplitLeaf(int Leaf, int& At, bool AtOutlineEnd) noexcept;
    // Child Position of Inner has just given its upper part, with Opens opening tokens, to
    // the new node Right: puts Right after it, splitting upwards as needed (AtEnd: along
    // the right edge of the tree, at the end of the outline).
    void InsertAfter(int Inner, int Position, int Right, std::int32_t Opens, bool AtEnd) noexcept;

    // Token 0 closes the whole outline; slot S opens with token 2S+1 and closes with 2S+2.
    // The leaf of closing token T is FClosingLeaf[T / 2].
    std::vector<TLeaf> FLeaves;
    std::vector<TInner> FInners;
    std::vector<std::int32_t> FClosingLeaf;
    std::vector<TTreeNode*> FEntries;
    std::int32_t FRoot = -1; // always an inner node
    // Where SlotAt last found an opening token: an Append under that entry looks for the
    // closing token in the same leaf first (most entries have small subtrees), which
    // spares a lookup far away in memory.
    // The way down to it is kept too: the counts to raise on the way up are those.
    static constexpr int MaxFoundLevels = 16;
    std::int32_t FFoundSlot = -1;
    std::int32_t FFoundLeaf = -1;
    std::int32_t FFoundInner[MaxFoundLevels + 1] = {}; // by level
    std::int32_t FFoundChild[MaxFoundLevels + 1] = {};
    bool FKeepWay = false;
    // What Seek found: the leaf and the rank of the opening token in it.
    std::int32_t FSoughtIndex = -1;
    std::int32_t FSoughtLeaf = -1;
    std::int32_t FSoughtRank = 0;
};
