#pragma once
// The benchmarks' large outline: 1,000,000 entries give a data file of about 186 MB with
// 368,300 top-level entries.
#include "StringList.h"
#include "TreeNodes.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace BenchOutline {

// Titles of about 20 bytes and bodies of 3 lines, about 150 bytes, some of them
// double-byte text; depths 0 to 8 in pre-order.
inline void Generate(TTreeNodes& Nodes, int Count) {
    std::mt19937 Random(7);
    static const char* Words[] = {"\x97\x76\x8C\x8F\x8E\x96\x8E\xC0", "claim",    "\x8D\x52\x95\xD9", "defence",
                                  "\x8D\xC4\x8D\x52\x95\xD9",         "contract", "\x88\xF8\x93\x6E", "payment"};
    std::vector<TTreeNode*> Path; // the last entry at each depth
    for (int K = 0; K < Count; ++K) {
        const int Depth = Path.empty() ? 0 : static_cast<int>(Random() % std::min<std::size_t>(Path.size() + 1, 9));
        Path.resize(static_cast<std::size_t>(Depth));
        std::string Title = std::string(Words[Random() % 8]) + " " + std::to_string(K);
        Title.resize(20, '.');
        auto* Body = new TStringList;
        for (int L = 0; L < 3; ++L) {
            std::string Line;
            while (Line.size() < 56)
                Line += std::string(Words[Random() % 8]) + " ";
            Line.resize(40 + Random() % 17); // only ever shortens: no NUL padding
            Body->Add(Line);
        }
        Path.push_back(Nodes.AppendChild(Depth == 0 ? nullptr : Path.back(), Title, Body));
    }
}

} // namespace BenchOutline
