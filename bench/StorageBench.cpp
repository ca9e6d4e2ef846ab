// Loading and saving a large outline, side by side with plain buffered I/O of the same
// file's bytes; the peak memory of a process that loads it; and the cost of walking the
// outline by ascending index.
//
//   build/.../bench/storage_bench [--entries=N] [benchmark options]
#include "BenchOutline.h"
#include "CraftedOutline.h"
#include "DataFile.h"
#include "ProcessMemory.h"
#include "StringList.h"
#include "TreeNodes.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using BenchOutline::Generate;

namespace {

int GEntries = 1'000'000;

class TOwningOutline : public TTreeNodes {
public:
    TOwningOutline() { ReleaseBodiesOnDeletion(*this); }
};

struct TFiles {
    std::filesystem::path Dir;
    std::string Data;         // the generated outline, saved
    std::string Scratch;      // saves of the benchmarks go here
    std::string Plain;        // plain writes go here
    std::string Crafted;      // parents out of pre-order
    std::string CraftedSaved; // the same outline, saved: in pre-order
    std::uintmax_t Size = 0;
    std::vector<char> Bytes; // the data file's bytes, for the plain writes

    TFiles() {
        std::string Template = (std::filesystem::temp_directory_path() / "quorvel-bench-XXXXXX").string();
        if (::mkdtemp(Template.data()) == nullptr)
            std::abort();
        Dir = Template;
        Data = (Dir / "data.dat").string();
        Scratch = (Dir / "saved.dat").string();
        Plain = (Dir / "plain.dat").string();
        Crafted = (Dir / "crafted.dat").string();
        CraftedSaved = (Dir / "crafted-saved.dat").string();
        CraftedOutline::WriteFiles(Crafted, CraftedSaved);
        {
            TOwningOutline Nodes;
            Generate(Nodes, GEntries);
            WriteOutline(Nodes, Data);
        }
        Size = std::filesystem::file_size(Data);
        Bytes.resize(Size);
        std::FILE* In = std::fopen(Data.c_str(), "rb");
        if (In == nullptr || std::fread(Bytes.data(), 1, Bytes.size(), In) != Bytes.size())
            std::abort();
        std::fclose(In);
    }
    ~TFiles() { std::filesystem::remove_all(Dir); }
};

TFiles& Files() {
    static TFiles Instance;
    return Instance;
}

constexpr std::size_t Chunk = 64 * 1024;

void BM_LoadOutline(benchmark::State& State) {
    const std::string& Name = Files().Data;
    for (auto _ : State) {
        auto* Nodes = new TOwningOutline;
        if (ReadOutline(*Nodes, Name) != TReadResult::rrRead || Nodes->EntryCount() != GEntries)
            State.SkipWithError("load failed");
        State.PauseTiming();
        delete Nodes;
        State.ResumeTiming();
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Files().Size));
}

// The crafted file (State.range(0) == 0) and the same outline in pre-order (1).
void BM_LoadParentOrder(benchmark::State& State) {
    const std::string& Name = State.range(0) == 0 ? Files().Crafted : Files().CraftedSaved;
    for (auto _ : State) {
        auto* Nodes = new TOwningOutline;
        if (ReadOutline(*Nodes, Name) != TReadResult::rrRead || Nodes->EntryCount() != CraftedOutline::Count)
            State.SkipWithError("load failed");
        State.PauseTiming();
        delete Nodes;
        State.ResumeTiming();
    }
    State.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(Name)) / 1e6;
}

// Files whose parents are out of pre-order in the shapes that are hardest for a tree of
// runs, a million records each: after two top-level entries, every record under the first
// entry (0), under the newest entry, a chain a million deep (1), at the top level (2),
// under the middle entry (3), under any entry (4). Each is also loaded as saved, in
// pre-order (State.range(1) == 1); the time per record stays near that of the random
// file above.
constexpr int AdversarialCount = 1'000'000;

std::string AdversarialBytes(int Shape) {
    std::mt19937 Random(5);
    std::string Bytes;
    CraftedOutline::AppendHeader(Bytes, AdversarialCount);
    for (int K = 0; K < AdversarialCount; ++K) {
        int Parent = -1;
        if (K >= 2) {
            switch (Shape) {
            case 0:
                Parent = 0;
                break;
            case 1:
                Parent = K == 2 ? 0 : K - 2;
                break; // the newest entry sits before entry 1
            case 2:
                Parent = K == 2 ? 0 : -1;
                break;
            case 3:
                Parent = K / 2;
                break;
            default:
                Parent = static_cast<int>(Random() % static_cast<unsigned>(K + 1)) - 1;
                break;
            }
        }
        CraftedOutline::AppendRecord(Bytes, Parent, K);
    }
    return Bytes;
}

// The file of Shape, made on first use (Saved: as the program saves it).
const std::string& AdversarialFile(int Shape, bool Saved) {
    static std::map<std::pair<int, bool>, std::string> Names;
    auto Found = Names.find({Shape, Saved});
    if (Found != Names.end())
        return Found->second;
    const std::string Crafted = (Files().Dir / ("adversarial-" + std::to_string(Shape) + ".dat")).string();
    if (Names.find({Shape, false}) == Names.end()) {
        const std::string Bytes = AdversarialBytes(Shape);
        std::FILE* Out = std::fopen(Crafted.c_str(), "wb");
        if (Out == nullptr || std::fwrite(Bytes.data(), 1, Bytes.size(), Out) != Bytes.size())
            std::abort();
        std::fclose(Out);
        Names[{Shape, false}] = Crafted;
    }
    if (!Saved)
        return Names[{Shape, false}];
    const std::string SavedName = (Files().Dir / ("adversarial-" + std::to_string(Shape) + "-saved.dat")).string();
    TOwningOutline Nodes;
    ReadOutline(Nodes, Crafted);
    WriteOutline(Nodes, SavedName);
    return Names[{Shape, true}] = SavedName;
}

void BM_LoadAdversarial(benchmark::State& State) {
    const std::string& Name = AdversarialFile(static_cast<int>(State.range(0)), State.range(1) == 1);
    for (auto _ : State) {
        auto* Nodes = new TOwningOutline;
        if (ReadOutline(*Nodes, Name) != TReadResult::rrRead || Nodes->EntryCount() != AdversarialCount)
            State.SkipWithError("load failed");
        State.PauseTiming();
        delete Nodes;
        State.ResumeTiming();
    }
    State.counters["ns_per_record"] =
        benchmark::Counter(static_cast<double>(AdversarialCount) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The file's bytes with stdio in 64 KiB pieces: streamed through one reused buffer
// (State.range(0) == 0), or into a new buffer of the file's size, as a program that keeps
// the bytes in memory would (1).
void BM_PlainRead(benchmark::State& State) {
    std::vector<char> Reused(Chunk);
    for (auto _ : State) {
        std::unique_ptr<char[]> Whole;
        if (State.range(0) == 1)
            Whole.reset(new char[Files().Size]);
        std::FILE* In = std::fopen(Files().Data.c_str(), "rb");
        std::size_t Done = 0;
        while (Done < Files().Size) {
            char* To = Whole ? Whole.get() + Done : Reused.data();
            const std::size_t Got = std::fread(To, 1, std::min<std::size_t>(Chunk, Files().Size - Done), In);
            if (Got == 0)
                break;
            benchmark::DoNotOptimize(To);
            Done += Got;
        }
        std::fclose(In);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Files().Size));
}

struct TChildLoad {
    double Seconds = -1;
    long PeakBytes = -1;
};

// Loads Name in a fresh process of this program, which reports the load's time and its
// peak resident size (VmHWM: the wait status' ru_maxrss would count this process too).
TChildLoad LoadInFreshProcess(const std::string& Name) {
    TChildLoad Result;
    const std::string Command =
        std::filesystem::read_symlink("/proc/self/exe").string() + " --load-only '" + Name + "'";
    std::FILE* Pipe = ::popen(Command.c_str(), "r");
    if (Pipe == nullptr)
        return Result;
    if (std::fscanf(Pipe, "%lf %ld", &Result.Seconds, &Result.PeakBytes) != 2)
        Result = {};
    if (::pclose(Pipe) != 0)
        Result = {};
    return Result;
}

void BM_LoadOutlineFreshProcess(benchmark::State& State) {
    long Peak = 0;
    for (auto _ : State) {
        const TChildLoad Load = LoadInFreshProcess(Files().Data);
        if (Load.Seconds < 0) {
            State.SkipWithError("load failed");
            break;
        }
        State.SetIterationTime(Load.Seconds);
        Peak = std::max(Peak, Load.PeakBytes);
    }
    State.counters["peak_MB"] = static_cast<double>(Peak) / 1e6;
    State.counters["peak_per_file_byte"] = static_cast<double>(Peak) / static_cast<double>(Files().Size);
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Files().Size));
}

// The outline's own share of a load: the same appends with titles only, no file and no
// bodies. A load cannot be faster than this.
void BM_AppendTitlesOnly(benchmark::State& State) {
    std::vector<std::pair<int, std::string>> Records; // depth, title
    {
        TOwningOutline Nodes;
        ReadOutline(Nodes, Files().Data);
        for (TTreeNode* E = Nodes.GetFirstNode(); E != nullptr; E = E->GetNext())
            Records.emplace_back(TTreeNodes::EntryLevel(E), E->Text());
    }
    for (auto _ : State) {
        auto* Nodes = new TOwningOutline;
        std::vector<TTreeNode*> Path;
        for (const auto& [Depth, Title] : Records) {
            Path.resize(static_cast<std::size_t>(Depth));
            Path.push_back(Nodes->AppendChild(Depth == 0 ? nullptr : Path.back(), Title, nullptr));
        }
        State.PauseTiming();
        delete Nodes;
        State.ResumeTiming();
    }
}

void BM_SaveOutline(benchmark::State& State) {
    TOwningOutline Nodes;
    ReadOutline(Nodes, Files().Data);
    for (auto _ : State)
        WriteOutline(Nodes, Files().Scratch);
    if (std::filesystem::file_size(Files().Scratch) != Files().Size)
        State.SkipWithError("saved file differs in size");
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Files().Size));
}

// The same bytes with stdio, synced to disk as a save is (State.range(0) == 1) or not.
void BM_PlainWrite(benchmark::State& State) {
    const std::vector<char>& Bytes = Files().Bytes;
    for (auto _ : State) {
        std::FILE* Out = std::fopen(Files().Plain.c_str(), "wb");
        for (std::size_t Done = 0; Done < Bytes.size(); Done += Chunk)
            std::fwrite(Bytes.data() + Done, 1, std::min(Chunk, Bytes.size() - Done), Out);
        std::fflush(Out);
        if (State.range(0) == 1)
            ::fsync(::fileno(Out));
        std::fclose(Out);
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Files().Size));
}

// EntryAtIndex on 0, 1, 2, ...: one step each, so the time per entry stays flat as the
// outline grows.
void BM_EntryAtIndexAscending(benchmark::State& State) {
    TOwningOutline Nodes;
    Generate(Nodes, static_cast<int>(State.range(0)));
    for (auto _ : State)
        for (int K = 0; K < Nodes.EntryCount(); ++K)
            benchmark::DoNotOptimize(Nodes.EntryAtIndex(K));
    State.SetItemsProcessed(State.iterations() * State.range(0));
    State.SetComplexityN(State.range(0));
}

BENCHMARK(BM_PlainRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_LoadOutline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadParentOrder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_LoadAdversarial)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->ArgNames({"shape", "saved"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_AppendTitlesOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadOutlineFreshProcess)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PlainWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_SaveOutline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_EntryAtIndexAscending)
    ->RangeMultiplier(10)
    ->Range(1000, 1'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity(benchmark::oN);

// Keeps each run's real time per iteration, for the ratios printed at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& Runs) override {
        ConsoleReporter::ReportRuns(Runs);
        for (const Run& R : Runs)
            if (R.run_type == Run::RT_Iteration && R.iterations > 0)
                FSeconds[R.benchmark_name()] = R.real_accumulated_time / static_cast<double>(R.iterations);
    }
    void PrintRatio(const char* What, const std::string& Ours, const std::string& Plain, double Limit) const {
        const auto A = FSeconds.find(Ours), B = FSeconds.find(Plain);
        if (A == FSeconds.end() || B == FSeconds.end() || B->second <= 0)
            return;
        const double Ratio = A->second / B->second;
        std::printf("%-40s %7.1f ms / %7.1f ms = %5.2fx  (limit %.0fx: %s)\n", What, A->second * 1e3, B->second * 1e3,
                    Ratio, Limit, Ratio <= Limit ? "ok" : "OVER");
    }

private:
    std::map<std::string, double> FSeconds;
};

} // namespace

int main(int argc, char** argv) {
    for (int I = 1; I < argc; ++I)
        if (std::string(argv[I]).rfind("--entries=", 0) == 0)
            GEntries = std::atoi(argv[I] + 10);
    if (argc >= 3 && std::string(argv[1]) == "--load-only") {
        // Prints the seconds the load took, for timing loads in a fresh process.
        TOwningOutline Nodes;
        const auto Start = std::chrono::steady_clock::now();
        const bool Loaded = ReadOutline(Nodes, argv[2]) == TReadResult::rrRead;
        const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
        // The peak of this process alone.
        std::printf("%.9f %ld\n", Seconds, ProcessMemory::PeakResidentBytes());
        return Loaded ? 0 : 1;
    }
    if (argc >= 3 && std::string(argv[1]) == "--read-only") {
        // Prints the seconds that reading the named file into a new buffer of its size takes.
        const auto Start = std::chrono::steady_clock::now();
        const std::uintmax_t Size = std::filesystem::file_size(argv[2]);
        std::unique_ptr<char[]> Whole(new char[Size]);
        std::FILE* In = std::fopen(argv[2], "rb");
        std::size_t Done = 0;
        while (In != nullptr && Done < Size) {
            const std::size_t Got = std::fread(Whole.get() + Done, 1, std::min<std::size_t>(Chunk, Size - Done), In);
            if (Got == 0)
                break;
            Done += Got;
        }
        if (In != nullptr)
            std::fclose(In);
        benchmark::DoNotOptimize(Whole.get());
        std::printf("%.9f\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
        return Done == Size ? 0 : 1;
    }
    if (argc >= 3 && std::string(argv[1]) == "--write-only") {
        // Saves the generated outline to the named file, as a sample for other uses.
        TOwningOutline Nodes;
        Generate(Nodes, GEntries);
        WriteOutline(Nodes, argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    std::printf("Outline of %d entries: data file of %ju bytes\n", GEntries, Files().Size);
    TRatioReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    std::printf("\n");
    for (const char* Plain : {"BM_PlainRead/1/iterations:5/real_time", "BM_PlainRead/0/iterations:5/real_time"}) {
        const bool Whole = std::string(Plain).find("/1/") != std::string::npos;
        Reporter.PrintRatio(Whole ? "load / read into file-size buffer" : "load / read through 64 KiB buffer",
                            "BM_LoadOutline/iterations:3/real_time", Plain, 4);
        Reporter.PrintRatio(Whole ? "fresh load / read into file-size buffer" : "fresh load / read through 64 KiB",
                            "BM_LoadOutlineFreshProcess/iterations:3/manual_time", Plain, 4);
    }
    Reporter.PrintRatio("save / plain write, both synced", "BM_SaveOutline/iterations:3/real_time",
                        "BM_PlainWrite/1/iterations:3/real_time", 3);
    Reporter.PrintRatio("save / plain write without sync", "BM_SaveOutline/iterations:3/real_time",
                        "BM_PlainWrite/0/iterations:3/real_time", 3);
    Reporter.PrintRatio("parents out of pre-order / in pre-order", "BM_LoadParentOrder/0/iterations:5/real_time",
                        "BM_LoadParentOrder/1/iterations:5/real_time", 2);
    const TChildLoad Load = LoadInFreshProcess(Files().Data);
    const double Ratio = static_cast<double>(Load.PeakBytes) / static_cast<double>(Files().Size);
    std::printf("%-40s %7.1f MB / %7.1f MB = %5.2fx  (limit 1.6x: %s)\n", "peak memory of a loading process / file",
                static_cast<double>(Load.PeakBytes) / 1e6, static_cast<double>(Files().Size) / 1e6, Ratio,
                Load.PeakBytes > 0 && Ratio <= 1.6 ? "ok" : "OVER");
    benchmark::Shutdown();
    return 0;
}
