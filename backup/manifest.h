// The backup's manifest, written ahead of the pass: a header when the folder
// is prepared, then for each item a save line (its copies with their sizes
// and SHA-256) on the disk before the item goes, then a line with what became
// of it. Lines are appended, never rewritten; each ends with its marker, and
// one without it (a write cut short) is ignored. Text of the process code
// page, fields separated by tabs, CR LF line ends. Version 1, written once at
// the end of a pass, is still read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/folder_io.h"
#include "cleanup/handles.h"
#include "platform/platform.h"

namespace vk {

constexpr const char* kManifestName = "manifest.txt";

struct ManifestEntry {
    enum class Kind { File, Package, Service, Device };
    enum class Outcome {
        Planned,        // a dry run's (version 1): nothing was done
        Saved,          // saved, and no line says what came next: it may be gone
        Deleted,        // saved, then deleted (or uninstalled, or removed)
        NotDeleted,     // saved, but the deletion failed: the item is still there
        Kept,           // could not be saved, so it was not deleted
        LeftToRestart,  // saved, and it goes at the next restart
        Untouched,      // saved, and the pass did not go on to remove it
    };
    Kind kind = Kind::File;
    // Full path of a file, published name of a package, name of a service,
    // instance ID of a device.
    std::string source;
    // The copies: a file's; a package's INF in its saved store folder (below
    // store\) and the rest of that folder, or its INF and PNF (below
    // files\inf\); a service's .reg and configuration; a device's .reg.
    // Empty when nothing was saved.
    std::vector<SavedCopy> copies;
    Outcome outcome = Outcome::Saved;
    DWORD code = 0;  // why it was kept, or why its deletion failed
    // Version 2: the number its lines share, and how far a restore got.
    std::size_t number = 0;
    bool restoring = false;
    bool restored = false;

    const std::string& SavedAs() const;
};

struct Manifest {
    int version = 2;
    std::vector<ManifestEntry> entries;
};

// The lines of version 2, each with its marker and line end.
std::string ManifestHeader();
std::string SaveLine(std::size_t number, ManifestEntry::Kind kind, const std::string& source,
                     const std::vector<SavedCopy>& copies);
std::string KeptLine(std::size_t number, ManifestEntry::Kind kind, const std::string& source, DWORD code);
// Deleted, NotDeleted, LeftToRestart or Untouched.
std::string OutcomeLine(std::size_t number, ManifestEntry::Outcome outcome, DWORD code);
// A restore's: about to create the item again, and done.
std::string RestoreLine(std::size_t number, bool done);

// False when `text` is not a manifest, or a complete line cannot be read.
bool ReadManifest(const std::string& text, Manifest* manifest);

// The manifest file, appended to a line at a time and flushed where the
// caller says. Every write goes through the platform.
class CManifestFile {
public:
    explicit CManifestFile(IPlatform& platform) : m_platform(platform) {}

    // Creates the manifest (never replacing one) with its header, on the
    // disk when this returns. 0 or the error code.
    DWORD Create(const std::string& path);
    // Opens an existing manifest to append to. Its last line, when torn
    // (`text` is what it holds), is ended first so that it stays one of its
    // own, ignored.
    DWORD OpenToAppend(const std::string& path, const std::string& text);
    bool IsOpen() const { return m_file.has_value(); }
    // Appends a line; with `flush`, it is on the disk when this returns
    // (with every line before it).
    DWORD Append(const std::string& line, bool flush);
    // What was appended since the last flush goes to the disk.
    DWORD Flush();
    void Close() { m_file.reset(); }

private:
    IPlatform& m_platform;
    std::optional<FileHolder> m_file;
    bool m_unflushed = false;
};

}  // namespace vk
