#pragma once
// A data file whose records are not in pre-order, for timing loads that have to sort the
// parents out, beside the same outline saved (in pre-order).
#include "DataFile.h"
#include "TreeNodes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace CraftedOutline {

// The data file's pieces, as the reader takes them.
inline void AppendInt32(std::string& Bytes, std::int32_t Value) {
    const auto U = static_cast<std::uint32_t>(Value);
    for (int Shift = 0; Shift < 32; Shift += 8)
        Bytes += static_cast<char>((U >> Shift) & 0xFF);
}
inline void AppendHeader(std::string& Bytes, int Records) {
    AppendInt32(Bytes, 5);
    Bytes += "Dummy";
    AppendInt32(Bytes, Records);
}
// Record K under Parent, titled "e" and K, without a body.
inline void AppendRecord(std::string& Bytes, int Parent, int K) {
    std::string Title = "e"; // appended, not "e" + ...: GCC 12 warns of an overlap there that is none
    Title += std::to_string(K);
    AppendInt32(Bytes, Parent);
    AppendInt32(Bytes, K);
    AppendInt32(Bytes, static_cast<std::int32_t>(Title.size()));
    Bytes += Title;
    AppendInt32(Bytes, 0);
}

// 107,000 records make a file of 2.56 MB.
constexpr int Count = 107'000;

// Short titles, no bodies, each record's parent any entry read before it (some at the top
// level), as a crafted file may have it. About 24 bytes a record, so Records records make
// about 24 * Records bytes.
inline std::string Bytes(int Records) {
    std::mt19937 Random(11);
    std::string Bytes;
    AppendHeader(Bytes, Records);
    for (int K = 0; K < Records; ++K) {
        const int Parent = K == 0 || Random() % 20 == 0 ? -1 : static_cast<int>(Random() % static_cast<unsigned>(K));
        AppendRecord(Bytes, Parent, K);
    }
    return Bytes;
}

// Writes the crafted file of Count records to Crafted, and the outline it holds, saved,
// to Saved.
inline void WriteFiles(const std::string& Crafted, const std::string& Saved) {
    const std::string File = Bytes(Count);
    std::FILE* Out = std::fopen(Crafted.c_str(), "wb");
    if (Out == nullptr || std::fwrite(File.data(), 1, File.size(), Out) != File.size())
        std::abort();
    std::fclose(Out);
    TTreeNodes Nodes;
    ReleaseBodiesOnDeletion(Nodes);
    ReadOutline(Nodes, Crafted);
    WriteOutline(Nodes, Saved);
}

} // namespace CraftedOutline
