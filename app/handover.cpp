#include "app/handover.h"

#include "app/cleaner_app.h"
#include "app/tell.h"

namespace vk {

const char* const kPromptWow64 =
    "Cette version 32 bits de VelkorUSBCleaner ne peut pas nettoyer un Windows 64 bits.\n\n"
    "Lancez la version 64 bits du programme (dossier x64).\n"
    "Aucune modification n'a \xE9t\xE9 faite.";

namespace {

// Where the 64-bit build sits, beside the 32-bit one's folder.
constexpr const char* kSiblingFolder = "x64";

// ..\x64\<own file name> relative to the program's folder, written without
// the "..": the parent of the program's own folder, then x64. Empty when the
// program's path has no parent folder.
std::string SiblingProgramPath(IPlatform& platform) {
    std::string sibling = ModulePath(platform);
    // A path of MAX_PATH characters may have been cut short.
    if (sibling.size() >= MAX_PATH) return std::string();
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

// Runs the 64-bit program with this one's arguments and gives its exit
// status; false when it is absent or could not be run.
bool HandOverTo64BitProgram(IPlatform& platform, int* exitStatus) {
    const std::string sibling = SiblingProgramPath(platform);
    if (sibling.empty()) return false;
    FileAttributeData status{};
    if (!platform.GetFileAttributesEx(sibling.c_str(), &status) ||
        (status.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string arguments;
    platform.GetCommandLineTail(&arguments);
    std::string commandLine = "\"" + sibling + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    DWORD childStatus = 0;
    if (!platform.RunProcess(sibling.c_str(), commandLine.c_str(), &childStatus)) return false;
    *exitStatus = static_cast<int>(childStatus);
    return true;
}

}  // namespace

bool HandledUnderWow64(IPlatform& platform, const RunOptions& options, int* exitStatus) {
    if (!platform.IsWow64()) return false;
    if (HandOverTo64BitProgram(platform, exitStatus)) return true;
    Tell(platform, options, kPromptWow64, MB_ICONERROR);
    *exitStatus = ExitWrongArchitecture;
    return true;
}

}  // namespace vk
