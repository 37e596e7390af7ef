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
        const std::string instance = Recording() ? InstanceIdOf(record) : std::string();
        // Not saved, so not removed: like a reader whose removal failed it
        // keeps its INF and service, without a scan that would find its INF.
        if (!SavedFirst(KeptItem::Device, instance)) continue;
        if (!m_platform.CallClassInstaller(DIF_REMOVE, m_hDevInfo, record.element())) {
            const DWORD code = m_platform.GetLastError();
            if (Recording()) Record(RunEntry::Failed(RunAction::RemoveDevice, instance, code));
            Became(KeptItem::Device, instance, ItemFate::NotDeleted, code);
            RunInfScanFallback();
            continue;
        }
        Became(KeptItem::Device, instance, ItemFate::Deleted);
        NoteRestartFlags(record.element());
        Record(RunEntry::Done(RunAction::RemoveDevice, instance));

        // An INF known by name goes with its last user; one not known, or
        // whose name cannot name a file of the INF folder, is found by
        // content. A refused name is judged where the path is composed, for
        // its last user only: the register keeps every name as read, so a
        // usable name's pair still goes with its last user, and users of one
        // unusable name scan once.
        const char* infName = record.pszInfName.text();
        bool knownByName = *infName != '\0';
        if (knownByName) {
            if (record.hasNameEntries) m_infNames.EmptyAt(record.posInfName);
            auto user = m_infNames.begin();
            while (user != m_infNames.end() && codePage.CompareNoCase(user->c_str(), infName) != 0) ++user;
            if (user != m_infNames.end()) {
                Record(RunEntry::Kept(RunAction::RemoveInf, infName, IDS_LOG_INF_STILL_USED,
                                      HolderOf(user, &CLEAN_DEVINFO::posInfName)));
            } else if (!KeptForOutside(infName, Shared::Inf)) {
                knownByName = DeleteInfPair(infName);
            }
        }
        if (!knownByName) {
            Record(RunEntry::Done(RunAction::ScanInfFolder, instance));
            RunInfScanFallback();
        }

        const char* serviceName = record.pszServiceName.text();
        if (*serviceName == '\0') continue;
        if (record.foreignProvider && !ImageIsMakers(serviceName)) {
            // A service not known to be the maker's (e.g. the system's own
            // serial driver) may serve other devices too. Its register entry
            // stays, so no other reader deletes it either.
            const std::string text = MsgServiceKept(
                m_platform, record.pszHardwareId.present() ? record.pszHardwareId.text() : nullptr);
            Log(0, text, LogLevelInfo);
            Record(RunEntry::Kept(RunAction::DeleteService, serviceName, IDS_LOG_SERVICE_FOREIGN));
            continue;
        }
        if (record.hasNameEntries) m_serviceNames.EmptyAt(record.posServiceName);
        const auto user = m_serviceNames.Find(serviceName);
        if (user) {
            Record(RunEntry::Kept(RunAction::DeleteService, serviceName, IDS_LOG_SERVICE_STILL_USED,
                                  HolderOf(*user, &CLEAN_DEVINFO::posServiceName)));
        } else if (!KeptForOutside(serviceName, Shared::Service)) {
            DeleteDriverService(serviceName);
        }
    }
    return 0;
}

std::string CCleanupActions::HolderOf(CNameList::const_iterator entry,
                                      CNameList::Position CLEAN_DEVINFO::*position) const {
    // The record lists the selected devices in the order of m_devices.
    const std::vector<SelectedDevice>& selected = m_record.Devices();
    std::size_t index = 0;
    for (const auto& device : m_devices) {
        if (device->hasNameEntries && CNameList::const_iterator(device.get()->*position) == entry)
            return index < selected.size() ? selected[index].instanceId : device->pszHardwareId.text();
        ++index;
    }
    return std::string();
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
