#include "PreorderIndex.h"

#include "Prefetch.h"
#include "TreeNodes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>

namespace {

constexpr std::int32_t NoToken = -1;
constexpr std::int32_t NoChild = -1;
constexpr std::int32_t PastEnd = std::numeric_limits<std::int32_t>::max();

// Geometric growth keeps a long run of appends linear.
template <class T> void ReserveMore(std::vector<T>& List, std::size_t More) {
    if (List.capacity() - List.size() < More)
        List.reserve((List.size() + More) * 2);
}

// The position of the one element of Values[0..64) that equals Value. Branch-free over
// the whole array, so the compiler compares many at once.
int PositionOf(const std::int32_t* Values, std::int32_t Value) noexcept {
    int At = 0;
    for (int I = 0; I < 64; ++I)
        At |= Values[I] == Value ? I : 0;
    return At;
}

// How many of Through[0..Size) are not above Index; past Size they all are above it. Whole
// groups of eight, so that the compiler compares many at once without a remainder.
int CountNotAbove(const std::int32_t* Through, int Size, std::int32_t Index) noexcept {
    const int Groups = (Size + 7) / 8;
    int Count = 0;
    for (int G = 0; G < Groups; ++G)
        for (int I = 8 * G; I < 8 * G + 8; ++I)
            Count += Through[I] <= Index ? 1 : 0;
    return Count;
}

// The position of set bit number K (from 0) of X, which has more than K: bytes are
// counted side by side in one word, then the bit is found inside its byte.
int SelectBit(std::uint64_t X, int K) noexcept {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t Highs = 0x8080808080808080ULL;
    std::uint64_t S = X - ((X >> 1) & 0x5555555555555555ULL);
    S = (S & 0x3333333333333333ULL) + ((S >> 2) & 0x3333333333333333ULL);
    S = (S + (S >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    const std::uint64_t Running = S * Ones; // byte B: set bits in bytes 0..B
    // The bytes whose running count is not above K lie wholly before the bit.
    const std::uint64_t NotAbove = ((static_cast<std::uint64_t>(K) * Ones | Highs) - Running) & Highs;
    const int Byte = static_cast<int>(((NotAbove >> 7) * Ones) >> 56);
    const int Before = Byte == 0 ? 0 : static_cast<int>((Running >> (8 * (Byte - 1))) & 0xFF);
    auto Bits = static_cast<std::uint32_t>((X >> (8 * Byte)) & 0xFF);
    for (int Skip = K - Before; Skip > 0; --Skip)
        Bits &= Bits - 1;
    return 8 * Byte + std::countr_zero(Bits);
}

} // namespace

TPreorderIndex::TLeaf::TLeaf() noexcept {
    std::fill(std::begin(Tokens), std::end(Tokens), NoToken);
}

TPreorderIndex::TInner::TInner() noexcept {
    std::fill(std::begin(Through), std::end(Through), PastEnd);
    std::fill(std::begin(Children), std::end(Children), NoChild);
}

TPreorderIndex::TPreorderIndex(const TTreeNodes& Nodes, int Expected) {
    // The bracket sequence of the outline as it is, then the closing token 0.
    std::vector<std::int32_t> Sequence;
    std::vector<std::pair<const TTreeNode*, std::int32_t>> Open; // entries not yet closed
    for (TTreeNode* N = Nodes.GetFirstNode(); N; N = N->GetNext()) {
        while (!Open.empty() && Open.back().first != N->Parent()) {
            Sequence.push_back(2 * Open.back().second + 2);
            Open.pop_back();
        }
        const auto Slot = static_cast<std::int32_t>(FEntries.size());
        FEntries.push_back(N);
        Sequence.push_back(2 * Slot + 1);
        Open.emplace_back(N, Slot);
    }
    while (!Open.empty()) {
        Sequence.push_back(2 * Open.back().second + 2);
        Open.pop_back();
    }
    Sequence.push_back(0);
    FClosingLeaf.assign(FEntries.size() + 1, NoChild);

    // Leaves three quarters full, so that the appends to come do not split at once; then
    // each level of inner nodes above the one below, until one node is left.
    constexpr std::size_t LeafFill = LeafCapacity * 3 / 4;
    constexpr std::size_t InnerFill = InnerCapacity * 3 / 4;
    // Every leaf but the last holds at least LeafCapacity / 2 - 1 tokens, every inner node
    // but the last of its level at least InnerCapacity / 2 - 1 children; the nodes that
    // Expected appends may add come on top of the ones built here.
    const auto More = static_cast<std::size_t>(Expected > 0 ? Expected : 0);
    std::size_t OnLevel = (Sequence.size() + LeafFill - 1) / LeafFill;
    std::size_t NewOnLevel = 2 * More / (LeafCapacity / 2 - 1) + 1;
    FLeaves.reserve(OnLevel + NewOnLevel);
    std::size_t Inners = 0;
    do {
        OnLevel = (OnLevel + InnerFill - 1) / InnerFill;
        NewOnLevel = NewOnLevel / (InnerCapacity / 2 - 1) + 1;
        Inners += OnLevel + NewOnLevel;
    } while (OnLevel > 1);
    FInners.reserve(Inners + 4);
    FEntries.reserve(FEntries.size() + More);
    FClosingLeaf.reserve(FClosingLeaf.size() + More);
    std::vector<std::pair<std::int32_t, std::int32_t>> Level; // node, opening tokens below it
    for (std::size_t From = 0; From < Sequence.size(); From += LeafFill) {
        const int Leaf = NewLeaf();
        TLeaf& L = FLeaves[static_cast<std::size_t>(Leaf)];
        for (std::size_t I = From; I < Sequence.size() && I < From + LeafFill; ++I) {
            const std::int32_t Token = Sequence[I];
            if ((Token & 1) != 0)
                L.OpenMask |= std::uint64_t{1} << L.Size;
            else
                FClosingLeaf[static_cast<std::size_t>(Token / 2)] = Leaf;
            L.Tokens[L.Size++] = Token;
        }
        Level.emplace_back(Leaf, std::popcount(L.OpenMask));
    }
    for (int Height = 1;; ++Height) {
        std::vector<std::pair<std::int32_t, std::int32_t>> Above;
        Above.reserve(Level.size() / InnerFill + 1);
        for (std::size_t From = 0; From < Level.size(); From += InnerFill) {
            const int Inner = NewInner(Height);
            TInner& N = FInners[static_cast<std::size_t>(Inner)];
            std::int32_t Opens = 0;
            for (std::size_t I = From; I < Level.size() && I < From + InnerFill; ++I) {
                Opens += Level[I].second;
                N.Children[N.Size] = Level[I].first;
                N.Through[N.Size] = Opens;
                ++N.Size;
                SetUp(Height, Level[I].first, Inner);
            }
            Above.emplace_back(Inner, Opens);
        }
        Level = std::move(Above);
        if (Level.size() == 1)
            break;
    }
    FRoot = Level.front().first;
}

int TPreorderIndex::NewLeaf() noexcept {
    FLeaves.emplace_back(); // capacity reserved
    return static_cast<int>(FLeaves.size()) - 1;
}

int TPreorderIndex::NewInner(int Level) noexcept {
    FInners.emplace_back(); // capacity reserved
    FInners.back().Level = Level;
    return static_cast<int>(FInners.size()) - 1;
}

void TPreorderIndex::SetUp(int Level, int Child, int Up) noexcept {
    if (Level == 1)
        FLeaves[static_cast<std::size_t>(Child)].Up = Up;
    else
        FInners[static_cast<std::size_t>(Child)].Up = Up;
}

void TPreorderIndex::Seek(int Index) noexcept {
    FSoughtIndex = Index;
    FFoundSlot = -1; // the way kept below is this one's
    std::int32_t Inner = FRoot;
    const TInner* N = &FInners[static_cast<std::size_t>(Inner)];
    FKeepWay = N->Level <= MaxFoundLevels;
    for (;;) {
        const int C = CountNotAbove(N->Through, N->Size, Index);
        if (C > 0)
            Index -= N->Through[C - 1];
        if (FKeepWay) {
            FFoundInner[N->Level] = Inner;
            FFoundChild[N->Level] = C;
        }
        const auto Child = static_cast<std::size_t>(N->Children[C]);
        if (N->Level == 1) {
            FSoughtLeaf = static_cast<std::int32_t>(Child);
            FSoughtRank = Index;
            // All of the leaf: the mask and the token it leads to.
            const auto* Bytes = reinterpret_cast<const char*>(&FLeaves[Child]);
            for (std::size_t Offset = 0; Offset < sizeof(TLeaf); Offset += 64)
                Prefetch(Bytes + Offset);
            return;
        }
        Inner = static_cast<std::int32_t>(Child);
        N = &FInners[Child];
    }
}

int TPreorderIndex::SlotAt(int Index) noexcept {
    if (Index != FSoughtIndex)
        Seek(Index);
    FSoughtIndex = -1;
    const TLeaf& L = FLeaves[static_cast<std::size_t>(FSoughtLeaf)];
    const std::int32_t Slot = (L.Tokens[SelectBit(L.OpenMask, FSoughtRank)] - 1) / 2;
    FFoundSlot = FKeepWay ? Slot : -1;
    FFoundLeaf = FSoughtLeaf;
    return Slot;
}

void TPreorderIndex::Reserve() {
    ReserveMore(FEntries, 1);
    ReserveMore(FClosingLeaf, 1);
    ReserveMore(FLeaves, 1);
    // A split may climb to the root and add a new one above it.
    ReserveMore(FInners, static_cast<std::size_t>(FInners[static_cast<std::size_t>(FRoot)].Level) + 1);
}

int TPreorderIndex::SplitLeaf(int Leaf, int& At, bool AtOutlineEnd) noexcept {
    const int Right = NewLeaf();
    TLeaf& L = FLeaves[static_cast<std::size_t>(Leaf)];
    TLeaf& R = FLeaves[static_cast<std::size_t>(Right)];
    // A pair going in at the end of the outline leaves the leaf full and starts the new
    // one, so that appends at the top level fill their leaves; else the leaf is halved,
    // which keeps every leaf but the last at least half full whatever the appends.
    const bool AtEnd = AtOutlineEnd && At == L.Size - 1;
    const int Keep = AtEnd ? L.Size - 1 : L.Size / 2;
    R.Size = L.Size - Keep;
    std::memcpy(R.Tokens, L.Tokens + Keep, sizeof(std::int32_t) * static_cast<std::size_t>(R.Size));
    std::fill(L.Tokens + Keep, L.Tokens + L.Size, NoToken);
    L.Size = Keep;
    R.OpenMask = L.OpenMask >> Keep;
    L.OpenMask &= (std::uint64_t{1} << Keep) - 1;
    for (int I = 0; I < R.Size; ++I)
        if ((R.Tokens[I] & 1) == 0)
            FClosingLeaf[static_cast<std::size_t>(R.Tokens[I] / 2)] = Right;
    const int Up = L.Up;
    InsertAfter(Up, PositionOf(FInners[static_cast<std::size_t>(Up)].Children, Leaf), Right, std::popcount(R.OpenMask),
                AtEnd);
    if (At < Keep)
        return Leaf;
    At -= Keep;
    return Right;
}

namespace {

// Child Position of N has just given Opens of its opening tokens to Child, which goes in
// right after it. N has room.
template <class TNode> void PutAfter(TNode& N, int Position, int Child, std::int32_t Opens) noexcept {
    const auto Moved = static_cast<std::size_t>(N.Size - Position - 1);
    std::memmove(N.Children + Position + 2, N.Children + Position + 1, sizeof(std::int32_t) * Moved);
    std::memmove(N.Through + Position + 2, N.Through + Position + 1, sizeof(std::int32_t) * Moved);
    N.Children[Position + 1] = Child;
    N.Through[Position + 1] = N.Through[Position];
    N.Through[Position] -= Opens;
    ++N.Size;
}

} // namespace

void TPreorderIndex::InsertAfter(int Inner, int Position, int Right, std::int32_t Opens, bool AtEnd) noexcept {
    for (;;) {
        TInner& N = FInners[static_cast<std::size_t>(Inner)];
        if (N.Size < InnerCapacity) {
            PutAfter(N, Position, Right, Opens);
            SetUp(N.Level, Right, Inner);
            return;
        }
        // Full: the upper children go to a new node beside it (half of them, or only the
        // last at the outline's end), Right into the node that holds its place, and the
        // new node into the parent (a new root above the old one when there is none).
        const int Level = N.Level;
        const int Sibling = NewInner(Level);
        TInner& L = FInners[static_cast<std::size_t>(Inner)];
        TInner& S = FInners[static_cast<std::size_t>(Sibling)];
        const int Keep = AtEnd && Position == L.Size - 1 ? L.Size - 1 : L.Size / 2;
        const std::int32_t Before = L.Through[Keep - 1];
        for (int I = Keep; I < L.Size; ++I) {
            S.Children[S.Size] = L.Children[I];
            S.Through[S.Size] = L.Through[I] - Before;
            ++S.Size;
            SetUp(Level, L.Children[I], Sibling);
            L.Children[I] = NoChild;
            L.Through[I] = PastEnd;
        }
        L.Size = Keep;
        if (Position < Keep) {
            PutAfter(L, Position, Right, Opens);
            SetUp(Level, Right, Inner);
        } else {
            PutAfter(S, Position - Keep, Right, Opens);
            SetUp(Level, Right, Sibling);
        }
        const std::int32_t SiblingOpens = S.Through[S.Size - 1];
        if (L.Up < 0) {
            const int Root = NewInner(Level + 1);
            TInner& Top = FInners[static_cast<std::size_t>(Root)];
            Top.Children[0] = Inner;
            Top.Through[0] = L.Through[L.Size - 1];
            Top.Children[1] = Sibling;
            Top.Through[1] = Top.Through[0] + SiblingOpens;
            Top.Size = 2;
            L.Up = Root;
            S.Up = Root;
            FRoot = Root;
            return;
        }
        const int Up = L.Up;
        Position = PositionOf(FInners[static_cast<std::size_t>(Up)].Children, Inner);
        Inner = Up;
        Right = Sibling;
        Opens = SiblingOpens;
    }
}

void TPreorderIndex::RaiseFrom(TInner& N, int From) noexcept {
    // In whole groups of eight, so that it goes many at a time and without a branch.
    const int Size = N.Size;
    const int Groups = (Size + 7) / 8;
    for (int G = From / 8; G < Groups; ++G)
        for (int I = 8 * G; I < 8 * G + 8; ++I)
            N.Through[I] += I >= From && I < Size ? 1 : 0;
}

int TPreorderIndex::Append(int ParentSlot, TTreeNode* Entry) noexcept {
    FSoughtIndex = -1; // the leaves are about to change
    const auto Slot = static_cast<std::int32_t>(FEntries.size());
    FEntries.push_back(Entry); // capacity reserved
    FClosingLeaf.push_back(NoChild);
    // Token 0 closes the top level; 2 * ParentSlot + 2 closes the parent.
    int Leaf = -1;
    int At = 0;
    if (ParentSlot >= 0 && ParentSlot == FFoundSlot) {
        // After the opening token, so never at 0 when it is there.
        At = PositionOf(FLeaves[static_cast<std::size_t>(FFoundLeaf)].Tokens, 2 * ParentSlot + 2);
        if (At > 0)
            Leaf = FFoundLeaf;
    }
    FFoundSlot = -1; // the leaves are about to change
    bool FoundWay = Leaf >= 0;
    if (Leaf < 0) {
        Leaf = FClosingLeaf[static_cast<std::size_t>(ParentSlot + 1)];
        At = PositionOf(FLeaves[static_cast<std::size_t>(Leaf)].Tokens, 2 * ParentSlot + 2);
    }
    if (FLeaves[static_cast<std::size_t>(Leaf)].Size + 2 > LeafCapacity) {
        Leaf = SplitLeaf(Leaf, At, ParentSlot < 0);
        FoundWay = false;
    }
    TLeaf& L = FLeaves[static_cast<std::size_t>(Leaf)];
    std::memmove(L.Tokens + At + 2, L.Tokens + At, sizeof(std::int32_t) * static_cast<std::size_t>(L.Size - At));
    L.Tokens[At] = 2 * Slot + 1;
    L.Tokens[At + 1] = 2 * Slot + 2;
    L.Size += 2;
    // At + 2 < 64: the pair and the closing token after it fit.
    const std::uint64_t Below = (std::uint64_t{1} << At) - 1;
    L.OpenMask = (L.OpenMask & Below) | (std::uint64_t{1} << At) | ((L.OpenMask & ~Below) << 2);
    FClosingLeaf[static_cast<std::size_t>(Slot + 1)] = Leaf;
    // One more opening token below every node on the way up, for the counts from the
    // child that holds the pair on.
    if (FoundWay) {
        for (int Level = 1; Level <= FInners[static_cast<std::size_t>(FRoot)].Level; ++Level) {
            RaiseFrom(FInners[static_cast<std::size_t>(FFoundInner[Level])], FFoundChild[Level]);
        }
        return Slot;
    }
    int Child = Leaf;
    for (int Up = L.Up; Up >= 0;) {
        TInner& N = FInners[static_cast<std::size_t>(Up)];
        RaiseFrom(N, PositionOf(N.Children, Child));
        Child = Up;
        Up = N.Up;
    }
    return Slot;
}
