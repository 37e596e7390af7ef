#include "app/tell.h"

#include "platform/ansi_text.h"

namespace vk {

std::string ModulePath(IPlatform& platform) {
    char path[MAX_PATH + 1] = {};
    DWORD length = platform.GetModuleFileName(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return std::string();
    return std::string(path, BoundedLength(path, length));
}

std::string ProgramTitle(IPlatform& platform) {
    std::string title = ModulePath(platform);
    std::size_t slash = title.find_last_of("\\/");
    if (slash != std::string::npos) title.erase(0, slash + 1);
    std::size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0) title.erase(dot);
    return title.empty() ? std::string("VelkorUSBCleaner") : title;
}

void WriteStandard(IPlatform& platform, StandardStream stream, const std::string& text) {
    platform.WriteStandardStream(stream, text.data(), text.size());
}

void Tell(IPlatform& platform, const RunOptions& options, const std::string& text, DWORD icon) {
    if (options.quiet || options.check) {
        WriteStandard(platform, StandardStream::Error, text + "\r\n");
    } else {
        platform.MessageBox(text.c_str(), ProgramTitle(platform).c_str(), MB_OK | icon | MB_APPLMODAL);
    }
}

std::string WithSystemReason(IPlatform& platform, std::string text, DWORD code) {
    std::string reason;
    if (code != 0 && platform.FormatSystemMessage(code, LANG_USER_DEFAULT, &reason) != 0)
        text += "\n" + reason;
    return text;
}

}  // namespace vk
