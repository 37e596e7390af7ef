// Puts back what a backup's manifest lists, in the reverse order of the pass
// that took it, never replacing a file or a service that exists.
#pragma once

#include <string>
#include <vector>

#include "backup/manifest.h"
#include "diag/log.h"
#include "platform/platform.h"

namespace vk {

class CRestore {
public:
    CRestore(IPlatform& platform, CDiagnosticLog& log, std::string folder);

    // Reads the folder's manifest; 0 or the error code (logged).
    DWORD Load();
    // Restores every entry; true when each was restored or skipped.
    bool Run();

    std::size_t Restored() const { return m_restored; }
    std::size_t Skipped() const { return m_skipped; }
    std::size_t Failed() const { return m_failed; }

private:
    // 0 once restored, kSkipped when it was there already, else the error code.
    DWORD RestoreFile(const std::string& copy, const std::string& target);
    DWORD RestorePackage(const ManifestEntry& entry);
    DWORD RestoreService(const ManifestEntry& entry);
    void Report(const ManifestEntry& entry, DWORD code);

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    std::string m_folder;
    std::vector<ManifestEntry> m_entries;
    std::size_t m_restored = 0;
    std::size_t m_skipped = 0;
    std::size_t m_failed = 0;
    std::string m_published;  // the name a package was published again under
};

}  // namespace vk
