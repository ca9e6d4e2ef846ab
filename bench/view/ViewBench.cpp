// The tree view and the body editor with an outline of 100,000 entries: loading it into
// the view, expanding and collapsing everything, and a selection change that shows a
// 1 MB body.
//
// Then the window with the large outline (1,000,000 entries, --entries=N for another size)
// as a user meets it, step by step, each beside its limit: from construction to the window
// shown against reading the same file into memory, the peak memory against the file,
// adding a sibling, adding a child, deleting an entry with a small subtree, a drop,
// expanding and collapsing everything and a type-ahead key that finds nothing; and loading
// a file whose parents are out of pre-order against the same outline in pre-order.
#include "BenchOutline.h"
#include "CraftedOutline.h"
#include "DataFile.h"
#include "Memo.h"
#include "ProcessMemory.h"
#include "TreeView.h"
#include "Unit1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// ---- the window with the large outline ----

double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// Runs Work in a child process and returns the number it writes back, so that neither the
// outline it builds nor the buffer it fills counts in this process's peak.
double InChild(auto&& Work) {
    int Pipe[2];
    if (::pipe(Pipe) != 0)
        std::abort();
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(Pipe[0]);
        const double Result = Work();
        [[maybe_unused]] const ssize_t Written = ::write(Pipe[1], &Result, sizeof Result);
        ::_exit(0);
    }
    ::close(Pipe[1]);
    double Result = -1;
    if (::read(Pipe[0], &Result, sizeof Result) != sizeof Result)
        Result = -1;
    ::close(Pipe[0]);
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    return Result;
}

// The file's bytes into a new buffer of the file's size, in 64 KiB reads.
double ReadIntoMemory(const std::string& Name) {
    const auto Start = std::chrono::steady_clock::now();
    const std::uintmax_t Size = std::filesystem::file_size(Name);
    std::unique_ptr<char[]> Whole(new char[Size]);
    std::FILE* In = std::fopen(Name.c_str(), "rb");
    std::size_t Done = 0;
    while (In != nullptr && Done < Size) {
        const std::size_t Got = std::fread(Whole.get() + Done, 1, std::min<std::size_t>(64 * 1024, Size - Done), In);
        if (Got == 0)
            break;
        Done += Got;
    }
    if (In != nullptr)
        std::fclose(In);
    benchmark::DoNotOptimize(Whole.get());
    return SecondsSince(Start);
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return Values.empty() ? -1 : Values[Values.size() / 2];
}

// Lets the event loop run the follow-ups (deferred layouts) and paints, as after a click.
void Settle(TForm1& Form) {
    QApplication::processEvents();
    Form.TreeView1->viewport()->repaint();
}

void Report(const char* What, double Value, const char* Unit, double Limit, const char* LimitText) {
    std::printf("%-46s %9.2f %-3s (limit %s: %s)\n", What, Value, Unit, LimitText, Value <= Limit ? "ok" : "OVER");
}

int GEntries = 1'000'000;

void RunWindowSteps() {
    std::string Template = (std::filesystem::temp_directory_path() / "quorvel-view-XXXXXX").string();
    if (::mkdtemp(Template.data()) == nullptr)
        std::abort();
    const std::filesystem::path Dir = Template;
    const std::string File = (Dir / "youken.dat").string();
    InChild([&] {
        TTreeNodes Nodes;
        ReleaseBodiesOnDeletion(Nodes);
        BenchOutline::Generate(Nodes, GEntries);
        WriteOutline(Nodes, File);
        return 0.0;
    });
    const double FileBytes = static_cast<double>(std::filesystem::file_size(File));
    std::vector<double> Reads;
    for (int I = 0; I < 3; ++I)
        Reads.push_back(InChild([&] { return ReadIntoMemory(File); }));
    const double Read = Median(Reads);
    std::filesystem::current_path(Dir);

    const auto Start = std::chrono::steady_clock::now();
    auto Form = std::make_unique<TForm1>();
    Form->show();
    while (!Form->windowHandle() || !Form->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    Settle(*Form);
    const double Shown = SecondsSince(Start);
    const long Peak = ProcessMemory::PeakResidentBytes();
    TTreeNodes& Items = Form->TreeView1->Items();

    std::printf("\nWindow with %d entries, %d top-level; data file of %.0f bytes\n", Items.EntryCount(),
                Items.TopCount(), FileBytes);
    std::printf("%-46s %9.2f s\n", "reading the file into memory", Read);
    std::printf("%-46s %9.2f s = %.2fx reading (limit 2x: %s)\n", "construction to window shown", Shown, Shown / Read,
                Shown / Read <= 2 ? "ok" : "OVER");
    std::printf("%-46s %9.1f MB = %.2fx the file (limit 1.6x: %s)\n", "peak memory after load",
                static_cast<double>(Peak) / 1e6, static_cast<double>(Peak) / FileBytes,
                static_cast<double>(Peak) / FileBytes <= 1.6 ? "ok" : "OVER");

    // Each command on an entry in the middle of the top level, as the user clicks it.
    auto Middle = [&] { return Items.TopItem(Items.TopCount() / 2); };
    auto Time = [&](auto&& Prepare, auto&& Command) {
        std::vector<double> Runs;
        for (int I = 0; I < 7; ++I) {
            Prepare();
            Settle(*Form);
            const auto At = std::chrono::steady_clock::now();
            Command();
            Settle(*Form);
            Runs.push_back(SecondsSince(At) * 1e3);
        }
        return Median(Runs);
    };
    const double Sibling = Time([&] { Items.SelectEntry(Middle()); }, [&] { Form->BitBtn1Click(); });
    const double Child = Time([&] { Items.SelectEntry(Middle()); }, [&] { Form->BitBtn2Click(); });
    // An entry with a small subtree: one with children but no grandchildren.
    auto Small = [&] {
        for (int Row = Items.TopCount() / 2; Row < Items.TopCount(); ++Row) {
            TTreeNode* E = Items.TopItem(Row);
            bool Flat = E->Count() > 0 && E->Count() < 5;
            for (int C = 0; Flat && C < E->Count(); ++C)
                Flat = E->Item(C)->Count() == 0;
            if (Flat)
                return E;
        }
        return Middle();
    };
    const double Delete = Time([&] { Items.SelectEntry(Small()); }, [&] { Form->BitBtn3Click(); });
    // A drop of the selection onto the title of the row below it.
    const double Drop = Time(
        [&] {
            TTreeNode* E = Items.TopItem(0);
            Items.SelectEntry(E);
            Form->TreeView1->scrollToTop();
        },
        [&] {
            const QRect Target = Form->TreeView1->LabelRect(Items.TopItem(1));
            Form->TreeView1DragDrop(Form->TreeView1, Form->TreeView1, Target.left() + 2, Target.center().y());
        });
    // The window's expand-all and collapse-all buttons, each from the other state.
    const double ExpandAll = Time([&] { Form->BitBtn8Click(); }, [&] { Form->BitBtn7Click(); });
    const double CollapseAll = Time([&] { Form->BitBtn7Click(); }, [&] { Form->BitBtn8Click(); });
    // A key that no title starts with reads every shown row (the top level, collapsed); the
    // key before it has read the titles once already.
    auto Type = [&] {
        QKeyEvent Press(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
        QApplication::sendEvent(Form->TreeView1, &Press);
    };
    const double TypeAhead = Time(
        [&] {
            Items.SelectEntry(Middle());
            Type();
        },
        Type);
    const bool TypeAheadStayed = Items.SelectedEntry() == Middle();
    Report("add sibling", Sibling, "ms", 16, "16 ms");
    Report("add child", Child, "ms", 16, "16 ms");
    Report("delete an entry with a small subtree", Delete, "ms", 16, "16 ms");
    Report("a drop", Drop, "ms", 16, "16 ms");
    Report("expand all", ExpandAll, "ms", 150, "150 ms");
    Report("collapse all", CollapseAll, "ms", 150, "150 ms");
    Report("type-ahead with no match", TypeAhead, "ms", 16, "16 ms");
    if (!TypeAheadStayed)
        std::printf("  (type-ahead moved the selection: some title starts with the key)\n");
    std::fflush(stdout);
    Form.reset();

    // Loads into an outline of its own, as the program reads a file.
    const std::string Crafted = (Dir / "crafted.dat").string();
    const std::string CraftedSaved = (Dir / "crafted-saved.dat").string();
    CraftedOutline::WriteFiles(Crafted, CraftedSaved);
    auto Load = [&](const std::string& Name) {
        std::vector<double> Runs;
        for (int I = 0; I < 7; ++I) {
            TTreeNodes Nodes;
            ReleaseBodiesOnDeletion(Nodes);
            const auto At = std::chrono::steady_clock::now();
            const TReadResult Result = ReadOutline(Nodes, Name);
            Runs.push_back(SecondsSince(At) * 1e3);
            if (Result != TReadResult::rrRead || Nodes.EntryCount() != CraftedOutline::Count)
                std::printf("  (%s did not load whole)\n", Name.c_str());
        }
        return Median(Runs);
    };
    const double OutOfOrder = Load(Crafted);
    const double InOrder = Load(CraftedSaved);
    std::printf("%-46s %9.2f ms / %.2f ms = %.2fx (limit 2x: %s)\n",
                "file with parents out of pre-order / in pre-order", OutOfOrder, InOrder, OutOfOrder / InOrder,
                OutOfOrder / InOrder <= 2 ? "ok" : "OVER");
    std::fflush(stdout);
    std::filesystem::current_path(Dir.parent_path());
    std::filesystem::remove_all(Dir);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    bool StepsOnly = false;
    for (int I = 1; I < argc; ++I) {
        if (std::string(argv[I]).rfind("--entries=", 0) == 0)
            GEntries = std::atoi(argv[I] + 10);
        if (std::string(argv[I]) == "--steps-only")
            StepsOnly = true;
    }
    QApplication App(argc, argv);
    // The window's steps first: their peak memory must be the window's own.
    RunWindowSteps();
    if (StepsOnly)
        return 0;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
