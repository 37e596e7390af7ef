// The rich workstation that the fault sweep and the transcripts run the whole
// program over, what it holds, a plausible failure of each operation, and the
// golden-file comparison.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/simulated/simulated.h"

namespace vk::rich {

using Names = std::vector<std::string>;

constexpr DWORD kErrorInfInUseByDevices = 0xE000023D;
extern const std::string kNames000A;
// Where the backup runs put their copies.
extern const std::string kBackup;
// A driver file that comes back between a backup and its restore.
extern const std::string kRestoredDriver;

// What the workstation holds, to tell afterwards what is gone.
struct Inventory {
    Names devices;
    Names files;
    Names services;
    Names packages;
    Names makerInfPairs;  // the INF files, twins and store packages that readers' keys name
    Names usedOutside;    // what devices outside the selection, or a class, use: never deleted
};

Inventory DescribeRichWorkstation(sim::SimulatedWorkstation& ws);

// A plausible failure of each operation. An operation missing here is a
// problem of the sweep itself, so a new one cannot go untried.
extern const std::map<std::string, DWORD> kFailureCodes;

// The devices, files, services and store packages of `all` no longer there.
Names GoneItems(const sim::SimulatedWorkstation& ws, const Inventory& all);

// What a file is, to tell whether a restore changed it.
std::string FileState(const sim::File& file);

// Compares `text` with a file of tests/golden/; VK_UPDATE_GOLDEN=1 writes the
// file instead, after a deliberate change whose difference is then read.
void ExpectGolden(const std::string& name, const std::string& text);

}  // namespace vk::rich
