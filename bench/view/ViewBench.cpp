// The tree view and the body editor with an outline of 100,000 entries: loading it into
// the view, expanding and collapsing everything, and a selection change that shows a
// 1 MB body.
#include "Memo.h"
#include "TreeView.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

constexpr int EntryCount = 100000;

// A shown view holding 100,000 entries: 1,000 top-level entries with 9 children each,
// and 9 grandchildren under every second child.
struct TBenchView {
    TTreeView View;
    TBenchView() {
        View.resize(300, 600);
        View.show();
        Load();
    }
    void Load() {
        TTreeNodes& Items = View.Items();
        Items.BeginUpdate();
        Items.ClearOutline();
        int Count = 0;
        while (Count < EntryCount) {
            TTreeNode* Top = Items.AppendChild(nullptr, "\x97\x76\x8c\x8f\x8e\x96\x8e\xc0 " + std::to_string(Count));
            ++Count;
            for (int Child = 0; Child < 9 && Count < EntryCount; ++Child, ++Count) {
                TTreeNode* Middle = Items.AppendChild(Top, "child " + std::to_string(Count));
                for (int Grand = 0; Child % 2 == 0 && Grand < 9 && Count + 1 < EntryCount; ++Grand)
                    Items.AppendChild(Middle, "grandchild " + std::to_string(++Count));
            }
        }
        Items.EndUpdate();
    }
    void Settle() {
        // Let the deferred layout and a paint happen, as the event loop would.
        QApplication::processEvents();
        View.viewport()->repaint();
    }
};

void BM_LoadOutlineIntoView(benchmark::State& State) {
    TBenchView Bench;
    for (auto _ : State) {
        Bench.Load();
        Bench.Settle();
    }
    State.counters["entries"] = Bench.View.Items().EntryCount();
}
BENCHMARK(BM_LoadOutlineIntoView)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ExpandAll(benchmark::State& State) {
    TBenchView Bench;
    for (auto _ : State) {
        State.PauseTiming();
        Bench.View.Items().CollapseAll();
        Bench.Settle();
        State.ResumeTiming();
        Bench.View.Items().ExpandAll();
        Bench.Settle();
    }
}
BENCHMARK(BM_ExpandAll)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CollapseAll(benchmark::State& State) {
    TBenchView Bench;
    for (auto _ : State) {
        State.PauseTiming();
        Bench.View.Items().ExpandAll();
        Bench.Settle();
        State.ResumeTiming();
        Bench.View.Items().CollapseAll();
        Bench.Settle();
    }
}
BENCHMARK(BM_CollapseAll)->Unit(benchmark::kMillisecond)->Iterations(5);

// Selecting an entry shows its body in the editor, as the window's change handler does.
void BM_SelectEntryShowingOneMegabyteBody(benchmark::State& State) {
    TBenchView Bench;
    TMemo Memo;
    Memo.resize(300, 600);
    Memo.show();
    std::map<const TTreeNode*, TByteString> Bodies;
    std::string Line;
    for (int Index = 0; Index < 30; ++Index)
        Line += "\x97\x76\x8c\x8f\x8e\x96\x8e\xc0"; // 8 bytes of kanji
    Line += "\r\n";
    TByteString Body;
    while (Body.size() < 1024 * 1024)
        Body += Line;
    TTreeNodes& Items = Bench.View.Items();
    TTreeNode* First = Items.EntryAtIndex(1);
    TTreeNode* Second = Items.EntryAtIndex(EntryCount / 2);
    Bodies[First] = Body;
    Bodies[Second] = "x" + Body;
    Items.OnChange = [&](TObject*, TTreeNode* Node) { Memo.SetLinesText(Bodies[Node]); };
    bool Flip = false;
    for (auto _ : State) {
        Items.SelectEntry((Flip = !Flip) ? First : Second);
        QApplication::processEvents();
        Memo.viewport()->repaint();
    }
    Items.OnChange = nullptr;
    State.counters["body_bytes"] = static_cast<double>(Body.size());
}
BENCHMARK(BM_SelectEntryShowingOneMegabyteBody)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
