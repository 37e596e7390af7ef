// The backup's manifest: every item saved (or that could not be), where it
// came from, where its copy is, and what the pass then did to it. Text of the
// process code page, one item a line, its fields separated by tabs.
#pragma once

#include <string>
#include <vector>

#include "platform/winconst.h"

namespace vk {

constexpr const char* kManifestName = "manifest.txt";

struct ManifestEntry {
    enum class Kind { File, Package, Service, Device };
    enum class Outcome {
        Planned,     // a dry run's: nothing was done
        Saved,       // saved; the pass had not yet acted on it
        Deleted,     // saved, then deleted (or uninstalled, or removed)
        NotDeleted,  // saved, but the deletion failed: the item is still there
        Kept,        // could not be saved, so it was not deleted
    };
    Kind kind = Kind::File;
    // Full path of a file, published name of a package, name of a service,
    // instance ID of a device.
    std::string source;
    // Relative to the backup folder: the copy of a file; a package's INF in
    // its saved store folder (below store\) or its INF copy (below files\);
    // a service's or a device's .reg file. Empty when nothing was saved.
    std::string savedAs;
    Outcome outcome = Outcome::Saved;
    DWORD code = 0;  // why it was kept, or why its deletion failed
};

std::string ManifestText(const std::vector<ManifestEntry>& entries);
// False when `text` is not a manifest.
bool ReadManifest(const std::string& text, std::vector<ManifestEntry>* entries);

}  // namespace vk
