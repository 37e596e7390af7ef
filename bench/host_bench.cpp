// Benchmarks over the simulated workstation: device enumeration with
// property collection, and the OEM INF scan over folders of generated INF
// files that name no reader. Each reports the time per item, so that a cost
// growing faster than the number of items shows.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/inf_corpus.h"
#include "cleanup/cleanup.h"
#include "platform/simulated/simulated.h"

namespace vk {
namespace {

const std::string kPorts = "{4d36e978-e325-11ce-bfc1-08002be10318}";
const char* const kReaderIds[] = {"USB\\VID_C2B5&PID_000A", "USB\\VID_C2B5&PID_000B",
                                  "USB\\VID_C2B5&PID_000C", "USB\\VID_C2B5&PID_000E",
                                  "USB\\VID_C2B5&PID_0005", "USB\\VID_C2B5&PID_0012"};

// Seconds per item, next to the items-per-second rate.
benchmark::Counter PerItem(double items) {
    return benchmark::Counter(items,
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void EnumerationAndProperties(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    sim::SimulatedWorkstation ws;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string id = kReaderIds[i % 6];
        const std::string slot = std::to_string(1000 + i);
        ws.AddClassKey(kPorts + "\\" + slot)
            .Value("ProviderName", sim::Sz("VELKOR"))
            .Value("InfPath", sim::Sz("oem" + std::to_string(i) + ".inf"));
        ws.AddDevice(id + "\\5&1A2B3C&0&" + std::to_string(i))
            .HardwareIds({id + "&REV_0100", id})
            .Driver(kPorts + "\\" + slot)
            .Class("Ports")
            .Service("vlkusbser");
    }
    CDeviceInventory inventory(ws);
    const std::vector<std::string> targets = TargetTable();
    for (auto _ : state) {
        if (inventory.EnumerateTargetDevices(targets) != 0 || inventory.m_devices.size() != count) {
            state.SkipWithError("the enumeration did not select every reader");
            break;
        }
        inventory.ReleaseInventory();
        state.PauseTiming();
        ws.ForgetCalls();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
    state.counters["per_instance"] = PerItem(double(count));
}
BENCHMARK(EnumerationAndProperties)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

// One INF folder, kept between the runs the library makes of the same size.
struct InfFolder {
    std::size_t files = 0;
    std::size_t bytes = 0;
    std::size_t largest = 0;
    sim::SimulatedWorkstation ws;
};

InfFolder& FolderOf(std::size_t files) {
    static std::unique_ptr<InfFolder> folder;
    if (folder && folder->files == files) return *folder;
    folder.reset();
    folder = std::make_unique<InfFolder>();
    folder->files = files;
    const std::vector<std::size_t> sizes = bench::InfSizes(files, 5);
    for (std::size_t i = 0; i < files; ++i) {
        folder->ws.AddFile("C:\\Windows\\inf\\oem" + std::to_string(i + 1) + ".inf",
                           bench::InfText(sizes[i], static_cast<std::uint32_t>(i)));
        folder->bytes += sizes[i];
        if (sizes[i] > folder->largest) folder->largest = sizes[i];
    }
    return *folder;
}

void ScanWithoutMatch(benchmark::State& state) {
    InfFolder& folder = FolderOf(static_cast<std::size_t>(state.range(0)));
    CCleanupActions cleaner(folder.ws);
    std::size_t peak = 0;
    for (auto _ : state) {
        folder.ws.ResetHeapPeak();
        if (cleaner.ScanOemInfs("C:\\Windows\\inf\\oem*.inf") != -1) {
            state.SkipWithError("a generated file matched");
            break;
        }
        state.PauseTiming();
        if (folder.ws.PeakHeapBytes() > peak) peak = folder.ws.PeakHeapBytes();
        folder.ws.ForgetCalls();
        state.ResumeTiming();
    }
    if (peak != folder.largest + 1)
        state.SkipWithError("the scan held more than one buffer of the largest file");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * folder.files));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * folder.bytes));
    state.counters["per_file"] = PerItem(double(folder.files));
    state.counters["folder_MB"] = double(folder.bytes) / 1e6;
    state.counters["largest_plus_1"] = double(folder.largest + 1);
    state.counters["peak_heap"] = double(peak);
}
BENCHMARK(ScanWithoutMatch)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vk

BENCHMARK_MAIN();
