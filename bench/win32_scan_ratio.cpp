// Times ScanOemInfs with the real Windows layer against the least any scan
// must do: a loop that finds, opens, sizes, reads whole, upper-cases with
// CharUpperBuffA and closes the same files. The folder (2,000 generated INF
// files, 85 MiB, none naming a reader) is written once and kept. Prints each
// round and the median of the per-round ratios scan / loop.
//
// win32_scan_ratio.exe [folder] [rounds]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/inf_corpus.h"
#include "cleanup/cleanup.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/windows_api.h"

namespace {

using vk::win32::unique_hfile;
using vk::win32::unique_hfind;

constexpr std::size_t kFiles = 2000;
constexpr std::size_t kTotalBytes = 85u * 1024 * 1024;

double Seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// The process's own processor time, user and kernel: steadier than the
// clock on a shared machine.
double ProcessSeconds() {
    FILETIME creation, exit, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto count = [](const FILETIME& time) {
        return double((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) *
               1e-7;
    };
    return count(kernel) + count(user);
}

bool WriteWhole(const std::string& path, const std::string& text) {
    unique_hfile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    ::DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<::DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

// The stamp names the count and the total, so a folder from other settings
// is written again.
bool MakeFolder(const std::string& folder) {
    const std::string stamp = folder + "\\corpus.txt";
    const std::string expected =
        std::to_string(kFiles) + " files, " + std::to_string(kTotalBytes) + " bytes\n";
    {
        unique_hfile file(::CreateFileA(stamp.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        char text[64] = {};
        ::DWORD read = 0;
        if (file && ::ReadFile(file.get(), text, sizeof text - 1, &read, nullptr) && expected == text)
            return true;
    }
    std::printf("writing %zu INF files (%zu bytes) to %s\n", kFiles, kTotalBytes, folder.c_str());
    ::CreateDirectoryA(folder.c_str(), nullptr);
    const std::vector<std::size_t> sizes = vk::bench::InfSizes(kFiles, 85, kTotalBytes);
    for (std::size_t i = 0; i < kFiles; ++i) {
        const std::string path = folder + "\\oem" + std::to_string(i + 1) + ".inf";
        if (!WriteWhole(path, vk::bench::InfText(sizes[i], static_cast<std::uint32_t>(i)))) return false;
    }
    return WriteWhole(stamp, expected);
}

struct LoopResult {
    std::size_t files = 0;
    std::size_t bytes = 0;
};

LoopResult PlainLoop(const std::string& folder, const std::string& pattern) {
    LoopResult result;
    std::vector<char> buffer;
    WIN32_FIND_DATAA found;
    unique_hfind search(::FindFirstFileA(pattern.c_str(), &found));
    if (!search) return result;
    do {
        const std::string path = folder + "\\" + found.cFileName;
        unique_hfile file(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size;
        if (!file || !::GetFileSizeEx(file.get(), &size)) continue;
        const auto length = static_cast<std::size_t>(size.QuadPart);
        if (buffer.size() < length + 1) buffer.resize(length + 1);
        ::DWORD read = 0;
        if (!::ReadFile(file.get(), buffer.data(), static_cast<::DWORD>(length), &read, nullptr)) continue;
        ::CharUpperBuffA(buffer.data(), read);
        file.reset();
        ++result.files;
        result.bytes += read;
    } while (::FindNextFileA(search.get(), &found));
    return result;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string given = argc > 1 ? argv[1] : "vk-bench-inf";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    char full[MAX_PATH];
    const ::DWORD length = ::GetFullPathNameA(given.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        std::fprintf(stderr, "bad folder: %s\n", given.c_str());
        return 2;
    }
    const std::string folder(full, length);
    if (!MakeFolder(folder)) {
        std::fprintf(stderr, "cannot write the INF files to %s\n", folder.c_str());
        return 2;
    }
    const std::string pattern = folder + "\\oem*.inf";

    vk::Win32Platform platform;
    vk::CCleanupActions cleaner(platform);
    // The first pass brings every file into the cache, for both.
    const LoopResult warm = PlainLoop(folder, pattern);
    if (warm.files != kFiles || warm.bytes != kTotalBytes || cleaner.ScanOemInfs(pattern.c_str()) != -1) {
        std::fprintf(stderr, "unexpected folder: %zu files, %zu bytes, or a file matched\n", warm.files,
                     warm.bytes);
        return 2;
    }

    std::vector<double> ratios;
    std::vector<double> processRatios;
    for (int round = 0; round < rounds; ++round) {
        double scan[2] = {};
        double loop[2] = {};
        // Alternate which goes first, so neither always meets a warmer cache.
        for (int turn = 0; turn < 2; ++turn) {
            const double start = Seconds();
            const double processStart = ProcessSeconds();
            const bool scanning = (turn == 0) == (round % 2 == 0);
            if (scanning) {
                if (cleaner.ScanOemInfs(pattern.c_str()) != -1) return 2;
            } else {
                PlainLoop(folder, pattern);
            }
            double* times = scanning ? scan : loop;
            times[0] = Seconds() - start;
            times[1] = ProcessSeconds() - processStart;
        }
        ratios.push_back(scan[0] / loop[0]);
        processRatios.push_back(scan[1] / loop[1]);
        std::printf(
            "round %d: scan %.1f ms, loop %.1f ms, ratio %.3f; processor time %.1f / %.1f ms, ratio %.3f\n",
            round + 1, scan[0] * 1e3, loop[0] * 1e3, ratios.back(), scan[1] * 1e3, loop[1] * 1e3,
            processRatios.back());
    }
    std::printf(
        "ScanOemInfs / plain loop, %zu files, %zu bytes, %d rounds: median ratio %.3f (clock), %.3f "
        "(processor time)\n",
        kFiles, kTotalBytes, rounds, Median(ratios), Median(processRatios));
    return 0;
}
