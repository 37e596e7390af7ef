// The backup's manifest as a view of the run's record: each save, where its
// copy went, and what the action after it then did to the item.
#pragma once

#include <string>
#include <vector>

#include "backup/manifest.h"
#include "diag/run_record.h"

namespace vk {

std::vector<ManifestEntry> ManifestEntries(const CRunRecord& record);
std::string ManifestText(const CRunRecord& record);

}  // namespace vk
