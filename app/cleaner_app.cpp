#include "app/cleaner_app.h"

#include <cstring>

#include "platform/ansi_text.h"

namespace vk {

const char* const kPromptUnplug =
    "Avant de lancer l'installation de votre lecteur VELKOR\n"
    "(compatible Windows XP service pack 3),\n\n"
    "d\xE9"
    "branchez le c\xE2"
    "ble USB au niveau du poste de travail.";
const char* const kPromptReplug =
    "Rebranchez maintenant votre lecteur VELKOR\n"
    "au poste de travail pour continuer l'installation.";
const char* const kPromptWow64 =
    "Cette version 32 bits de VelkorUSBCleaner ne peut pas nettoyer un Windows 64 bits.\n\n"
    "Lancez la version 64 bits du programme (dossier x64).\n"
    "Aucune modification n'a \xE9t\xE9 faite.";

namespace {

constexpr DWORD kPromptStyle = MB_ICONEXCLAMATION | MB_APPLMODAL;

}  // namespace

CVelkorUSBCleanerApp::CVelkorUSBCleanerApp(IPlatform& platform) : CCleanupActions(platform) {}

CVelkorUSBCleanerApp::~CVelkorUSBCleanerApp() {
    m_serviceNames.RemoveAll();
    m_infNames.RemoveAll();
    m_devices.clear();
}

std::string CVelkorUSBCleanerApp::ApplicationTitle() {
    char path[MAX_PATH + 1] = {};
    DWORD length = m_platform.GetModuleFileName(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return "VelkorUSBCleaner";
    std::string title(path, BoundedLength(path, length));
    std::size_t slash = title.find_last_of("\\/");
    if (slash != std::string::npos) title.erase(0, slash + 1);
    std::size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0) title.erase(dot);
    return title.empty() ? std::string("VelkorUSBCleaner") : title;
}

int CVelkorUSBCleanerApp::RunCleaning() {
    const std::string title = ApplicationTitle();

    // A 32-bit process on 64-bit Windows cannot remove device instances and
    // sees a redirected drivers folder: it would delete INF files and leave
    // the devices. Change nothing there.
    if (m_platform.IsWow64()) {
        m_platform.MessageBox(kPromptWow64, title.c_str(), MB_OK | MB_ICONERROR | MB_APPLMODAL);
        return ExitWrongArchitecture;
    }

    std::vector<std::string> targets;
    if (m_platform.MessageBox(kPromptUnplug, title.c_str(), MB_OKCANCEL | kPromptStyle) == IDCANCEL) {
        return ExitCancelled;
    }
    targets = TargetTable();

    if (EnumerateTargetDevices(targets) == 0) {
        if (!m_devices.empty()) {
            RemoveDevices();
        } else {
            RunInfScanFallback();
        }
    }

    ReleaseInventory();
    m_platform.MessageBox(kPromptReplug, title.c_str(), MB_OK | kPromptStyle);
    return ExitCompleted;
}

int RunVelkorUSBCleaner(IPlatform& platform) {
    CVelkorUSBCleanerApp app(platform);
    return app.RunCleaning();
}

}  // namespace vk
