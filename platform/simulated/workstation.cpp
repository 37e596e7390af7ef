// The simulated workstation as a whole: value makers, the builders that
// describe it, failure injection and what tests read back.
#include <cstdlib>
#include <iterator>

#include "platform/simulated/state.h"

namespace vk::sim {

// --- Value makers and builders ------------------------------------------------

RegValue Sz(const std::string& text, DWORD type) {
    RegValue value;
    value.type = type;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
    return value;
}

RegValue MultiSz(const std::vector<std::string>& strings) {
    RegValue value;
    value.type = REG_MULTI_SZ;
    for (const std::string& s : strings) {
        value.data.insert(value.data.end(), s.begin(), s.end());
        value.data.push_back(0);
    }
    value.data.push_back(0);
    return value;
}

RegValue Dword(std::uint32_t number) {
    RegValue value;
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    return value;
}

RegValue Raw(DWORD type, const std::string& bytes) {
    RegValue value;
    value.type = type;
    value.data.assign(bytes.begin(), bytes.end());
    return value;
}

Device& Device::HardwareIds(const std::vector<std::string>& ids) {
    return Property(SPDRP_HARDWAREID, MultiSz(ids));
}
Device& Device::Class(const std::string& name) {
    return Property(SPDRP_CLASS, Sz(name));
}
Device& Device::Driver(const std::string& key) {
    return Property(SPDRP_DRIVER, Sz(key));
}
Device& Device::Service(const std::string& name) {
    return Property(SPDRP_SERVICE, Sz(name));
}
Device& Device::LowerFilters(const std::vector<std::string>& filters) {
    return Property(SPDRP_LOWERFILTERS, MultiSz(filters));
}
Device& Device::UpperFilters(const std::vector<std::string>& filters) {
    return Property(SPDRP_UPPERFILTERS, MultiSz(filters));
}
Device& Device::Property(DWORD property, RegValue value) {
    properties[property] = std::move(value);
    return *this;
}
Device& Device::NotPresent() {
    present = false;
    return *this;
}
Device& Device::RemoveFails(DWORD code) {
    removeError = code;
    return *this;
}

Device& Device::RestartFlagsOnSetAfterRemove(DWORD flags) {
    setInstallFlagsAfterRemove = flags;
    return *this;
}
Device& Device::RestartFlagsAfterRemove(DWORD flags) {
    installFlagsAfterRemove = flags;
    return *this;
}

DriverPackage& DriverPackage::UninstallFails(DWORD code) {
    uninstallError = code;
    return *this;
}

RegistryKey& RegistryKey::Value(const std::string& name, RegValue value) {
    for (auto it = values.begin(); it != values.end();) {
        it = SameText(it->first, name) ? values.erase(it) : std::next(it);
    }
    values[name] = std::move(value);
    return *this;
}
RegistryKey& RegistryKey::RefuseFullAccess() {
    refuseFullAccess = true;
    return *this;
}

File& File::Attributes(DWORD value) {
    attributes = value;
    return *this;
}
File& File::ReadOnly() {
    attributes |= FILE_ATTRIBUTE_READONLY;
    return *this;
}
File& File::Times(FileTime creation, FileTime lastAccess, FileTime lastWrite) {
    creationTime = creation;
    lastAccessTime = lastAccess;
    lastWriteTime = lastWrite;
    return *this;
}
File& File::ReadByOtherProgram() {
    readByOtherProgram = true;
    return *this;
}
Service& Service::DriverLoaded() {
    driverLoaded = true;
    return *this;
}
File& File::HeldOpen() {
    heldOpenByOtherProgram = true;
    return *this;
}
File& File::DeleteRefused(DWORD code) {
    deleteError = code;
    return *this;
}

SimulatedWorkstation::SimulatedWorkstation() : m_state(std::make_unique<State>()) {
    SetWindowsDirectory("C:\\Windows");
    AddFolder("C:\\ProgramData");
}

SimulatedWorkstation::~SimulatedWorkstation() {
    for (auto& block : m_state->heap) std::free(block.first);
}

// --- Describing ----------------------------------------------------------------

Device& SimulatedWorkstation::AddDevice(const std::string& instanceId) {
    m_state->devices.push_back(std::make_unique<Device>());
    m_state->devices.back()->instanceId = instanceId;
    m_state->devicePositions[m_state->devices.back().get()] = m_state->devices.size() - 1;
    // Every instance has its key under Enum; its Properties subkey is the
    // system's own, which administrators cannot read.
    AddRegistryKey(kEnumRoot + instanceId).Value("ConfigFlags", Dword(0));
    AddRegistryKey(kEnumRoot + instanceId + "\\Properties").refuseRead = true;
    return *m_state->devices.back();
}

RegistryKey& SimulatedWorkstation::AddClassKey(const std::string& driverKey) {
    return AddRegistryKey(kClassRoot + driverKey);
}

RegistryKey& SimulatedWorkstation::AddRegistryKey(const std::string& pathBelowHklm) {
    if (RegistryKey* existing = m_state->FindKey(pathBelowHklm)) return *existing;
    // A key's parents exist too, so that its subkeys can be enumerated from them.
    const std::size_t slash = pathBelowHklm.rfind('\\');
    if (slash != std::string::npos && slash > 0) AddRegistryKey(pathBelowHklm.substr(0, slash));
    m_state->keys.push_back(std::make_unique<RegistryKey>());
    m_state->keys.back()->path = pathBelowHklm;
    m_state->keyIndex[Upper(pathBelowHklm)] = m_state->keys.back().get();
    return *m_state->keys.back();
}

Service& SimulatedWorkstation::AddService(const std::string& name, const std::string& imagePath) {
    m_state->services.push_back(std::make_unique<Service>());
    Service& service = *m_state->services.back();
    service.name = name;
    service.config.serviceType = 1;   // SERVICE_KERNEL_DRIVER
    service.config.startType = 3;     // SERVICE_DEMAND_START
    service.config.errorControl = 1;  // SERVICE_ERROR_NORMAL
    service.config.binaryPathName =
        imagePath.empty() ? "\\SystemRoot\\System32\\drivers\\" + name + ".sys" : imagePath;
    service.config.displayName = name;
    WriteServiceKey(service);
    return service;
}

File& SimulatedWorkstation::AddFile(const std::string& fullPath, const std::string& content) {
    AddFolder(FolderOf(fullPath, m_state->DoubleByte()));
    // One file per path, as the file system ignores case: a second AddFile
    // describes the same file again.
    if (File* existing = m_state->FindFileEntry(fullPath)) {
        existing->content = content;
        existing->durable = content;
        return *existing;
    }
    m_state->files.push_back(std::make_unique<File>());
    File& file = *m_state->files.back();
    file.path = fullPath;
    file.content = content;
    file.durable = content;
    m_state->fileIndex[Upper(fullPath)] = &file;
    return file;
}

void SimulatedWorkstation::AddFolder(const std::string& fullPath) {
    // Parents exist too.
    std::string path = fullPath;
    while (!path.empty()) {
        m_state->folders.insert(Upper(path));
        std::string parent = FolderOf(path, m_state->DoubleByte());
        if (parent == path) break;
        path = parent;
    }
}

void SimulatedWorkstation::SetWindowsDirectory(const std::string& path) {
    m_state->windowsDirectory = path;
    AddFolder(path + "\\inf");
    AddFolder(path + "\\system32\\drivers");
    AddFolder(path + "\\Temp");
}

void SimulatedWorkstation::SetCodePage(CodePage codePage) {
    m_state->codePage = codePage;
}
void SimulatedWorkstation::SetAdministrator(bool isAdministrator) {
    m_state->administrator = isAdministrator;
}
void SimulatedWorkstation::SetWow64(bool wow64) {
    m_state->wow64 = wow64;
}
void SimulatedWorkstation::SetModulePath(const std::string& path) {
    m_state->modulePath = path;
}

void SimulatedWorkstation::SetSystemMessage(DWORD code, const std::string& text) {
    if (text.empty()) {
        m_state->systemMessages.erase(code);
    } else {
        m_state->systemMessages[code] = text;
    }
}

void SimulatedWorkstation::AnswerPrompts(const std::vector<int>& answers) {
    m_state->answers = answers;
    m_state->nextAnswer = 0;
}

DriverPackage& SimulatedWorkstation::AddDriverPackage(const std::string& publishedName) {
    if (DriverPackage* existing = m_state->FindPackage(publishedName)) return *existing;
    m_state->packages.push_back(std::make_unique<DriverPackage>());
    m_state->packages.back()->publishedName = publishedName;
    return *m_state->packages.back();
}

void SimulatedWorkstation::SetStoreUninstallAvailable(bool available) {
    m_state->storeUninstallAvailable = available;
}

DriverPackage& SimulatedWorkstation::AddDriverPackage(
    const std::string& publishedName, const std::string& storeFolder,
    const std::vector<std::pair<std::string, std::string>>& files) {
    DriverPackage& package = AddDriverPackage(publishedName);
    for (const auto& file : files) AddFile(storeFolder + "\\" + file.first, file.second);
    if (!files.empty()) package.storeInf = storeFolder + "\\" + files.front().first;
    return package;
}

void SimulatedWorkstation::SetStoreLocationAvailable(bool available) {
    m_state->storeLocationAvailable = available;
}

void SimulatedWorkstation::SetLocalTime(const LocalTime& time) {
    m_state->localTime = time;
}

std::vector<std::string> SimulatedWorkstation::DriverPackages() const {
    std::vector<std::string> names;
    for (const auto& package : m_state->packages) names.push_back(package->publishedName);
    return names;
}

const DriverPackage* SimulatedWorkstation::FindDriverPackage(const std::string& publishedName) const {
    return m_state->FindPackage(publishedName);
}

const RegistryKey* SimulatedWorkstation::FindRegistryKey(const std::string& pathBelowHklm) const {
    return m_state->FindKey(pathBelowHklm);
}

File& SimulatedWorkstation::AddProgram(const std::string& fullPath, DWORD exitCode) {
    m_state->programs[Upper(fullPath)] = exitCode;
    return AddFile(fullPath, "MZ");
}

void SimulatedWorkstation::SetCommandLineTail(const std::string& tail) {
    m_state->commandLineTail = tail;
}

void SimulatedWorkstation::FailCall(const std::string& operation, DWORD code, int onCall) {
    m_state->failures.push_back({operation, code, onCall, 0, false});
}

void SimulatedWorkstation::FailCallsFrom(const std::string& operation, DWORD code, int fromCall) {
    m_state->failures.push_back({operation, code, fromCall, 0, true});
}

// --- Reading back ----------------------------------------------------------------

bool SimulatedWorkstation::HasDevice(const std::string& instanceId) const {
    for (const auto& d : m_state->devices) {
        if (SameText(d->instanceId, instanceId) && !m_state->removed.count(d.get())) return true;
    }
    return false;
}

bool SimulatedWorkstation::HasFile(const std::string& fullPath) const {
    return FindFile(fullPath) != nullptr;
}

const File* SimulatedWorkstation::FindFile(const std::string& fullPath) const {
    return m_state->FindFileEntry(fullPath);
}

bool SimulatedWorkstation::HasService(const std::string& name) const {
    return FindService(name) != nullptr;
}

const Service* SimulatedWorkstation::FindService(const std::string& name) const {
    return m_state->FindServiceEntry(name);
}

const std::vector<std::string>& SimulatedWorkstation::Calls() const {
    return m_state->calls;
}
const std::vector<std::string>& SimulatedWorkstation::AllCalls() const {
    return m_state->allCalls;
}
const std::vector<Prompt>& SimulatedWorkstation::Prompts() const {
    return m_state->prompts;
}
const std::string& SimulatedWorkstation::StandardOutput() const {
    return m_state->standardOutput;
}
const std::string& SimulatedWorkstation::StandardError() const {
    return m_state->standardError;
}
void SimulatedWorkstation::SetOtherInstanceRunning(bool running) {
    m_state->otherInstanceRunning = running;
}

void SimulatedWorkstation::SetWindowStationVisible(bool visible) {
    m_state->windowStationVisible = visible;
}

void SimulatedWorkstation::SetStandardStreams(bool available) {
    m_state->standardStreams = available;
}
std::size_t SimulatedWorkstation::LiveHeapBlocks() const {
    return m_state->heap.size();
}
std::size_t SimulatedWorkstation::PeakHeapBytes() const {
    return m_state->heapPeak;
}
void SimulatedWorkstation::ResetHeapPeak() {
    m_state->heapPeak = m_state->heapBytes;
}
void SimulatedWorkstation::ForgetCalls() {
    m_state->calls.clear();
    m_state->allCalls.clear();
    m_state->callCounts.clear();
}

std::size_t SimulatedWorkstation::OpenHandles() const {
    return m_state->sets.size() + m_state->openKeys.size() + m_state->scHandles.size() +
           m_state->searches.size() + m_state->openFiles.size() + m_state->hashes.size() +
           m_state->folderHandles.size();
}

bool SimulatedWorkstation::HasDriverPackage(const std::string& publishedName) const {
    return m_state->FindPackage(publishedName) != nullptr;
}

const std::vector<std::string>& SimulatedWorkstation::DeletionsAtRestart() const {
    return m_state->deletionsAtRestart;
}

std::vector<std::string> SimulatedWorkstation::FilePaths() const {
    std::vector<std::string> paths;
    for (const auto& file : m_state->files) paths.push_back(file->path);
    return paths;
}

std::vector<std::string> SimulatedWorkstation::RegistryKeyPaths() const {
    std::vector<std::string> paths;
    for (const auto& key : m_state->keys) paths.push_back(key->path);
    return paths;
}

std::vector<std::string> SimulatedWorkstation::ServiceNames() const {
    std::vector<std::string> names;
    for (const auto& service : m_state->services) names.push_back(service->name);
    return names;
}

std::size_t SimulatedWorkstation::CallCount(const std::string& operation) const {
    auto it = m_state->callCounts.find(operation);
    return it == m_state->callCounts.end() ? 0 : it->second;
}

}  // namespace vk::sim
