// The run as a JSON document for deployment engines and the scripts that
// read what they collect. Its shape is views/report.schema.json.
#pragma once

#include <string>
#include <vector>

#include "diag/log.h"

namespace vk {

// What the report says beside the record.
struct ReportRun {
    std::string mode;  // "pass", "list" or "check"
    std::vector<std::string> switches;
    FileTime start = 0;  // UTC
    FileTime end = 0;
    std::string computerName;  // empty when it could not be read
    int exitStatus = 0;
};

// The document, UTF-8, ending with a line end.
std::string ReportJson(IPlatform& platform, const ReportRun& run, const CRunRecord& record);

// The program's texts are Windows-1252; JSON strings are UTF-8.
std::string Utf8FromWindows1252(const std::string& text);
// "2026-12-08T08:30:00Z": whole seconds, UTC.
std::string Iso8601Utc(FileTime time);

}  // namespace vk
