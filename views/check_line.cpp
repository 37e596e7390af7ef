#include "views/check_line.h"

#include "res/resource.h"

namespace vk {

std::string CheckLine(IPlatform& platform, const CRunRecord& record) {
    const std::size_t count = record.ChangeCount();
    if (count == 0) return LoadResourceString(platform, IDS_CHECK_CLEAN) + "\r\n";
    return LoadResourceString(platform, IDS_CHECK_DIRTY) + std::to_string(count) + "\r\n";
}

}  // namespace vk
