// The plan of a dry run (/list): the selected readers with what the plan shows
// of each, then each planned change in order with what is kept and why
// between them, then the count of changes.
#pragma once

#include <string>

#include "diag/log.h"
#include "res/resource.h"

namespace vk {

// French, CR LF line ends.
std::string PlanText(IPlatform& platform, const CRunRecord& record, unsigned title = IDS_PLAN_TITLE);
// A text shown on standard output (the plan, the /check line) into the log,
// one Info entry per line.
void LogLines(CDiagnosticLog& log, const std::string& text);

// Why a kept entry was kept: its reason, with the device or class that keeps
// it where the reason names one.
std::string KeptText(IPlatform& platform, const RunEntry& entry);

// `text`, or the word the plan shows for a missing fact.
std::string OrNone(IPlatform& platform, const std::string& text);

}  // namespace vk
