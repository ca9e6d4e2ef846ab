// Find over a large outline: building the index of folded texts, its memory, the next
// match found anywhere (the worst case: the match lies just before the start, so the
// search wraps through the whole outline), a search that finds nothing, and one slice
// of the build that runs between events.
//
//   build/.../bench/find_bench [benchmark options]
//
// The outlines have the shape of the storage benchmark's (its 1,000,000 entries make a
// data file of 185 MB): titles of about 20 bytes, bodies of 3 lines, some double-byte text.
#include "BenchOutline.h"
#include "CodePage932.h"
#include "DataFile.h"
#include "FindIndex.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class TOwningOutline : public TTreeNodes {
public:
    TOwningOutline() { ReleaseBodiesOnDeletion(*this); }
};

long ResidentBytes() {
    long Pages = 0;
    long Resident = 0;
    if (std::FILE* Statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(Statm, "%ld %ld", &Pages, &Resident) != 2)
            Resident = 0;
        std::fclose(Statm);
    }
    return Resident * ::sysconf(_SC_PAGESIZE);
}

struct TSubject {
    TOwningOutline Nodes;
    std::unique_ptr<TFindIndex> Index;
    double BuildSeconds = 0;
    long IndexBytes = 0;
    long OutlineBytes = 0;
};

// One outline per size, with its index built, kept for all benchmarks of that size.
TSubject& Subject(int Count) {
    static std::map<int, std::unique_ptr<TSubject>> Subjects;
    auto& Slot = Subjects[Count];
    if (!Slot) {
        Subjects.clear();
        Slot = nullptr;
        const long Before = ResidentBytes();
        auto Made = std::make_unique<TSubject>();
        BenchOutline::Generate(Made->Nodes, Count);
        const long Loaded = ResidentBytes();
        Made->Index = std::make_unique<TFindIndex>(Made->Nodes);
        const auto Start = std::chrono::steady_clock::now();
        Made->Index->BuildFor(std::chrono::microseconds::max());
        Made->BuildSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        Made->IndexBytes = ResidentBytes() - Loaded;
        Made->OutlineBytes = Loaded - Before;
        Subjects[Count] = std::move(Made);
    }
    return *Subjects[Count];
}

std::string NeedleOf(const char* Utf8) {
    return TFindText::Needle(QString::fromUtf8(Utf8)).value();
}

// The title of entry K is "<word> K" padded with dots: " K." names entry K alone.
std::string TitleNeedle(int K, bool FullWidth) {
    std::string Digits = " " + std::to_string(K) + ".";
    if (!FullWidth)
        return NeedleOf(Digits.c_str());
    // The same in full-width digits: the folding has to bring them together.
    QString Wide;
    for (const char C : Digits)
        Wide += C >= '0' && C <= '9' ? QChar(char16_t(u'０' + (C - '0'))) : QChar(char16_t(C));
    return TFindText::Needle(Wide).value();
}

void BM_FindIndexBuild(benchmark::State& State) {
    const int Count = static_cast<int>(State.range(0));
    for (auto _ : State) {
        const TSubject& S = Subject(Count);
        State.SetIterationTime(S.BuildSeconds);
        State.counters["outline_MB"] = static_cast<double>(S.OutlineBytes) / 1e6;
        State.counters["index_MB"] = static_cast<double>(S.IndexBytes) / 1e6;
        State.counters["text_MB"] = static_cast<double>(S.Index->TextBytes()) / 1e6;
        State.counters["index_B_per_entry"] = static_cast<double>(S.IndexBytes) / Count;
    }
}

// Worst case of "the next match": it lies just before the start, past the end and the wrap.
void BM_FindNextAnywhere(benchmark::State& State) {
    const int Count = static_cast<int>(State.range(0));
    TSubject& S = Subject(Count);
    const int Target = Count / 3;
    const std::string Needle = TitleNeedle(Target, State.range(1) == 1);
    TTreeNode* Expected = S.Nodes.EntryAtIndex(Target);
    const TTreeNode* From = Expected->GetNext();
    for (auto _ : State) {
        if (S.Index->Find(Needle, From, fdNext) != Expected)
            State.SkipWithError("wrong entry found");
    }
}

// Nothing found: range(1) 0 searches a Japanese word, 1 the single letter "z", which no
// byte-pair filter can rule out, so every text is scanned.
void BM_FindNothing(benchmark::State& State) {
    TSubject& S = Subject(static_cast<int>(State.range(0)));
    const std::string Needle = NeedleOf(State.range(1) == 0 ? "消滅時効" : "z");
    const TTreeNode* From = S.Nodes.EntryAtIndex(5);
    for (auto _ : State) {
        if (S.Index->Find(Needle, From, fdNext) != nullptr)
            State.SkipWithError("found what is not there");
    }
}

// One slice of the first build, as the find bar runs it between events; after a reset
// the whole outline waits to be folded.
void BM_BuildSlice(benchmark::State& State) {
    TSubject& S = Subject(static_cast<int>(State.range(0)));
    TFindIndex Fresh(S.Nodes);
    for (auto _ : State) {
        const auto Start = std::chrono::steady_clock::now();
        Fresh.BuildFor(std::chrono::milliseconds(15));
        State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
    }
}

// Refolding after an edit: a title changed, then the next search.
void BM_FindAfterTitleChange(benchmark::State& State) {
    TSubject& S = Subject(static_cast<int>(State.range(0)));
    TTreeNode* Entry = S.Nodes.EntryAtIndex(7);
    const TByteString Old = Entry->Text();
    const std::string Needle = NeedleOf("renamed-entry");
    bool Renamed = false;
    for (auto _ : State) {
        S.Nodes.SetEntryTitle(Entry, Renamed ? Old : "renamed-entry");
        Renamed = !Renamed;
        benchmark::DoNotOptimize(S.Index->Find(Needle, nullptr, fdNext));
    }
    S.Nodes.SetEntryTitle(Entry, Old);
}

// After an insertion the next search renews the pre-order list: a walk of the outline.
void BM_FindAfterInsert(benchmark::State& State) {
    TSubject& S = Subject(static_cast<int>(State.range(0)));
    const std::string Needle = NeedleOf("消滅時効");
    for (auto _ : State) {
        TTreeNode* Added = S.Nodes.AppendChild(S.Nodes.EntryAtIndex(3), "added", new TStringList);
        benchmark::DoNotOptimize(S.Index->Find(Needle, nullptr, fdNext));
        State.PauseTiming();
        S.Nodes.DeleteEntry(Added);
        S.Index->Find(Needle, nullptr, fdNext);
        State.ResumeTiming();
    }
}

} // namespace

// Grouped by size: each size's outline is made once.
BENCHMARK(BM_FindIndexBuild)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_FindNextAnywhere)->Args({100'000, 0})->Args({100'000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindNothing)->Args({100'000, 0})->Args({100'000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindIndexBuild)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_FindNextAnywhere)
    ->Args({1'000'000, 0})
    ->Args({1'000'000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindNothing)->Args({1'000'000, 0})->Args({1'000'000, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindAfterTitleChange)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FindAfterInsert)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_BuildSlice)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

BENCHMARK_MAIN();
