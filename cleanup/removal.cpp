#include <string>

#include "cleanup/cleanup.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"

namespace vk {

// The name lists are the registers of who still needs an INF file or a
// service: a device empties its own entry only once it is removed, so a name
// is deleted with its last user, and never while a device that failed to be
// removed still holds it.
int CCleanupActions::RemoveDevices() {
    if (m_devices.empty()) return 1;

    const AnsiCodePage codePage(m_platform);
    for (const auto& entry : m_devices) {
        CLEAN_DEVINFO& record = *entry;
        if (!m_platform.CallClassInstaller(DIF_REMOVE, m_hDevInfo, record.element())) {
            RunInfScanFallback();
            continue;
        }

        const char* infName = record.pszInfName.text();
        if (*infName == '\0') {
            RunInfScanFallback();
        } else {
            if (record.hasNameEntries) m_infNames.EmptyAt(record.posInfName);
            bool stillUsed = false;
            for (const std::string& name : m_infNames) {
                if (codePage.CompareNoCase(name.c_str(), infName) == 0) {
                    stillUsed = true;
                    break;
                }
            }
            // A name the pair cannot be deleted by is an unknown INF, as an
            // empty one is. It is judged where the path is composed, and only
            // for the name's last user: the register keeps names as read, so
            // users of one name still count each other, and the scan runs
            // once, when no device needs that name any more.
            if (!stillUsed && !DeleteInfPair(infName)) RunInfScanFallback();
        }

        const char* serviceName = record.pszServiceName.text();
        if (*serviceName == '\0') continue;
        if (record.foreignProvider) {
            // Another provider's service (e.g. the system's own serial driver)
            // serves other devices too. Its register entry stays, so no other
            // reader deletes it either.
            const std::string text = MsgServiceKept(
                m_platform, record.pszHardwareId.present() ? record.pszHardwareId.text() : nullptr);
            Log(0, text, LogLevelInfo);
            continue;
        }
        if (record.hasNameEntries) m_serviceNames.EmptyAt(record.posServiceName);
        if (!m_serviceNames.Find(serviceName)) DeleteDriverService(serviceName);
    }
    return 0;
}

void CCleanupActions::RunInfScanFallback() {
    PathBuffer pattern;
    if (!pattern.StartWithWindowsDirectory(m_platform)) return;
    // No file was meant here, so there is no deletion to report: the scan is
    // skipped as it is for an unreadable Windows directory.
    if (!pattern.Append(kOemInfPattern)) return;
    if (ScanOemInfs(pattern.c_str()) == 0) DeleteDriverFiles();
}

}  // namespace vk
