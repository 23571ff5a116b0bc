// StrPrintf against the C library's snprintf on the same mix of typical log lines, in one
// run; prints the throughput ratio (StrPrintf items/s divided by snprintf items/s).
//
// Both get the same formats and arguments. Grouped numbers use "%'d" on both sides: the
// machine has only the C locale, where glibc accepts the flag but inserts no separator,
// so the baseline does slightly less work than StrPrintf there.
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tessel/tsl-str.h"

namespace {

constexpr int kLines = 8;

// One pass over the mix; `print` is StrPrintf or snprintf with the same argument lists.
template <typename Print>
int Mix(char* buffer, int size, int round, Print print) {
    int total = 0;
    const char* path = (round & 1) ? "C:\\Program Files\\Quorvex\\Spindrel\\spd.exe"
                                   : "C:\\Windows\\Temp\\vac3F2.tmp";
    total += print(buffer, size, "Opening file [%s] for %s\n", path, "reading");
    total += print(buffer, size, "Registry value %s = %d (0x%.8X)\n", "MaxFileCache", 65536 + round,
                   static_cast<unsigned>(0x7FFE0000u + round));
    total += print(buffer, size, "Memory in use: %'d bytes in %d blocks\n", 1234567 + round, 42);
    total += print(buffer, size, "Cache %-16s|%10d|%-6d|\n", "MinFileCache", 4096, round & 255);
    total += print(buffer, size, "Progress %f of %.2f percent\n", 12.5 + round, 99.1);
    total += print(buffer, size, "Window %.8X class [%s] title [%s]\n",
                   static_cast<unsigned>(0x000A0B12u + round), "#32770", "Uninstall...");
    total += print(buffer, size, "Sent %u bytes to %s:%d in %d ms\n", 1460u + round,
                   "updates.quorvex.example", 80, 15);
    total += print(buffer, size, "%s %s has been uninstalled!\n", "Spindrel", "2.1");
    return total;
}

int CPrint(char* buffer, int size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(buffer, static_cast<size_t>(size), format, arguments);
    va_end(arguments);
    return length;
}

void BM_StrPrintf(benchmark::State& state) {
    char buffer[256];
    int round = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Mix(buffer, sizeof buffer, round++, StrPrintf));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

void BM_snprintf(benchmark::State& state) {
    char buffer[256];
    int round = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Mix(buffer, sizeof buffer, round++, CPrint));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}

// Repetitions of the two run in random interleaving (see main), so that a change in the
// machine's load hits both alike; the ratio compares the medians.
BENCHMARK(BM_StrPrintf)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_snprintf)->Repetitions(9)->ReportAggregatesOnly(true);

// Shows the usual table and keeps the median items/s of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that a saved run stays plain text.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            auto rate = run.counters.find("items_per_second");
            if (rate != run.counters.end()) median[run.run_name.function_name] = rate->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> median;
};

}  // namespace

int main(int argc, char** argv) {
    // Both produce the same text for every line except the grouped number.
    char mine[256], theirs[256];
    StrPrintf(mine, sizeof mine, "%s|%.8X|%-16s|%10d|%f|%.2f|%u", "a", 0x1Fu, "b", 7, 12.5, 99.1,
              1460u);
    snprintf(theirs, sizeof theirs, "%s|%.8X|%-16s|%10d|%f|%.2f|%u", "a", 0x1Fu, "b", 7, 12.5, 99.1,
             1460u);
    if (std::string(mine) != theirs) {
        fprintf(stderr, "bench-format: outputs differ: [%s] [%s]\n", mine, theirs);
        return 1;
    }
    std::vector<char*> arguments(argv, argv + argc);
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave);  // a later argument may override it
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto ours = reporter.median.find("BM_StrPrintf");
    auto base = reporter.median.find("BM_snprintf");
    if (ours == reporter.median.end() || base == reporter.median.end() || base->second <= 0) {
        fprintf(stderr, "bench-format: both benchmarks must run to compute the ratio\n");
        return 1;
    }
    printf("StrPrintf / snprintf throughput ratio (median items/s): %.2fx (target 2.0x)\n",
           ours->second / base->second);
    return 0;
}
