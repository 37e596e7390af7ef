// Puts back what a backup's manifest lists, in the reverse order of the pass
// that took it, never replacing a file or a service that exists. An item
// whose save line is there may have gone, whatever came after it: it is put
// back when it is absent. A copy whose size or SHA-256 differs from its line
// is never put back. A restore cut short can be run again until it is done.
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
    DWORD RestoreFile(const SavedCopy& copy, const std::string& target);
    // A file there already, whose attributes and times a pass cut short
    // may have changed: kSkipped, or 0 once they are the copy's again.
    DWORD RestoreAttributes(const SavedCopy& copy, const std::string& target,
                            const FileAttributeData& present);
    DWORD RestorePackage(const ManifestEntry& entry);
    DWORD RestoreService(const ManifestEntry& entry);
    // Reads a copy whole, checked against its line.
    DWORD ReadChecked(const SavedCopy& copy, std::string* bytes);
    // A restore's own line in the manifest (version 2): on the disk before
    // the change it announces when `flush`.
    DWORD Note(const ManifestEntry& entry, bool done, bool flush);
    void Report(const ManifestEntry& entry, DWORD code);

    IPlatform& m_platform;
    CDiagnosticLog& m_log;
    std::string m_folder;
    Manifest m_manifest;
    std::string m_text;  // the manifest as read
    CManifestFile m_journal;
    std::size_t m_restored = 0;
    std::size_t m_skipped = 0;
    std::size_t m_failed = 0;
    std::string m_published;  // the name a package was published again under
    // The copy found damaged, and whether its size (else its SHA-256) differs.
    std::string m_damaged;
    bool m_sizeDiffers = false;
    TrustCheck m_refusal;
};

}  // namespace vk
