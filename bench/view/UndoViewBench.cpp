// Undo and redo through the tree view: a shown TTreeView over 1,000,000 entries, the
// deleted 1,000-entry subtree expanded on screen. Each figure includes the view's
// follow-up layout and a repaint.
#include "OutlineHistory.h"
#include "TreeView.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

constexpr int Tops = 1000;
constexpr int PerTop = 1000;

double Milliseconds(std::chrono::steady_clock::duration Span) {
    return std::chrono::duration<double, std::milli>(Span).count();
}

// State.range(0) = 0: 1,000 top-level entries of 1,000 entries each. 1: a flat outline,
// 999,000 top-level entries, with the 1,000-entry subtree in the middle of them.
void BM_ViewSubtreeDeleteUndoRedo(benchmark::State& State) {
    const bool Flat = State.range(0) == 1;
    TTreeView View;
    View.resize(300, 600);
    View.show();
    TTreeNodes& Items = View.Items();
    {
        const TTreeNodesUpdate Batch(Items);
        const int Count = Flat ? Tops * PerTop - PerTop + 1 : Tops;
        for (int Top = 0; Top < Count; ++Top) {
            TTreeNode* Parent = Items.AppendChild(nullptr, "top " + std::to_string(Top));
            for (int Child = 1; Child < PerTop && (!Flat || Top == Count / 2); ++Child)
                Items.AppendChild(Parent, "child " + std::to_string(Child));
        }
    }
    TTreeNode* Subtree = Items.TopItem(Items.TopCount() / 2);
    Items.ExpandEntry(Subtree, false);
    Items.SelectEntry(Subtree->Item(3));
    View.scrollTo(View.IndexOf(Subtree->Item(3)));
    const auto Settle = [&] {
        QApplication::processEvents();
        View.viewport()->repaint();
    };
    Settle();
    TOutlineHistory History(Items, TBodyTraits{});
    double Delete = 0, Undo = 0, Redo = 0;
    using TClock = std::chrono::steady_clock;
    for (auto _ : State) {
        const auto T0 = TClock::now();
        History.DeleteEntry(Subtree);
        Settle();
        const auto T1 = TClock::now();
        History.Undo();
        Settle();
        const auto T2 = TClock::now();
        History.Redo();
        Settle();
        const auto T3 = TClock::now();
        History.Undo();
        Items.ExpandEntry(Subtree, false);
        Settle();
        Delete += Milliseconds(T1 - T0);
        Undo += Milliseconds(T2 - T1);
        Redo += Milliseconds(T3 - T2);
    }
    const double Runs = static_cast<double>(State.iterations());
    State.counters["entries"] = Items.EntryCount();
    State.counters["delete_ms"] = Delete / Runs;
    State.counters["undo_ms"] = Undo / Runs;
    State.counters["redo_ms"] = Redo / Runs;
}
BENCHMARK(BM_ViewSubtreeDeleteUndoRedo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int Argc, char** Argv) {
    QApplication Application(Argc, Argv);
    benchmark::Initialize(&Argc, Argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
