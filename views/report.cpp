#include "views/report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "res/resource.h"

namespace vk {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kSchemaVersion = 1;

// Windows-1252's characters 0x80 to 0x9F; the five it leaves undefined map to
// the C1 controls of the same value, as MultiByteToWideChar maps them.
constexpr char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const char* ActionName(RunAction action) {
    switch (action) {
        case RunAction::RemoveDevice:
            return "remove_device";
        case RunAction::SetFileAttributes:
            return "set_file_attributes";
        case RunAction::SetFileTimes:
            return "restore_file_times";
        case RunAction::DeleteFile:
            return "delete_file";
        case RunAction::DeleteService:
            return "delete_service";
        case RunAction::UninstallInf:
            return "uninstall_driver_package";
        case RunAction::DeleteAtRestart:
            return "delete_file_at_restart";
        case RunAction::RemoveInf:
            return "remove_inf";
        case RunAction::ScanInfFolder:
            return "scan_inf_folder";
        case RunAction::MatchInf:
            return "inf_names_reader";
        case RunAction::SaveFile:
            return "save_file";
        case RunAction::SavePackage:
            return "save_driver_package";
        case RunAction::SaveService:
            return "save_service";
        case RunAction::SaveDevice:
            return "save_device";
        case RunAction::RestoreItem:
            return "restore_item";
        case RunAction::CreateRestorePoint:
            return "create_restore_point";
        case RunAction::EndRestorePoint:
            return "end_restore_point";
        case RunAction::CancelRestorePoint:
            return "cancel_restore_point";
        case RunAction::RegisterEventSource:
            return "register_event_source";
        case RunAction::WriteEvent:
            return "write_event";
    }
    return "unknown";
}

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Planned:
            return "planned";
        case RunOutcome::Done:
            return "done";
        case RunOutcome::Failed:
            return "failed";
        case RunOutcome::Kept:
            return "kept";
    }
    return "unknown";
}

// A word a script can test, for the reasons a pass keeps something.
const char* ReasonName(unsigned reason) {
    switch (reason) {
        case IDS_LOG_INF_STILL_USED:
        case IDS_LOG_SERVICE_STILL_USED:
            return "used_by_another_reader";
        case IDS_LOG_SERVICE_FOREIGN:
            return "other_provider";
        case IDS_LOG_SERVICE_USED_BY_DEVICE:
        case IDS_LOG_SERVICE_USED_BY_CLASS:
        case IDS_LOG_INF_USED_BY_DEVICE:
        case IDS_LOG_FILE_USED_BY_DEVICE:
        case IDS_LOG_FILE_USED_BY_CLASS:
        case IDS_LOG_OUTSIDE_UNKNOWN:
        case IDS_LOG_SHARED_UNEXAMINED:
            return "used_outside_selection";
        case IDS_LOG_SERVICE_MARKED:
            return "marked_for_deletion";
        case IDS_NOT_SAVED:
            return "not_saved";
        case IDS_LOG_RESTORE_POINT_RECENT:
            return "restore_point_limit";
        default:
            return "other";
    }
}

Json Text(const std::string& text) {
    return Utf8FromWindows1252(text);
}

// A fact the plan shows as "(aucun)" is null here.
Json OrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Text(text);
}

Json DeviceJson(const SelectedDevice& device) {
    Json json;
    json["instanceId"] = Text(device.instanceId);
    json["hardwareId"] = OrNull(device.hardwareId);
    json["class"] = OrNull(device.className);
    json["inf"] = OrNull(device.infName);
    json["service"] = OrNull(device.serviceName);
    return json;
}

Json EntryJson(IPlatform& platform, const RunEntry& entry) {
    Json json;
    json["action"] = ActionName(entry.action);
    json["subject"] = Text(entry.subject);
    json["outcome"] = OutcomeName(entry.outcome);
    if (entry.outcome == RunOutcome::Failed) json["code"] = entry.code;
    if (entry.outcome == RunOutcome::Kept) {
        json["reason"] = ReasonName(entry.reason);
        json["reasonText"] = Text(LoadResourceString(platform, entry.reason));
        if (!entry.keptBy.empty()) json["keptBy"] = Text(entry.keptBy);
        if (!entry.copy.empty()) json["copy"] = Text(entry.copy);
    }
    if (entry.action == RunAction::SetFileAttributes && entry.outcome != RunOutcome::Failed)
        json["attributes"] = entry.attributes;
    // A plan has no number yet: Windows gives it.
    if (entry.number != 0 && entry.outcome != RunOutcome::Planned) {
        json[entry.action == RunAction::WriteEvent ? "eventId" : "sequenceNumber"] = entry.number;
    }
    return json;
}

}  // namespace

std::string Utf8FromWindows1252(const std::string& text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t code = byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

std::string Iso8601Utc(FileTime time) {
    // FILETIME counts from 1601-01-01, which starts a 400-year cycle of the
    // Gregorian calendar: the civil date follows from the day count alone.
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    const std::uint64_t seconds = time / kTicksPerSecond;
    std::uint64_t days = seconds / 86400;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    std::uint64_t year = 1601 + 400 * (days / 146097);
    days %= 146097;
    const auto leap = [](std::uint64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days >= (leap(year) ? 366u : 365u)) days -= leap(year++) ? 366 : 365;
    static const unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned month = 0;
    for (;; ++month) {
        const unsigned length = kMonthDays[month] + (month == 1 && leap(year) ? 1 : 0);
        if (days < length) break;
        days -= length;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", static_cast<unsigned>(year), month + 1,
                  static_cast<unsigned>(days) + 1, secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return text;
}

std::string ReportJson(IPlatform& platform, const ReportRun& run, const CRunRecord& record) {
    Json report;
    report["schemaVersion"] = kSchemaVersion;
    report["program"] = {{"name", "VelkorUSBCleaner"},
                         {"version", VK_VERSION},
                         {"architecture", sizeof(void*) == 8 ? "x64" : "x86"}};
    report["computerName"] = OrNull(run.computerName);
    report["start"] = Iso8601Utc(run.start);
    report["end"] = Iso8601Utc(run.end);
    report["mode"] = run.mode;
    Json switches = Json::array();
    for (const std::string& argument : run.switches) switches.push_back(Text(argument));
    report["switches"] = switches;
    Json devices = Json::array();
    for (const SelectedDevice& device : record.Devices()) devices.push_back(DeviceJson(device));
    report["devices"] = devices;
    Json actions = Json::array();
    for (const RunEntry& entry : record.Entries()) actions.push_back(EntryJson(platform, entry));
    report["actions"] = actions;
    report["restartNeeded"] = record.RestartNeeded();
    report["exitStatus"] = run.exitStatus;
    return report.dump(2) + "\n";
}

}  // namespace vk
