#include "PreorderIndex.h"

#include "TreeNodes.h"

#include <utility>

namespace {
constexpr std::int32_t None = -1;
} // namespace

TPreorderIndex::TPreorderIndex(const TTreeNodes& Nodes) {
    // The bracket sequence of the outline as it is, then the closing token 0, chained
    // through right children: the first searches pay for the chain once and the splay
    // steps then keep the tree shallow.
    std::vector<std::int32_t> Sequence;
    std::vector<std::pair<const TTreeNode*, std::int32_t>> Open; // entries not yet closed
    for (TTreeNode* N = Nodes.GetFirstNode(); N; N = N->GetNext()) {
        while (!Open.empty() && Open.back().first != N->Parent()) {
            Sequence.push_back(2 * Open.back().second + 2);
            Open.pop_back();
        }
        const std::int32_t Slot = NewSlot(N);
        Sequence.push_back(2 * Slot + 1);
        Open.emplace_back(N, Slot);
    }
    while (!Open.empty()) {
        Sequence.push_back(2 * Open.back().second + 2);
        Open.pop_back();
    }
    Sequence.push_back(0);
    const std::size_t Tokens = FEntries.size() * 2 + 1;
    FTokens.assign(Tokens, TToken{});
    std::int32_t Below = None;
    for (std::size_t I = Sequence.size(); I-- > 0;) {
        const std::int32_t Token = Sequence[I];
        Node(Token).Right = Below;
        if (Below != None)
            Node(Below).Up = Token;
        Update(Token);
        Below = Token;
    }
    FRoot = Below;
}

int TPreorderIndex::NewSlot(TTreeNode* Entry) {
    FEntries.push_back(Entry);
    return static_cast<int>(FEntries.size()) - 1;
}

void TPreorderIndex::Update(int Token) noexcept {
    TToken& T = Node(Token);
    T.Count = (Token & 1) + OpenCount(T.Left) + OpenCount(T.Right);
}

void TPreorderIndex::Rotate(int X) noexcept {
    TToken& TX = Node(X);
    const std::int32_t Parent = TX.Up;
    TToken& TP = Node(Parent);
    const std::int32_t Grand = TP.Up;
    if (TP.Left == X) {
        TP.Left = TX.Right;
        if (TX.Right != None)
            Node(TX.Right).Up = Parent;
        TX.Right = Parent;
    } else {
        TP.Right = TX.Left;
        if (TX.Left != None)
            Node(TX.Left).Up = Parent;
        TX.Left = Parent;
    }
    TP.Up = X;
    TX.Up = Grand;
    if (Grand != None) {
        TToken& TG = Node(Grand);
        if (TG.Left == Parent)
            TG.Left = X;
        else
            TG.Right = X;
    }
    Update(Parent);
    Update(X);
}

void TPreorderIndex::Splay(int X) noexcept {
    while (Node(X).Up != None) {
        const std::int32_t Parent = Node(X).Up;
        const std::int32_t Grand = Node(Parent).Up;
        if (Grand != None) {
            const bool Straight = (Node(Grand).Left == Parent) == (Node(Parent).Left == X);
            Rotate(Straight ? Parent : X);
        }
        Rotate(X);
    }
    FRoot = X;
}

int TPreorderIndex::NthOpen(int Index) noexcept {
    std::int32_t X = FRoot;
    for (;;) {
        const int Left = OpenCount(Node(X).Left);
        if (Index < Left) {
            X = Node(X).Left;
            continue;
        }
        Index -= Left;
        if ((X & 1) != 0) {
            if (Index == 0)
                break;
            --Index;
        }
        X = Node(X).Right;
    }
    Splay(X);
    return X;
}

int TPreorderIndex::IndexOfSlot(int Slot) {
    const std::int32_t Token = 2 * Slot + 1;
    Splay(Token);
    return OpenCount(Node(Token).Left);
}

void TPreorderIndex::Reserve() {
    // Geometric growth keeps a long run of appends linear.
    const std::size_t Tokens = FTokens.size() + 2;
    if (FTokens.capacity() < Tokens)
        FTokens.reserve(Tokens * 2);
    if (FEntries.capacity() < FEntries.size() + 1)
        FEntries.reserve(FEntries.size() * 2 + 1);
}

void TPreorderIndex::InsertBefore(int Token, int Slot) noexcept {
    const std::int32_t Opening = 2 * Slot + 1;
    const std::int32_t Closing = 2 * Slot + 2;
    Splay(Token);
    // Opening becomes the root, with what preceded Token on its left and Closing, then
    // Token with what followed it, on its right.
    const std::int32_t Before = Node(Token).Left;
    Node(Token).Left = None;
    Update(Token);
    Node(Closing).Left = None;
    Node(Closing).Right = Token;
    Node(Token).Up = Closing;
    Update(Closing);
    Node(Opening).Left = Before;
    if (Before != None)
        Node(Before).Up = Opening;
    Node(Opening).Right = Closing;
    Node(Closing).Up = Opening;
    Node(Opening).Up = None;
    Update(Opening);
    FRoot = Opening;
}

int TPreorderIndex::Append(int ParentSlot, TTreeNode* Entry) noexcept {
    const std::int32_t Closing = ParentSlot < 0 ? 0 : 2 * ParentSlot + 2;
    FEntries.push_back(Entry); // capacity reserved
    const int Slot = static_cast<int>(FEntries.size()) - 1;
    FTokens.resize(FTokens.size() + 2);
    InsertBefore(Closing, Slot);
    return Slot;
}
