// The one rule over the removal pass, the scan and the driver files: what a
// device outside the selection still uses stays.
#include <string>

#include "cleanup/cleanup.h"
#include "platform/ansi_text.h"
#include "res/resource.h"

namespace vk {

bool CCleanupActions::KeptForOutside(const std::string& subject, Shared kind) {
    const RunAction action = kind == Shared::Service ? RunAction::DeleteService
                             : kind == Shared::Inf   ? RunAction::RemoveInf
                                                     : RunAction::DeleteFile;
    // Without the whole picture, anything shared may be another device's.
    if (!m_outside.complete) {
        Record(RunEntry::Kept(action, subject, IDS_LOG_SHARED_UNEXAMINED));
        return true;
    }
    const AnsiCodePage codePage(m_platform);
    const std::map<std::string, OUTSIDE_USER>* users = &m_outside.services;
    std::string key = subject;
    if (kind == Shared::Inf) {
        // Drivers name their INF by its file name in the INF folder.
        users = &m_outside.infNames;
        key = codePage.Folded(subject.substr(subject.find_last_of('\\') + 1).c_str());
    } else if (kind == Shared::DriverFile) {
        users = &m_outside.images;
        key = codePage.Folded(subject.c_str());
    }
    const auto found = users->find(key);
    if (found == users->end()) return false;
    const OUTSIDE_USER& user = found->second;
    unsigned resource = IDS_LOG_INF_USED_BY_DEVICE;
    if (kind == Shared::Service)
        resource = user.isClass ? IDS_LOG_SERVICE_USED_BY_CLASS : IDS_LOG_SERVICE_USED_BY_DEVICE;
    if (kind == Shared::DriverFile)
        resource = user.isClass ? IDS_LOG_FILE_USED_BY_CLASS : IDS_LOG_FILE_USED_BY_DEVICE;
    Record(RunEntry::Kept(action, subject, resource, user.name));
    return true;
}

bool CCleanupActions::ImageIsMakers(const char* serviceName) {
    std::string image;
    if (ReadServiceImage(serviceName, &image) != 0 || image.empty()) return false;
    for (const std::string& file : MakerDriverFiles()) {
        if (file == image) return true;
    }
    return false;
}

}  // namespace vk
