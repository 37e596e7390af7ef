// Benchmarks over the simulated workstation: device enumeration with
// property collection and the walk over the other devices, and the OEM INF scan over folders of generated INF
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

void AddReaders(sim::SimulatedWorkstation& ws, std::size_t count) {
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
}

// Devices of other makers on several enumerators, each with a function
// service, a lower and an upper filter and the INF of its driver; each
// service with its image, and class keys with class filters.
void AddOtherDevices(sim::SimulatedWorkstation& ws, std::size_t count) {
    const char* const enumerators[] = {"USB", "HID", "PCI", "ACPI", "SWD"};
    const std::string otherClass = "{36fc9e60-c465-11cf-8056-444553540000}";
    for (std::size_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        const std::string slot = otherClass + "\\" + std::to_string(10000 + i);
        ws.AddClassKey(slot)
            .Value("ProviderName", sim::Sz("Other"))
            .Value("InfPath", sim::Sz("oem" + n + "x.inf"));
        const std::string id = std::string(enumerators[i % 5]) + "\\VEN_1234&DEV_" + n;
        ws.AddDevice(id + "\\" + n)
            .HardwareIds({id})
            .Driver(slot)
            .Class("Other")
            .Service("svc" + std::to_string(i % 1000))
            .LowerFilters({"lower" + std::to_string(i % 50)})
            .UpperFilters({"upper" + std::to_string(i % 50)});
    }
    for (std::size_t j = 0; j < 1000; ++j) {
        const std::string name = "svc" + std::to_string(j);
        ws.AddService(name, "\\SystemRoot\\System32\\drivers\\" + name + ".sys");
    }
    for (std::size_t j = 0; j < 50; ++j) {
        ws.AddRegistryKey("System\\CurrentControlSet\\Control\\Class\\{class-" + std::to_string(j) + "}")
            .Value("UpperFilters", sim::MultiSz({"classfilter" + std::to_string(j)}));
    }
}

// The enumeration as the pass runs it, selection and walk, per device of
// the workstation.
void Enumerate(benchmark::State& state, sim::SimulatedWorkstation& ws, std::size_t readers,
               std::size_t devices) {
    CDeviceInventory inventory(ws);
    const std::vector<std::string> targets = TargetTable();
    for (auto _ : state) {
        if (inventory.EnumerateTargetDevices(targets) != 0 || inventory.m_devices.size() != readers ||
            !inventory.m_outside.complete) {
            state.SkipWithError("the enumeration did not select every reader or the walk failed");
            break;
        }
        inventory.ReleaseInventory();
        state.PauseTiming();
        ws.ForgetCalls();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * devices));
    state.counters["per_device"] = PerItem(double(devices));
}

void EnumerationAndProperties(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    sim::SimulatedWorkstation ws;
    AddReaders(ws, count);
    Enumerate(state, ws, count, count);
}
BENCHMARK(EnumerationAndProperties)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

constexpr std::size_t kOtherDevices = 5000;

void EnumerationAmongOtherDevices(benchmark::State& state) {
    const auto readers = static_cast<std::size_t>(state.range(0));
    sim::SimulatedWorkstation ws;
    AddReaders(ws, readers);
    AddOtherDevices(ws, kOtherDevices);
    Enumerate(state, ws, readers, readers + kOtherDevices);
}
BENCHMARK(EnumerationAmongOtherDevices)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

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
