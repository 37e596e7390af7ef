#include "views/plan_text.h"

#include <cstdio>

#include "res/resource.h"

namespace vk {

namespace {

constexpr const char* kLineEnd = "\r\n";

unsigned Verb(RunAction action) {
    switch (action) {
        case RunAction::RemoveDevice:
            return IDS_ACTION_REMOVE_DEVICE;
        case RunAction::SetFileAttributes:
            return IDS_ACTION_SET_ATTRIBUTES;
        case RunAction::SetFileTimes:
            return IDS_ACTION_SET_TIMES;
        case RunAction::DeleteService:
            return IDS_ACTION_DELETE_SERVICE;
        case RunAction::UninstallInf:
            return IDS_ACTION_UNINSTALL_INF;
        case RunAction::DeleteAtRestart:
            return IDS_ACTION_DELETE_AT_RESTART;
        case RunAction::SaveFile:
        case RunAction::SavePackage:
        case RunAction::SaveService:
        case RunAction::SaveDevice:
            return IDS_ACTION_SAVE;
        case RunAction::RestoreItem:
            return IDS_ACTION_RESTORE;
        case RunAction::CreateRestorePoint:
            return IDS_ACTION_CREATE_RESTORE_POINT;
        case RunAction::EndRestorePoint:
            return IDS_ACTION_END_RESTORE_POINT;
        case RunAction::CancelRestorePoint:
            return IDS_ACTION_CANCEL_RESTORE_POINT;
        case RunAction::RegisterEventSource:
            return IDS_ACTION_REGISTER_EVENT_SOURCE;
        case RunAction::WriteEvent:
            return IDS_ACTION_WRITE_EVENT;
        default:
            return IDS_ACTION_DELETE_FILE;
    }
}

std::string ActionLine(IPlatform& platform, std::size_t number, const RunEntry& entry) {
    std::string line = "  " + std::to_string(number) + ". " +
                       LoadResourceString(platform, Verb(entry.action)) + entry.subject;
    if (!entry.copy.empty()) line += " -> " + entry.copy;
    if (entry.action == RunAction::SetFileAttributes) {
        char word[16];
        std::snprintf(word, sizeof word, " : 0x%x", static_cast<unsigned>(entry.attributes));
        line += word;
    }
    return line;
}

}  // namespace

std::string KeptText(IPlatform& platform, const RunEntry& entry) {
    std::string text = LoadResourceString(platform, entry.reason);
    switch (entry.reason) {
        case IDS_LOG_SERVICE_USED_BY_DEVICE:
        case IDS_LOG_SERVICE_USED_BY_CLASS:
        case IDS_LOG_INF_USED_BY_DEVICE:
        case IDS_LOG_FILE_USED_BY_DEVICE:
        case IDS_LOG_FILE_USED_BY_CLASS:
            text += entry.keptBy;
            break;
        default:
            break;
    }
    return text;
}

std::string OrNone(IPlatform& platform, const std::string& text) {
    return text.empty() ? LoadResourceString(platform, IDS_PLAN_NONE) : text;
}

std::string PlanText(IPlatform& platform, const CRunRecord& record, unsigned title) {
    std::string text = LoadResourceString(platform, title) + kLineEnd;
    text +=
        LoadResourceString(platform, IDS_PLAN_DEVICES) + std::to_string(record.Devices().size()) + kLineEnd;
    for (const SelectedDevice& device : record.Devices()) {
        text += "  " + device.instanceId + kLineEnd;
        text += LoadResourceString(platform, IDS_PLAN_HARDWARE_ID) + OrNone(platform, device.hardwareId) +
                kLineEnd;
        text += LoadResourceString(platform, IDS_PLAN_CLASS) + OrNone(platform, device.className) + kLineEnd;
        text += LoadResourceString(platform, IDS_PLAN_INF) + OrNone(platform, device.infName) + kLineEnd;
        text +=
            LoadResourceString(platform, IDS_PLAN_SERVICE) + OrNone(platform, device.serviceName) + kLineEnd;
    }
    text += LoadResourceString(platform, IDS_PLAN_ACTIONS) + kLineEnd;
    std::size_t count = 0;
    for (const RunEntry& entry : record.Entries()) {
        if (entry.outcome == RunOutcome::Planned) text += ActionLine(platform, ++count, entry) + kLineEnd;
        if (entry.outcome == RunOutcome::Kept)
            text += "  - " + entry.subject + " : " + KeptText(platform, entry) + kLineEnd;
    }
    text += LoadResourceString(platform, IDS_PLAN_ACTION_COUNT) + std::to_string(count) + kLineEnd;
    return text;
}

void LogLines(CDiagnosticLog& log, const std::string& text) {
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(kLineEnd, start)) != std::string::npos; start = end + 2) {
        log.LogOwnEntry(0, text.substr(start, end + 2 - start), LogLevelInfo);
    }
}

}  // namespace vk
