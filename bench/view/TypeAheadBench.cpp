// Type-ahead in a tree of 368,300 top-level entries when no title starts with the typed
// text: every row is read once per key.
#include "TreeView.h"

#include <QApplication>
#include <QKeyEvent>
#include <benchmark/benchmark.h>

#include <string>

namespace {

constexpr int EntryCount = 368300;

void BM_TypeAheadWithoutMatch(benchmark::State& State) {
    TTreeView View;
    View.resize(300, 600);
    View.show();
    TTreeNodes& Items = View.Items();
    Items.BeginUpdate();
    for (int Index = 0; Index < EntryCount; ++Index)
        Items.AppendChild(nullptr, "\x97\x76\x8c\x8f " + std::to_string(Index));
    Items.EndUpdate();
    Items.SelectEntry(Items.TopItem(EntryCount / 2));
    QApplication::processEvents();
    auto Type = [&View] {
        QKeyEvent Press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
        QApplication::sendEvent(&View, &Press);
    };
    // Warm: the titles have been read once before (painting, an earlier key).
    if (State.range(0) != 0)
        Type();
    for (auto _ : State)
        Type();
    if (Items.SelectedEntry() != Items.TopItem(EntryCount / 2))
        State.SkipWithError("the selection moved");
}
BENCHMARK(BM_TypeAheadWithoutMatch)->ArgName("warm")->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_TypeAheadWithoutMatch)->ArgName("warm")->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

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
