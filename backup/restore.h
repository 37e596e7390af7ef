// Puts back what a backup's manifest lists, in the reverse order of the pass
// that took it, never replacing a file or a service that exists.
#pragma once

#include <string>
#include <vector>

#include "backup/manifest.h"
#include "backup/trust.h"
#include "diag/log.h"
#include "platform/platform.h"

namespace vk {

class CRestore {
public:
    CRestore(IPlatform& platform, CDiagnosticLog& log, std::string folder);

    // Checks that the folder (from %ProgramData%\VelkorUSBCleaner down,
    // when it is there) and its manifest can be trusted, then reads the
    // manifest; 0 or the error code (logged). Refusal() says what was not
    // trusted, and why.
    DWORD Load();
    const TrustCheck& Refusal() const { return m_refusal; }
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
    TrustCheck m_refusal;
};

}  // namespace vk
