// Composition of each message event; the raising code hands the text to Log
// with the event's code and level.
#pragma once

#include <string>

#include "platform/platform.h"

namespace vk {

// Stand-in for a device whose hardware ID could not be chosen.
constexpr const char* kUnknownHardwareId = "(ID inconnu)";

// "<name> : " then the string resource: the shape of most messages.
std::string NamedMessage(IPlatform& platform, const char* name, unsigned resource);

std::string MsgDeviceListFailed(IPlatform& platform);
std::string MsgHwidReadFailed(IPlatform& platform);
std::string MsgInfKept(IPlatform& platform, const char* hardwareId);      // null: the stand-in
std::string MsgServiceKept(IPlatform& platform, const char* hardwareId);  // null: the stand-in
std::string MsgClassReadFailed(IPlatform& platform);
std::string MsgServiceReadFailed(IPlatform& platform);
std::string MsgInfOpenFailed();
std::string MsgFileDeleteFailed(IPlatform& platform, const char* path);
std::string MsgScmOpenFailed(IPlatform& platform, const char* serviceName);
std::string MsgServiceOpenFailed(IPlatform& platform, const char* serviceName);
std::string MsgServiceDeleteFailed(IPlatform& platform, const char* serviceName);
std::string MsgStoreUninstallFailed(IPlatform& platform, const char* infName);
// " ; " and what stays, with the pnputil command that removes the package.
std::string MsgStoreUninstallHint(IPlatform& platform, const char* infName);
std::string MsgDeleteAtRestartFailed(IPlatform& platform, const char* path);
std::string MsgLogOpenFailed(IPlatform& platform, const char* path);
std::string MsgReportOpenFailed(IPlatform& platform, const char* path);
// Backup and restore: "<item> : <text>".
std::string MsgBackupFolderFailed(IPlatform& platform, const char* folder);
std::string MsgManifestUnreadable(IPlatform& platform, const char* path);
std::string MsgManifestNotWritten(IPlatform& platform, const char* path);
// A saved copy whose size (else its SHA-256) is not the one its line gives.
std::string MsgCopyDamaged(IPlatform& platform, const char* copy, bool sizeDiffers);
// Security: "<path> : <why it is not trusted><what follows>", both string
// resources (IDS_TRUST_...).
std::string MsgNotTrusted(IPlatform& platform, const char* path, unsigned why, unsigned consequence);

}  // namespace vk
