#include "diag/messages.h"

#include "diag/log.h"
#include "res/resource.h"

namespace vk {

std::string NamedMessage(IPlatform& platform, const char* name, unsigned resource) {
    std::string text;
    ExpandMessagePattern(platform, text, kPatternNameColon, name);
    text += LoadResourceString(platform, resource);
    return text;
}

namespace {

std::string ServiceHeadMessage(IPlatform& platform, const char* serviceName, unsigned resource) {
    std::string text;
    ExpandMessagePattern(platform, text, kPatternServiceHead, serviceName);
    text.insert(0, LoadResourceString(platform, IDS_SERVICE_UNINSTALL));
    text += LoadResourceString(platform, resource);
    return text;
}

const char* DeviceName(const char* hardwareId) {
    return hardwareId ? hardwareId : kUnknownHardwareId;
}

}  // namespace

std::string MsgDeviceListFailed(IPlatform& platform) {
    return LoadResourceString(platform, IDS_DEVICE_LIST_FAILED, 260);
}

std::string MsgHwidReadFailed(IPlatform& platform) {
    return "Hardware ID : " + LoadResourceString(platform, IDS_REGISTRY_READ_FAILED);
}

std::string MsgInfKept(IPlatform& platform, const char* hardwareId) {
    return NamedMessage(platform, DeviceName(hardwareId), IDS_INF_KEPT);
}

std::string MsgServiceKept(IPlatform& platform, const char* hardwareId) {
    return NamedMessage(platform, DeviceName(hardwareId), IDS_SERVICE_KEPT);
}

std::string MsgClassReadFailed(IPlatform& platform) {
    return "Class : " + LoadResourceString(platform, IDS_REGISTRY_READ_FAILED);
}

std::string MsgServiceReadFailed(IPlatform& platform) {
    return "Service : " + LoadResourceString(platform, IDS_REGISTRY_READ_FAILED);
}

std::string MsgInfOpenFailed() {
    return "Can't Open Inf file";
}

std::string MsgFileDeleteFailed(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_FILE_DELETE_FAILED);
}

std::string MsgScmOpenFailed(IPlatform& platform, const char* serviceName) {
    return ServiceHeadMessage(platform, serviceName, IDS_SCM_OPEN_FAILED);
}

std::string MsgServiceOpenFailed(IPlatform& platform, const char* serviceName) {
    return ServiceHeadMessage(platform, serviceName, IDS_SERVICE_OPEN_FAILED);
}

std::string MsgServiceDeleteFailed(IPlatform& platform, const char* serviceName) {
    return NamedMessage(platform, serviceName, IDS_SERVICE_DELETE_FAILED);
}

std::string MsgStoreUninstallFailed(IPlatform& platform, const char* infName) {
    return NamedMessage(platform, infName, IDS_STORE_UNINSTALL_FAILED);
}

std::string MsgStoreUninstallHint(IPlatform& platform, const char* infName) {
    std::string hint;
    const std::string pattern = LoadResourceString(platform, IDS_STORE_UNINSTALL_HINT);
    ExpandMessagePattern(platform, hint, pattern.c_str(), infName);
    return " ; " + hint;
}

std::string MsgDeleteAtRestartFailed(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_DELETE_AT_RESTART_FAILED);
}

std::string MsgLogOpenFailed(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_LOG_OPEN_FAILED);
}

std::string MsgReportOpenFailed(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_REPORT_OPEN_FAILED);
}

std::string MsgBackupFolderFailed(IPlatform& platform, const char* folder) {
    return NamedMessage(platform, folder, IDS_BACKUP_FOLDER_FAILED);
}

std::string MsgManifestNotWritten(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_MANIFEST_NOT_WRITTEN);
}

std::string MsgCopyDamaged(IPlatform& platform, const char* copy, bool sizeDiffers) {
    return NamedMessage(platform, copy, sizeDiffers ? IDS_COPY_SIZE_DIFFERS : IDS_COPY_HASH_DIFFERS);
}

std::string MsgNotTrusted(IPlatform& platform, const char* path, unsigned why, unsigned consequence) {
    return NamedMessage(platform, path, why) + LoadResourceString(platform, consequence);
}

std::string MsgManifestUnreadable(IPlatform& platform, const char* path) {
    return NamedMessage(platform, path, IDS_MANIFEST_UNREADABLE);
}

}  // namespace vk
