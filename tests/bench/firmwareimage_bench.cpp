// ParseFirmwareImage against a plain copy of the same 65,536 bytes, measured in the same
// run so that the ratio does not depend on the machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image/FirmwareImage.h"

namespace {

const size_t kFile = FirmwareImage::kFileBytes;

// Nanoseconds per iteration of the last measured run of each benchmark.
double copyNs = 0;
double parseNs = 0;

std::unique_ptr<FirmwareImage> MakeFirmware()
{
    std::unique_ptr<FirmwareImage> firmware(new FirmwareImage());
    for (size_t i = 0; i < FirmwareImage::kImageBytes; ++i)
        firmware->image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const uint8_t record[36] = {0x05, 0x80, 0x00, 0x21, 0x1F, 0,   0,   0,   'N', 'E', 'M', 'B',
                                'R',  'I',  'K',  'A',  'C',  'D', '-', 'R', 'O', 'M', ' ', 'R',
                                'V',  'X',  '-',  '4',  '4',  '1', '7', 'K', '1', '.', '0', '1'};
    std::memcpy(firmware->image + 0x0800, record, sizeof record);
    std::memcpy(firmware->image + 0x0840, "__ZQTYPE40__", 12);
    return firmware;
}

double NsPerIteration(std::chrono::steady_clock::time_point start, benchmark::State& state)
{
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return state.iterations() > 0 ? spent.count() / static_cast<double>(state.iterations()) : 0;
}

void BM_CopyImage(benchmark::State& state)
{
    auto firmware = MakeFirmware();
    std::unique_ptr<uint8_t[]> target(new uint8_t[kFile]);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::memcpy(target.get(), firmware->image, kFile);
        benchmark::DoNotOptimize(target.get());
        benchmark::ClobberMemory();
    }
    copyNs = NsPerIteration(start, state);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFile);
}

void BM_ParseFirmwareImage(benchmark::State& state)
{
    auto firmware = MakeFirmware();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        firmware->ParseFirmwareImage();
        benchmark::DoNotOptimize(firmware->fileDescriptor);
        benchmark::ClobberMemory();
    }
    parseNs = NsPerIteration(start, state);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFile);
    if (copyNs > 0)
        state.counters["x_copy"] = parseNs / copyNs;
}

} // namespace

// The copy runs first so that the parse can report its ratio as a counter as well.
BENCHMARK(BM_CopyImage);
BENCHMARK(BM_ParseFirmwareImage);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (copyNs > 0 && parseNs > 0)
        std::printf("ParseFirmwareImage: %.0f ns, copy of 65536 bytes: %.0f ns, ratio %.1f\n",
                    parseNs, copyNs, parseNs / copyNs);
    return 0;
}
