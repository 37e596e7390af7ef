#include <string>

#include "cleanup/cleanup.h"
#include "cleanup/path_buffer.h"
#include "diag/messages.h"
#include "platform/ansi_text.h"
#include "res/resource.h"

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
        // Asked before the removal: a removed instance may no longer tell it.
        const std::string instance = ActivityLogged() ? InstanceIdOf(record) : std::string();
        if (!m_platform.CallClassInstaller(DIF_REMOVE, m_hDevInfo, record.element())) {
            if (ActivityLogged()) {
                const DWORD code = m_platform.GetLastError();
                LogActivity(instance, IDS_LOG_DEVICE_NOT_REMOVED, code);
            }
            RunInfScanFallback();
            continue;
        }
        NoteRestartFlags(record.element());
        LogActivity(instance, IDS_LOG_DEVICE_REMOVED);

        const char* infName = record.pszInfName.text();
        if (*infName == '\0') {
            LogActivity(instance, IDS_LOG_INF_UNKNOWN);
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
            if (!stillUsed) {
                DeleteInfPair(infName);
            } else {
                LogActivity(infName, IDS_LOG_INF_STILL_USED);
            }
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
            LogActivity(serviceName, IDS_LOG_SERVICE_FOREIGN);
            continue;
        }
        if (record.hasNameEntries) m_serviceNames.EmptyAt(record.posServiceName);
        if (!m_serviceNames.Find(serviceName)) {
            DeleteDriverService(serviceName);
        } else {
            LogActivity(serviceName, IDS_LOG_SERVICE_STILL_USED);
        }
    }
    return 0;
}

void CCleanupActions::RunInfScanFallback() {
    PathBuffer pattern;
    if (!pattern.StartWithWindowsDirectory(m_platform)) return;
    if (!pattern.Append(kOemInfPattern)) {
        LogFileDeleteFailed(pattern.Composed().c_str(), ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    if (ScanOemInfs(pattern.c_str()) == 0) DeleteDriverFiles();
}

}  // namespace vk
