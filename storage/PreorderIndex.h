#pragma once
// TPreorderIndex: finds the entry at an absolute index of an outline that is being built by
// appending last children, in logarithmic time however the appends are ordered.
//
// The data file reader needs it for files whose records are not in pre-order: there a
// parent index names an entry anywhere in the outline built so far, and walking the
// outline from its first entry for every record would take quadratic time.
//
// The outline is kept as its bracket sequence (an opening token when an entry begins, a
// closing one after its subtree) in a splay tree that counts the opening tokens. Appending
// a last child of P puts a new pair right before P's closing token; the entry at index i
// owns the (i+1)-th opening token. Plain C++, no recursion; memory is 8 int32 and one
// pointer per entry, only for the files that need it.
#include <cstdint>
#include <vector>

class TTreeNode;
class TTreeNodes;

class TPreorderIndex {
public:
    // Starts with the entries that Nodes holds now (none when it is empty).
    explicit TPreorderIndex(const TTreeNodes& Nodes);

    int Count() const noexcept { return static_cast<int>(FEntries.size()); }
    // The slot of the entry at absolute index Index, 0 <= Index < Count(), and its entry.
    int SlotAt(int Index) noexcept { return (NthOpen(Index) - 1) / 2; }
    TTreeNode* EntryOf(int Slot) const noexcept { return FEntries[static_cast<std::size_t>(Slot)]; }
    TTreeNode* At(int Index) noexcept { return EntryOf(SlotAt(Index)); }
    // The absolute index of the entry that was the Slot-th one added to this index
    // (Nodes' entries in pre-order first, then each Append in turn).
    int IndexOfSlot(int Slot);
    // Makes room for one more Append, so that the Append itself cannot fail. Throws
    // std::bad_alloc.
    void Reserve();
    // Records Entry, just appended to the outline as the last child of the entry in
    // ParentSlot (-1: the top level). Returns Entry's slot. Reserve first.
    int Append(int ParentSlot, TTreeNode* Entry) noexcept;

private:
    struct TToken {
        std::int32_t Left = -1, Right = -1, Up = -1;
        std::int32_t Count = 0; // opening tokens in this token's subtree
    };
    TToken& Node(int Token) noexcept { return FTokens[static_cast<std::size_t>(Token)]; }
    int OpenCount(int Token) const noexcept { return Token < 0 ? 0 : FTokens[static_cast<std::size_t>(Token)].Count; }
    void Update(int Token) noexcept;
    void Rotate(int Token) noexcept;
    void Splay(int Token) noexcept;
    int NthOpen(int Index) noexcept;
    // Puts the pair of Slot right before Token.
    void InsertBefore(int Token, int Slot) noexcept;
    int NewSlot(TTreeNode* Entry);

    // Token 0 closes the whole outline; slot S opens with token 2S+1 and closes with 2S+2.
    std::vector<TToken> FTokens;
    std::vector<TTreeNode*> FEntries;
    std::int32_t FRoot = 0;
};
