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
const char* const kPromptRestartSentence =
    "\n\nRed\xE9marrez ensuite l'ordinateur pour terminer le nettoyage.";
const char* const kSiblingFolder = "x64";

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

std::string CVelkorUSBCleanerApp::SiblingProgramPath() {
    char path[MAX_PATH + 1] = {};
    DWORD length = m_platform.GetModuleFileName(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string sibling(path, BoundedLength(path, length));
    // <folder>\..\x64\<same name>, written without the "..": the parent of the
    // program's own folder, then x64.
    const std::size_t nameStart = sibling.find_last_of("\\/");
    if (nameStart == std::string::npos) return std::string();
    const std::string name = sibling.substr(nameStart + 1);
    sibling.erase(nameStart);
    const std::size_t folderStart = sibling.find_last_of("\\/");
    if (folderStart == std::string::npos) return std::string();
    sibling.erase(folderStart + 1);
    sibling += kSiblingFolder;
    sibling += '\\';
    sibling += name;
    if (sibling.size() >= MAX_PATH) return std::string();
    return sibling;
}

bool CVelkorUSBCleanerApp::HandOverTo64BitProgram(int* exitStatus) {
    const std::string sibling = SiblingProgramPath();
    if (sibling.empty()) return false;
    FileAttributeData status{};
    if (!m_platform.GetFileAttributesEx(sibling.c_str(), &status) ||
        (status.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string arguments;
    m_platform.GetCommandLineTail(&arguments);
    std::string commandLine = "\"" + sibling + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    DWORD status64 = 0;
    if (!m_platform.RunProcess(sibling.c_str(), commandLine.c_str(), &status64)) return false;
    *exitStatus = static_cast<int>(status64);
    return true;
}

int CVelkorUSBCleanerApp::RunCleaning() {
    const std::string title = ApplicationTitle();

    // A 32-bit process on 64-bit Windows cannot remove device instances and
    // sees a redirected drivers folder: it would delete INF files and leave
    // the devices. The 64-bit program beside it does the work; without one,
    // nothing is changed.
    if (m_platform.IsWow64()) {
        int status = 0;
        if (HandOverTo64BitProgram(&status)) return status;
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
    std::string replug = kPromptReplug;
    if (RestartNeeded()) replug += kPromptRestartSentence;
    m_platform.MessageBox(replug.c_str(), title.c_str(), MB_OK | kPromptStyle);
    return ExitCompleted;
}

int RunVelkorUSBCleaner(IPlatform& platform) {
    CVelkorUSBCleanerApp app(platform);
    return app.RunCleaning();
}

}  // namespace vk
