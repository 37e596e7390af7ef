// The plan of a dry run (/list): the selected readers with what the plan shows
// of each, then each planned change in order, then their count.
#pragma once

#include <string>

#include "diag/log.h"
#include "res/resource.h"

namespace vk {

// French, CR LF line ends.
std::string PlanText(IPlatform& platform, const CRunRecord& record, unsigned title = IDS_PLAN_TITLE);
// The plan into the log, one Info entry per line.
void LogPlan(CDiagnosticLog& log, const std::string& plan);

// `text`, or the word the plan shows for a missing fact.
std::string OrNone(IPlatform& platform, const std::string& text);

}  // namespace vk
