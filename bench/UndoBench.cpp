// Undo and redo in a 1,000,000-entry outline: deleting a 1,000-entry subtree, undoing
// the deletion and redoing it. The cost is meant to follow the subtree, not the outline.
#include "OutlineHistory.h"
#include "TreeNodes.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr int Tops = 1000;
constexpr int PerTop = 1000; // each top-level entry with its 999 children: 1,000 entries

// 1,000 top-level entries with 999 children each.
void Fill(TTreeNodes& Nodes) {
    const TTreeNodesUpdate Batch(Nodes);
    for (int Top = 0; Top < Tops; ++Top) {
        TTreeNode* Parent = Nodes.AppendChild(nullptr, "top " + std::to_string(Top));
        for (int Child = 1; Child < PerTop; ++Child)
            Nodes.AppendChild(Parent, "child " + std::to_string(Child));
    }
}

double Milliseconds(std::chrono::steady_clock::duration Span) {
    return std::chrono::duration<double, std::milli>(Span).count();
}

void BM_SubtreeDeleteUndoRedo(benchmark::State& State) {
    TTreeNodes Nodes;
    Fill(Nodes);
    TOutlineHistory History(Nodes, TBodyTraits{});
    TTreeNode* Subtree = Nodes.TopItem(Tops / 2);
    Nodes.SelectEntry(Subtree->Item(PerTop / 2));
    double Delete = 0, Undo = 0, Redo = 0;
    using TClock = std::chrono::steady_clock;
    for (auto _ : State) {
        const auto T0 = TClock::now();
        History.DeleteEntry(Subtree);
        const auto T1 = TClock::now();
        History.Undo();
        const auto T2 = TClock::now();
        History.Redo();
        const auto T3 = TClock::now();
        History.Undo();
        Delete += Milliseconds(T1 - T0);
        Undo += Milliseconds(T2 - T1);
        Redo += Milliseconds(T3 - T2);
    }
    const double Runs = static_cast<double>(State.iterations());
    State.counters["entries"] = Nodes.EntryCount();
    State.counters["delete_ms"] = Delete / Runs;
    State.counters["undo_ms"] = Undo / Runs;
    State.counters["redo_ms"] = Redo / Runs;
}
BENCHMARK(BM_SubtreeDeleteUndoRedo)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
