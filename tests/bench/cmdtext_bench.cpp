// Timing of the command-line interpreter over the system's own command lines, and of the
// token split on its own.
#include <benchmark/benchmark.h>

#include "cmdtext/FormatCommand.h"
#include "cmdtext/MatchPattern.h"

namespace {

const char* const kLines[] = {
    "12 0 0 0 d'46 /R46",
    "CB 0 1 0 0 0 0 F8 02 0 40",
    "CB 0 4 0 0 0 0 F8 02 0 40 /t%d /w63490",
    "1e 0 0 0 2",
    "1B 0 0 0 2 /t30",
    "1b 0 0 0 3",
    "00",
};
const int kLineCount = sizeof kLines / sizeof kLines[0];

// One line of the system per benchmark argument; the transfer line takes 9000.
void BM_FormatCommand(benchmark::State& state)
{
    ScsiDevice device(65545);
    const char* line = kLines[state.range(0)];
    for (auto _ : state) {
        FormatCommand(device, line, 9000);
        benchmark::DoNotOptimize(device.PendingRequest().cdb);
    }
    state.SetLabel(line);
}
BENCHMARK(BM_FormatCommand)->DenseRange(0, kLineCount - 1);

// The whole sequence of one download: inquiry, probe, prevent and eject for one drive,
// transfer, load and two TEST UNIT READY.
void BM_FormatCommandDownload(benchmark::State& state)
{
    ScsiDevice device(65545);
    for (auto _ : state) {
        for (int i = 0; i < kLineCount; ++i)
            FormatCommand(device, kLines[i], 9000);
        FormatCommand(device, "00");
        benchmark::DoNotOptimize(device.PendingRequest().cdb);
    }
    state.SetItemsProcessed(state.iterations() * (kLineCount + 1));
}
BENCHMARK(BM_FormatCommandDownload);

void BM_MatchPatternSplit(benchmark::State& state)
{
    TextBuffer line("CB 0 4 0 0 0 0 F8 02 0 40 /T9000 /W63490");
    char tokens[19][15];
    PatternOutput outputs[19];
    for (int i = 0; i < 19; ++i)
        outputs[i] = {tokens[i], sizeof tokens[i]};
    for (auto _ : state) {
        bool matched = MatchPattern(line, "* * * * * * * * * * * * * * * * * * *", outputs, 19);
        benchmark::DoNotOptimize(matched);
        benchmark::DoNotOptimize(tokens);
    }
}
BENCHMARK(BM_MatchPatternSplit);

} // namespace

BENCHMARK_MAIN();
