#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/simulated/simulated.h"
#include "res/string_table.h"

namespace vk::sim {

namespace {

constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorNoAccess = 998;
constexpr DWORD kGenericExecute = 0x20000000;
constexpr DWORD kGenericAll = 0x10000000;
constexpr DWORD kMaximumAllowed = 0x02000000;
constexpr DWORD kFileReadData = 0x0001;
constexpr DWORD kFileWriteData = 0x0002;
constexpr DWORD kFileAppendData = 0x0004;
constexpr DWORD kFileExecute = 0x0020;
constexpr DWORD kFileWriteAttributes = 0x0100;
constexpr DWORD kFileShareDelete = 0x0004;
constexpr const char* kClassRoot = "System\\CurrentControlSet\\Control\\Class\\";

std::string Upper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return upper;
}

bool SameText(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

// The three kinds of access that sharing modes govern, as FILE_SHARE_ bits.
DWORD SharedAccess(DWORD access) {
    DWORD kinds = 0;
    constexpr DWORD kReading = GENERIC_READ | kGenericExecute | kGenericAll | kFileReadData | kFileExecute;
    if (access & kReading) kinds |= FILE_SHARE_READ;
    if (access & (GENERIC_WRITE | kGenericAll | kFileWriteData | kFileAppendData)) kinds |= FILE_SHARE_WRITE;
    if (access & (DELETE | kGenericAll)) kinds |= kFileShareDelete;
    return kinds;
}

// A file with no attribute left reads back as FILE_ATTRIBUTE_NORMAL, as on Windows.
DWORD Reported(DWORD attributes) { return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes; }

// On the double-byte code page a lead byte and its trail byte are one
// character, as when Windows converts an ANSI path: a trail byte equal to '\'
// or '|' is neither a separator nor an invalid character.
bool IsLead932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsTrail932(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Calls `visit(offset, byte)` for each character of `path` that is a single byte.
template <typename Visit>
void ForEachSingleByte(const std::string& path, bool doubleByte, Visit visit) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (doubleByte && IsLead932(c) && i + 1 < path.size() &&
            IsTrail932(static_cast<unsigned char>(path[i + 1]))) {
            ++i;
            continue;
        }
        visit(i, c);
    }
}

// Characters a file path may not hold (wildcards belong to searches only).
bool HasInvalidPathCharacter(const std::string& path, bool doubleByte) {
    bool invalid = false;
    ForEachSingleByte(path, doubleByte, [&](std::size_t i, unsigned char c) {
        if (c == '*' || c == '?' || c == '<' || c == '>' || c == '|' || c == '"') invalid = true;
        if (c == ':' && i != 1) invalid = true;
    });
    return invalid;
}

std::size_t LastSeparator(const std::string& path, bool doubleByte) {
    std::size_t slash = std::string::npos;
    ForEachSingleByte(path, doubleByte, [&](std::size_t i, unsigned char c) {
        if (c == '\\') slash = i;
    });
    return slash;
}

std::string FolderOf(const std::string& path, bool doubleByte) {
    std::size_t slash = LastSeparator(path, doubleByte);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path, bool doubleByte) {
    std::size_t slash = LastSeparator(path, doubleByte);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Case-insensitive match with * and ?.
bool Wildcard(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Wildcard(pattern + 1, name) || (*name != '\0' && Wildcard(pattern, name + 1));
    if (*name == '\0') return false;
    if (*pattern == '?') return Wildcard(pattern + 1, name + 1);
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return fold(*pattern) == fold(*name) && Wildcard(pattern + 1, name + 1);
}

const std::map<DWORD, std::string>& DefaultSystemMessages() {
    static const std::map<DWORD, std::string> messages = {
        {2, "The system cannot find the file specified.\r\n"},
        {3, "The system cannot find the path specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {6, "The handle is invalid.\r\n"},
        {8, "Not enough memory resources are available to process this command.\r\n"},
        {13, "The data is invalid.\r\n"},
        {18, "There are no more files.\r\n"},
        {38, "Reached the end of the file.\r\n"},
        {31, "A device attached to the system is not functioning.\r\n"},
        {32, "The process cannot access the file because it is being used by another process.\r\n"},
        {87, "The parameter is incorrect.\r\n"},
        {122, "The data area passed to a system call is too small.\r\n"},
        {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
        {206, "The filename or extension is too long.\r\n"},
        {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
        {234, "More data is available.\r\n"},
        {259, "No more data is available.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1072, "The specified service has been marked for deletion.\r\n"},
        {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
    };
    return messages;
}

// FormatMessage's result buffer holds at most 64K bytes; a longer expansion
// (a huge field width, say) fails instead of being allocated.
constexpr std::size_t kMaxFormattedMessage = 0x10000;

// The insert under a printf-style string format such as "-10s" ("%1!-10s!").
// Only string conversions are meaningful for a string insert.
bool FormatInsert(const std::string& conversionText, const char* insert, std::string* out) {
    std::size_t i = conversionText.find_first_not_of("-+ #0123456789.");
    std::string conversion = i == std::string::npos ? std::string() : conversionText.substr(i);
    if (conversion != "s" && conversion != "hs") return false;
    // The C library pads in time proportional to the width, even when only
    // measuring: a width past the limit fails before formatting.
    const std::string flags = conversionText.substr(0, i);
    const std::size_t digits = flags.find_first_not_of("-+ #0");
    if (digits != std::string::npos &&
        std::strtoul(flags.c_str() + digits, nullptr, 10) >= kMaxFormattedMessage) {
        return false;
    }
    std::string format = "%" + flags + "s";
    int needed = std::snprintf(nullptr, 0, format.c_str(), insert);
    if (needed < 0 || out->size() + static_cast<std::size_t>(needed) >= kMaxFormattedMessage) return false;
    std::string formatted(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(&formatted[0], formatted.size(), format.c_str(), insert);
    formatted.resize(static_cast<std::size_t>(needed));
    *out += formatted;
    return true;
}

// FormatMessage's expansion of a pattern with one string insert (%1). False
// for an insert number other than 1, a bad format or a '%' ending the pattern.
bool ExpandPattern(const char* pattern, const char* insert, std::string* out) {
    const char* value = insert ? insert : "(null)";
    for (const char* p = pattern; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            // Every line end, bare or not, is written as CR LF.
            if (*p == '\r' && p[1] == '\n') ++p;
            *out += "\r\n";
            continue;
        }
        if (*p != '%') {
            *out += *p;
            continue;
        }
        char next = *++p;
        if (next == '\0') return false;
        if (next >= '1' && next <= '9') {
            int number = next - '0';
            if (p[1] >= '0' && p[1] <= '9') number = number * 10 + (*++p - '0');
            if (number != 1) return false;
            if (p[1] == '!') {
                const char* close = std::strchr(p + 2, '!');
                if (!close || !FormatInsert(std::string(p + 2, close), value, out)) return false;
                p = close;
            } else {
                *out += value;
            }
        } else if (next == '0') {
            return true;
        } else if (next == 'n') {
            *out += "\r\n";
        } else if (next == 'r') {
            *out += '\r';
        } else if (next == 't') {
            *out += '\t';
        } else {
            *out += next;  // "%%", "% ", "%.", "%!" and any other character stand for themselves
        }
    }
    return true;
}

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(value));
    return text;
}

}  // namespace

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

Device& Device::HardwareIds(const std::vector<std::string>& ids) { return Property(SPDRP_HARDWAREID, MultiSz(ids)); }
Device& Device::Class(const std::string& name) { return Property(SPDRP_CLASS, Sz(name)); }
Device& Device::Driver(const std::string& key) { return Property(SPDRP_DRIVER, Sz(key)); }
Device& Device::Service(const std::string& name) { return Property(SPDRP_SERVICE, Sz(name)); }
Device& Device::LowerFilters(const std::vector<std::string>& filters) {
    return Property(SPDRP_LOWERFILTERS, MultiSz(filters));
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
File& File::HeldOpen() {
    heldOpenByOtherProgram = true;
    return *this;
}
File& File::DeleteRefused(DWORD code) {
    deleteError = code;
    return *this;
}

// --- State ----------------------------------------------------------------------

struct SimulatedWorkstation::State {
    std::vector<std::unique_ptr<Device>> devices;  // never erased: removal only marks
    std::set<const Device*> removed;
    std::vector<std::unique_ptr<RegistryKey>> keys;
    std::vector<std::unique_ptr<Service>> services;
    std::vector<std::unique_ptr<File>> files;
    // Deleted files and services stay allocated so that references the test
    // kept from AddFile or AddService remain readable.
    std::vector<std::unique_ptr<File>> deletedFiles;
    std::vector<std::unique_ptr<Service>> deletedServices;
    std::set<std::string> folders;  // upper-cased
    std::string windowsDirectory = "C:\\Windows";
    CodePage codePage = CodePage::Windows1252;
    bool administrator = true;
    bool wow64 = false;
    std::string modulePath = "C:\\Program Files\\VELKOR\\VelkorUSBCleaner.exe";
    std::map<DWORD, std::string> systemMessages = DefaultSystemMessages();
    std::vector<int> answers;
    std::size_t nextAnswer = 0;
    std::vector<std::unique_ptr<DriverPackage>> packages;
    std::vector<std::unique_ptr<DriverPackage>> uninstalledPackages;
    bool storeUninstallAvailable = true;
    std::map<std::string, DWORD> programs;  // upper-cased path -> exit code
    std::string commandLineTail;
    std::vector<std::string> deletionsAtRestart;

    struct Failure {
        std::string operation;
        DWORD code;
        int onCall;
        int seen;
        bool andLater;  // also every call after onCall
    };
    std::vector<Failure> failures;
    std::map<std::string, std::size_t> callCounts;
    std::vector<std::string> calls;
    std::vector<std::string> allCalls;
    std::vector<Prompt> prompts;
    bool standardStreams = true;
    std::string standardOutput;
    std::string standardError;
    DWORD lastError = 0;
    std::map<void*, std::size_t> heap;
    std::size_t heapBytes = 0;
    std::size_t heapPeak = 0;
    void HeapGrew(std::size_t added) {
        heapBytes += added;
        if (heapBytes > heapPeak) heapPeak = heapBytes;
    }

    std::uintptr_t nextHandle = 0x1000;
    std::map<std::uintptr_t, std::vector<Device*>> sets;
    // The same members, for a look-up that does not walk a large set.
    std::map<std::uintptr_t, std::set<Device*>> setMembers;
    std::map<std::uintptr_t, RegistryKey*> openKeys;
    struct ScOpen {
        Service* service;  // null for the manager
        DWORD access;
    };
    std::map<std::uintptr_t, ScOpen> scHandles;
    struct Search {
        std::vector<FindData> results;
        std::size_t next;
        std::string pattern;
    };
    std::map<std::uintptr_t, Search> searches;
    struct OpenFile {
        File* file;
        DWORD access;
        DWORD share;
        std::uint64_t position;
    };
    std::map<std::uintptr_t, OpenFile> openFiles;

    std::uintptr_t NewHandle() { return nextHandle += 4; }
    bool DoubleByte() const { return codePage == CodePage::DoubleByte932; }

    // What a handle names, for the call record; empty when unknown.
    std::string PathOf(FileHandle handle) const {
        auto it = openFiles.find(static_cast<std::uintptr_t>(handle));
        return it == openFiles.end() ? std::string() : it->second.file->path;
    }
    std::string PatternOf(FindHandle handle) const {
        auto it = searches.find(static_cast<std::uintptr_t>(handle));
        return it == searches.end() ? std::string() : it->second.pattern;
    }
    std::string KeyPathOf(RegKey handle) const {
        auto it = openKeys.find(static_cast<std::uintptr_t>(handle));
        return it == openKeys.end() ? std::string() : it->second->path;
    }

    // Counts and records the call; true (with the code) when it must fail.
    // Every counted rule sees every call, even when an earlier rule fires.
    bool Fails(const std::string& operation, const std::string& argument, DWORD* code) {
        ++callCounts[operation];
        allCalls.push_back(argument.empty() ? operation : operation + " " + argument);
        bool fails = false;
        for (Failure& f : failures) {
            if (f.operation != operation) continue;
            ++f.seen;
            bool now = f.onCall == 0 || f.seen == f.onCall || (f.andLater && f.seen > f.onCall);
            if (now && !fails) {
                *code = f.code;
                fails = true;
            }
        }
        return fails;
    }

    // The live files by upper-cased path, so that a look-up costs the same
    // in a folder of five files as in one of thousands.
    std::map<std::string, File*> fileIndex;
    DriverPackage* FindPackage(const std::string& name) {
        for (auto& p : packages) {
            if (SameText(p->publishedName, name)) return p.get();
        }
        return nullptr;
    }
    // A file leaves the file system (and its look-up) but stays readable.
    void RetireFile(File* file) {
        fileIndex.erase(Upper(file->path));
        Retire(files, deletedFiles, file);
    }
    File* FindFileEntry(const std::string& path) {
        auto it = fileIndex.find(Upper(path));
        return it == fileIndex.end() ? nullptr : it->second;
    }
    bool FolderExists(const std::string& path) { return folders.count(Upper(path)) != 0; }
    // 0 when `path` can name a file: short enough, well formed, in an existing
    // folder; else the error Windows gives.
    DWORD CheckPath(const std::string& path) {
        if (path.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
        if (HasInvalidPathCharacter(path, DoubleByte())) return ERROR_INVALID_NAME;
        return FolderExists(FolderOf(path, DoubleByte())) ? 0 : ERROR_PATH_NOT_FOUND;
    }
    Service* FindServiceEntry(const std::string& name) {
        for (auto& s : services) {
            if (SameText(s->name, name)) return s.get();
        }
        return nullptr;
    }
    // The keys by upper-cased path, for the same reason as the files.
    std::map<std::string, RegistryKey*> keyIndex;
    RegistryKey* FindKey(const std::string& path) {
        auto it = keyIndex.find(Upper(path));
        return it == keyIndex.end() ? nullptr : it->second;
    }
    // The device an element names, whether removed or not; null when the
    // element is malformed or not one of the set's.
    Device* ElementOf(DevInfoSet set, const DevInfoData* data) {
        if (!data || data->cbSize != sizeof(DevInfoData)) return nullptr;
        if (data->DevInst == 0 || data->DevInst > devices.size()) return nullptr;
        Device* device = devices[data->DevInst - 1].get();
        auto it = setMembers.find(static_cast<std::uintptr_t>(set));
        if (it == setMembers.end()) return nullptr;
        return it->second.count(device) ? device : nullptr;
    }
    // Checks a set and one of its elements; 0 or the SetupAPI error.
    DWORD CheckElement(DevInfoSet set, const DevInfoData* data) {
        if (!sets.count(static_cast<std::uintptr_t>(set))) return ERROR_INVALID_HANDLE;
        Device* device = ElementOf(set, data);
        if (!device) return ERROR_INVALID_PARAMETER;
        return removed.count(device) ? ERROR_NO_SUCH_DEVINST : 0;
    }
    void ReleaseService(Service* service) {
        if (--service->openHandles > 0 || !service->markedForDeletion) return;
        Retire(services, deletedServices, service);
    }
    template <typename T>
    static void Retire(std::vector<std::unique_ptr<T>>& live, std::vector<std::unique_ptr<T>>& gone,
                       T* item) {
        for (auto it = live.begin(); it != live.end(); ++it) {
            if (it->get() != item) continue;
            gone.push_back(std::move(*it));
            live.erase(it);
            return;
        }
    }
};

SimulatedWorkstation::SimulatedWorkstation() : m_state(std::make_unique<State>()) {
    SetWindowsDirectory("C:\\Windows");
}

SimulatedWorkstation::~SimulatedWorkstation() {
    for (auto& block : m_state->heap) std::free(block.first);
}

// --- Describing ----------------------------------------------------------------

Device& SimulatedWorkstation::AddDevice(const std::string& instanceId) {
    m_state->devices.push_back(std::make_unique<Device>());
    m_state->devices.back()->instanceId = instanceId;
    return *m_state->devices.back();
}

RegistryKey& SimulatedWorkstation::AddClassKey(const std::string& driverKey) {
    return AddRegistryKey(kClassRoot + driverKey);
}

RegistryKey& SimulatedWorkstation::AddRegistryKey(const std::string& pathBelowHklm) {
    if (RegistryKey* existing = m_state->FindKey(pathBelowHklm)) return *existing;
    m_state->keys.push_back(std::make_unique<RegistryKey>());
    m_state->keys.back()->path = pathBelowHklm;
    m_state->keyIndex[Upper(pathBelowHklm)] = m_state->keys.back().get();
    return *m_state->keys.back();
}

Service& SimulatedWorkstation::AddService(const std::string& name) {
    m_state->services.push_back(std::make_unique<Service>());
    m_state->services.back()->name = name;
    return *m_state->services.back();
}

File& SimulatedWorkstation::AddFile(const std::string& fullPath, const std::string& content) {
    AddFolder(FolderOf(fullPath, m_state->DoubleByte()));
    // One file per path, as the file system ignores case: a second AddFile
    // describes the same file again.
    if (File* existing = m_state->FindFileEntry(fullPath)) {
        existing->content = content;
        return *existing;
    }
    m_state->files.push_back(std::make_unique<File>());
    File& file = *m_state->files.back();
    file.path = fullPath;
    file.content = content;
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
}

void SimulatedWorkstation::SetCodePage(CodePage codePage) { m_state->codePage = codePage; }
void SimulatedWorkstation::SetAdministrator(bool isAdministrator) { m_state->administrator = isAdministrator; }
void SimulatedWorkstation::SetWow64(bool wow64) { m_state->wow64 = wow64; }
void SimulatedWorkstation::SetModulePath(const std::string& path) { m_state->modulePath = path; }

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

bool SimulatedWorkstation::HasFile(const std::string& fullPath) const { return FindFile(fullPath) != nullptr; }

const File* SimulatedWorkstation::FindFile(const std::string& fullPath) const {
    return m_state->FindFileEntry(fullPath);
}

bool SimulatedWorkstation::HasService(const std::string& name) const { return FindService(name) != nullptr; }

const Service* SimulatedWorkstation::FindService(const std::string& name) const {
    return m_state->FindServiceEntry(name);
}

const std::vector<std::string>& SimulatedWorkstation::Calls() const { return m_state->calls; }
const std::vector<std::string>& SimulatedWorkstation::AllCalls() const { return m_state->allCalls; }
const std::vector<Prompt>& SimulatedWorkstation::Prompts() const { return m_state->prompts; }
const std::string& SimulatedWorkstation::StandardOutput() const { return m_state->standardOutput; }
const std::string& SimulatedWorkstation::StandardError() const { return m_state->standardError; }
void SimulatedWorkstation::SetStandardStreams(bool available) { m_state->standardStreams = available; }
std::size_t SimulatedWorkstation::LiveHeapBlocks() const { return m_state->heap.size(); }
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
    return m_state->sets.size() + m_state->openKeys.size() + m_state->scHandles.size() + m_state->searches.size() +
           m_state->openFiles.size();
}

bool SimulatedWorkstation::HasDriverPackage(const std::string& publishedName) const {
    return m_state->FindPackage(publishedName) != nullptr;
}

const std::vector<std::string>& SimulatedWorkstation::DeletionsAtRestart() const {
    return m_state->deletionsAtRestart;
}

std::size_t SimulatedWorkstation::CallCount(const std::string& operation) const {
    auto it = m_state->callCounts.find(operation);
    return it == m_state->callCounts.end() ? 0 : it->second;
}

// --- Device setup ---------------------------------------------------------------

DevInfoSet SimulatedWorkstation::GetClassDevs(const char* enumerator, DWORD flags) {
    DWORD code = 0;
    if (m_state->Fails("GetClassDevs", enumerator ? enumerator : "", &code)) {
        m_state->lastError = code;
        return kInvalidDevInfoSet;
    }
    std::vector<Device*> members;
    // Without an enumerator every device is listed.
    std::string prefix = enumerator && *enumerator ? Upper(std::string(enumerator) + "\\") : std::string();
    for (auto& d : m_state->devices) {
        if (m_state->removed.count(d.get())) continue;
        if ((flags & DIGCF_PRESENT) && !d->present) continue;
        if (Upper(d->instanceId).compare(0, prefix.size(), prefix) == 0) members.push_back(d.get());
    }
    std::uintptr_t handle = m_state->NewHandle();
    m_state->sets[handle] = members;
    m_state->setMembers[handle] = std::set<Device*>(members.begin(), members.end());
    return static_cast<DevInfoSet>(handle);
}

bool SimulatedWorkstation::EnumDeviceInfo(DevInfoSet set, DWORD index, DevInfoData* data) {
    DWORD code = 0;
    if (m_state->Fails("EnumDeviceInfo", std::to_string(index), &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->sets.find(static_cast<std::uintptr_t>(set));
    if (it == m_state->sets.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!data || data->cbSize != sizeof(DevInfoData)) {
        m_state->lastError = kErrorInvalidUserBuffer;
        return false;
    }
    if (index >= it->second.size()) {
        m_state->lastError = ERROR_NO_MORE_ITEMS;
        return false;
    }
    Device* device = it->second[index];
    std::size_t position = 0;
    while (m_state->devices[position].get() != device) ++position;
    data->ClassGuid = Guid{0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    data->DevInst = static_cast<DWORD>(position + 1);
    data->Reserved = static_cast<std::uintptr_t>(set);
    return true;
}

bool SimulatedWorkstation::GetDeviceRegistryProperty(DevInfoSet set, const DevInfoData* data, DWORD property,
                                                     DWORD* regType, std::uint8_t* buffer, DWORD capacity,
                                                     DWORD* requiredSize) {
    Device* device = m_state->ElementOf(set, data);
    DWORD code = 0;
    if (m_state->Fails("GetDeviceRegistryProperty", device ? device->instanceId + " " + std::to_string(property) : "",
                       &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckElement(set, data)) {
        m_state->lastError = error;
        return false;
    }
    auto it = device->properties.find(property);
    if (it == device->properties.end()) {
        m_state->lastError = ERROR_INVALID_DATA;
        return false;
    }
    const RegValue& value = it->second;
    DWORD size = static_cast<DWORD>(value.data.size());
    if (requiredSize) *requiredSize = size;
    if (!buffer && capacity > 0) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (size > capacity) {
        m_state->lastError = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    if (regType) *regType = value.type;
    if (size > 0) std::memcpy(buffer, value.data.data(), size);
    return true;
}

bool SimulatedWorkstation::CallClassInstaller(DWORD installFunction, DevInfoSet set, const DevInfoData* data) {
    Device* device = m_state->ElementOf(set, data);
    DWORD code = 0;
    if (m_state->Fails("CallClassInstaller", device ? device->instanceId : "", &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckElement(set, data)) {
        m_state->lastError = error;
        return false;
    }
    if (installFunction != DIF_REMOVE) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (device->removeError != 0) {
        m_state->lastError = device->removeError;
        return false;
    }
    m_state->removed.insert(device);
    m_state->calls.push_back("DIF_REMOVE " + device->instanceId);
    return true;
}

bool SimulatedWorkstation::GetDeviceInstallFlags(DevInfoSet set, const DevInfoData* data, DWORD* flags) {
    Device* device = m_state->ElementOf(set, data);
    DWORD code = 0;
    if (m_state->Fails("GetDeviceInstallFlags", device ? device->instanceId : "", &code)) {
        m_state->lastError = code;
        return false;
    }
    // The element stays in the set after DIF_REMOVE, and so do its install
    // parameters: that is where the class installer leaves its restart flags.
    if (!m_state->sets.count(static_cast<std::uintptr_t>(set))) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!device || !flags) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    *flags = m_state->removed.count(device) ? device->installFlagsAfterRemove : 0;
    return true;
}

OemInfUninstall SimulatedWorkstation::UninstallOEMInf(const char* infName, DWORD flags) {
    std::string name = infName ? infName : "";
    DWORD code = 0;
    if (!m_state->storeUninstallAvailable) {
        m_state->allCalls.push_back("UninstallOEMInf " + name + " (unavailable)");
        return OemInfUninstall::Unavailable;
    }
    if (m_state->Fails("UninstallOEMInf", name, &code)) {
        m_state->lastError = code;
        return OemInfUninstall::Failed;
    }
    // A published name only, never a path; the only flag is SUOI_FORCEDELETE.
    bool separator = false;
    ForEachSingleByte(name, m_state->DoubleByte(), [&](std::size_t, unsigned char c) {
        if (c == '\\' || c == '/' || c == ':') separator = true;
    });
    if (name.empty() || separator || (flags & ~SUOI_FORCEDELETE) != 0) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return OemInfUninstall::Failed;
    }
    // Only a published name has a package to remove; the plain deletions are
    // left to deal with any other INF file.
    DriverPackage* package = m_state->FindPackage(name);
    if (!package) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return OemInfUninstall::Failed;
    }
    if (package->uninstallError != 0) {
        m_state->lastError = package->uninstallError;
        return OemInfUninstall::Failed;
    }
    // The system removes its own files whatever their attributes.
    const std::string inf = m_state->windowsDirectory + "\\inf\\" + name;
    std::string pnf = inf;
    if (pnf.size() >= 3) pnf.replace(pnf.size() - 3, 3, "pnf");
    if (File* infFile = m_state->FindFileEntry(inf))
        m_state->RetireFile(infFile);
    if (File* pnfFile = m_state->FindFileEntry(pnf))
        m_state->RetireFile(pnfFile);
    State::Retire(m_state->packages, m_state->uninstalledPackages, package);
    m_state->calls.push_back("UninstallOEMInf " + name);
    return OemInfUninstall::Done;
}

bool SimulatedWorkstation::GetDeviceInstanceId(DevInfoSet set, const DevInfoData* data, char* buffer, DWORD size,
                                               DWORD* requiredSize) {
    Device* device = m_state->ElementOf(set, data);
    DWORD code = 0;
    if (m_state->Fails("GetDeviceInstanceId", device ? device->instanceId : "", &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckElement(set, data)) {
        m_state->lastError = error;
        return false;
    }
    const DWORD needed = static_cast<DWORD>(device->instanceId.size() + 1);
    if (requiredSize) *requiredSize = needed;
    if (!buffer || size < needed) {
        m_state->lastError = ERROR_INSUFFICIENT_BUFFER;
        return false;
    }
    std::memcpy(buffer, device->instanceId.c_str(), needed);
    return true;
}

bool SimulatedWorkstation::DestroyDeviceInfoList(DevInfoSet set) {
    DWORD code = 0;
    if (m_state->Fails("DestroyDeviceInfoList", "", &code)) {
        m_state->lastError = code;
        return false;
    }
    m_state->setMembers.erase(static_cast<std::uintptr_t>(set));
    if (m_state->sets.erase(static_cast<std::uintptr_t>(set)) == 0) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

// --- Registry ------------------------------------------------------------------

LONG SimulatedWorkstation::RegOpenKeyEx(RegRoot, const char* subKey, DWORD, DWORD access, RegKey* key) {
    DWORD code = 0;
    if (m_state->Fails("RegOpenKeyEx", subKey ? subKey : "", &code)) return static_cast<LONG>(code);
    if (!key) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    RegistryKey* found = subKey ? m_state->FindKey(subKey) : nullptr;
    if (!found) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    if (found->refuseFullAccess && access == KEY_ALL_ACCESS) return static_cast<LONG>(ERROR_ACCESS_DENIED);
    std::uintptr_t handle = m_state->NewHandle();
    m_state->openKeys[handle] = found;
    *key = static_cast<RegKey>(handle);
    return 0;
}

LONG SimulatedWorkstation::RegQueryValueEx(RegKey key, const char* valueName, DWORD* type, std::uint8_t* data,
                                           DWORD* size) {
    DWORD code = 0;
    if (m_state->Fails("RegQueryValueEx", valueName ? valueName : "", &code)) return static_cast<LONG>(code);
    auto open = m_state->openKeys.find(static_cast<std::uintptr_t>(key));
    if (open == m_state->openKeys.end()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    // The values map is public, so it may hold names in any case.
    const RegValue* found = nullptr;
    for (const auto& entry : open->second->values) {
        if (SameText(entry.first, valueName ? valueName : "")) found = &entry.second;
    }
    if (!found) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    const RegValue& value = *found;
    DWORD needed = static_cast<DWORD>(value.data.size());
    if (type) *type = value.type;
    if (!data) {
        if (size) *size = needed;
        return 0;
    }
    if (!size) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    if (*size < needed) {
        *size = needed;
        return static_cast<LONG>(ERROR_MORE_DATA);
    }
    if (needed > 0) std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return 0;
}

LONG SimulatedWorkstation::RegCloseKey(RegKey key) {
    DWORD code = 0;
    if (m_state->Fails("RegCloseKey", m_state->KeyPathOf(key), &code)) return static_cast<LONG>(code);
    if (m_state->openKeys.erase(static_cast<std::uintptr_t>(key)) == 0) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    return 0;
}

// --- Services -------------------------------------------------------------------

ScHandle SimulatedWorkstation::OpenSCManager(DWORD access) {
    DWORD code = 0;
    if (m_state->Fails("OpenSCManager", "", &code)) {
        m_state->lastError = code;
        return kNullScHandle;
    }
    if (!m_state->administrator) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return kNullScHandle;
    }
    std::uintptr_t handle = m_state->NewHandle();
    m_state->scHandles[handle] = {nullptr, access};
    return static_cast<ScHandle>(handle);
}

ScHandle SimulatedWorkstation::OpenService(ScHandle manager, const char* serviceName, DWORD access) {
    DWORD code = 0;
    if (m_state->Fails("OpenService", serviceName ? serviceName : "", &code)) {
        m_state->lastError = code;
        return kNullScHandle;
    }
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(manager));
    if (it == m_state->scHandles.end() || it->second.service != nullptr) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return kNullScHandle;
    }
    Service* service = serviceName ? m_state->FindServiceEntry(serviceName) : nullptr;
    if (!service) {
        m_state->lastError = ERROR_SERVICE_DOES_NOT_EXIST;
        return kNullScHandle;
    }
    ++service->openHandles;
    std::uintptr_t handle = m_state->NewHandle();
    m_state->scHandles[handle] = {service, access};
    return static_cast<ScHandle>(handle);
}

bool SimulatedWorkstation::DeleteService(ScHandle serviceHandle) {
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(serviceHandle));
    Service* service = it == m_state->scHandles.end() ? nullptr : it->second.service;
    DWORD code = 0;
    if (m_state->Fails("DeleteService", service ? service->name : "", &code)) {
        m_state->lastError = code;
        return false;
    }
    if (!service) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    // The handle must have been opened for deletion.
    if (!(it->second.access & (DELETE | kGenericAll | kMaximumAllowed))) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    if (service->markedForDeletion) {
        m_state->lastError = ERROR_SERVICE_MARKED_FOR_DELETE;
        return false;
    }
    service->markedForDeletion = true;
    m_state->calls.push_back("DeleteService " + service->name);
    return true;
}

bool SimulatedWorkstation::CloseServiceHandle(ScHandle handle) {
    DWORD code = 0;
    auto open = m_state->scHandles.find(static_cast<std::uintptr_t>(handle));
    bool isService = open != m_state->scHandles.end() && open->second.service;
    if (m_state->Fails("CloseServiceHandle", isService ? open->second.service->name : "", &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->scHandles.find(static_cast<std::uintptr_t>(handle));
    if (it == m_state->scHandles.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    Service* service = it->second.service;
    m_state->scHandles.erase(it);
    if (service) m_state->ReleaseService(service);
    return true;
}

// --- Files ---------------------------------------------------------------------

DWORD SimulatedWorkstation::GetWindowsDirectory(char* buffer, DWORD size) {
    DWORD code = 0;
    if (m_state->Fails("GetWindowsDirectory", "", &code)) {
        m_state->lastError = code;
        return 0;
    }
    const std::string& dir = m_state->windowsDirectory;
    if (!buffer || size < dir.size() + 1) return static_cast<DWORD>(dir.size() + 1);
    std::memcpy(buffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

FindHandle SimulatedWorkstation::FindFirstFile(const char* pattern, FindData* data) {
    DWORD code = 0;
    std::string text = pattern ? pattern : "";
    if (m_state->Fails("FindFirstFile", text, &code)) {
        m_state->lastError = code;
        return kInvalidFindHandle;
    }
    if (!data) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return kInvalidFindHandle;
    }
    if (text.size() >= MAX_PATH) {
        m_state->lastError = ERROR_FILENAME_EXCED_RANGE;
        return kInvalidFindHandle;
    }
    const bool doubleByte = m_state->DoubleByte();
    std::string folder = FolderOf(text, doubleByte);
    std::string namePattern = NameOf(text, doubleByte);
    if (HasInvalidPathCharacter(folder, doubleByte)) {
        m_state->lastError = ERROR_INVALID_NAME;
        return kInvalidFindHandle;
    }
    // The DOS pattern *.* also matches names without a dot.
    if (namePattern == "*.*") namePattern = "*";
    if (!m_state->FolderExists(folder)) {
        m_state->lastError = ERROR_PATH_NOT_FOUND;
        return kInvalidFindHandle;
    }
    std::vector<std::pair<std::string, FindData>> found;
    for (auto& f : m_state->files) {
        if (!SameText(FolderOf(f->path, doubleByte), folder)) continue;
        std::string name = NameOf(f->path, doubleByte);
        if (!Wildcard(namePattern.c_str(), name.c_str())) continue;
        FindData entry{};
        entry.attributes = Reported(f->attributes);
        std::strncpy(entry.fileName, name.c_str(), MAX_PATH - 1);
        found.emplace_back(Upper(name), entry);
    }
    if (found.empty()) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return kInvalidFindHandle;
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    State::Search search{{}, 1, text};
    for (auto& entry : found) search.results.push_back(entry.second);
    *data = search.results[0];
    std::uintptr_t handle = m_state->NewHandle();
    m_state->searches[handle] = search;
    return static_cast<FindHandle>(handle);
}

bool SimulatedWorkstation::FindNextFile(FindHandle searchHandle, FindData* data) {
    DWORD code = 0;
    if (m_state->Fails("FindNextFile", m_state->PatternOf(searchHandle), &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->searches.find(static_cast<std::uintptr_t>(searchHandle));
    if (it == m_state->searches.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!data) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    State::Search& search = it->second;
    if (search.next >= search.results.size()) {
        m_state->lastError = ERROR_NO_MORE_FILES;
        return false;
    }
    *data = search.results[search.next++];
    return true;
}

bool SimulatedWorkstation::FindClose(FindHandle searchHandle) {
    DWORD code = 0;
    if (m_state->Fails("FindClose", m_state->PatternOf(searchHandle), &code)) {
        m_state->lastError = code;
        return false;
    }
    if (m_state->searches.erase(static_cast<std::uintptr_t>(searchHandle)) == 0) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

bool SimulatedWorkstation::GetFileAttributesEx(const char* path, FileAttributeData* data) {
    DWORD code = 0;
    std::string text = path ? path : "";
    if (m_state->Fails("GetFileAttributesEx", text, &code)) {
        m_state->lastError = code;
        return false;
    }
    if (!path || !data) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (DWORD error = m_state->CheckPath(text)) {
        m_state->lastError = error;
        return false;
    }
    if (File* file = m_state->FindFileEntry(text)) {
        *data = {Reported(file->attributes), file->creationTime, file->lastAccessTime, file->lastWriteTime,
                 file->content.size()};
        return true;
    }
    if (m_state->FolderExists(text)) {
        *data = {FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0, 0};
        return true;
    }
    m_state->lastError = ERROR_FILE_NOT_FOUND;
    return false;
}

bool SimulatedWorkstation::SetFileAttributes(const char* path, DWORD attributes) {
    DWORD code = 0;
    std::string text = path ? path : "";
    if (m_state->Fails("SetFileAttributes", text, &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckPath(text)) {
        m_state->lastError = error;
        return false;
    }
    File* file = m_state->FindFileEntry(text);
    if (!file) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // FILE_ATTRIBUTE_NORMAL counts only alone, where it means "none"; the
    // directory bit cannot be set.
    file->attributes = attributes & ~(FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY);
    m_state->calls.push_back("SetFileAttributes " + text + " " + Hex(attributes));
    return true;
}

FileHandle SimulatedWorkstation::CreateFile(const char* path, DWORD access, DWORD shareMode, DWORD disposition) {
    DWORD code = 0;
    std::string text = path ? path : "";
    if (m_state->Fails("CreateFile", text, &code)) {
        m_state->lastError = code;
        return kInvalidFileHandle;
    }
    if (DWORD error = m_state->CheckPath(text)) {
        m_state->lastError = error;
        return kInvalidFileHandle;
    }
    if (m_state->FolderExists(text)) {
        m_state->lastError = ERROR_ACCESS_DENIED;  // a folder is not opened as a file
        return kInvalidFileHandle;
    }
    // Only opening an existing file is modelled; nothing here creates files.
    if (disposition != OPEN_EXISTING) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return kInvalidFileHandle;
    }
    File* file = m_state->FindFileEntry(text);
    if (!file) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return kInvalidFileHandle;
    }
    // Sharing governs only reading, writing and deleting: an open for none of
    // them (attributes only) neither conflicts nor is conflicted with. Each
    // side must admit what the other does.
    DWORD kinds = SharedAccess(access);
    bool conflict = kinds != 0 && file->heldOpenByOtherProgram;
    for (auto& open : m_state->openFiles) {
        const State::OpenFile& other = open.second;
        DWORD otherKinds = SharedAccess(other.access);
        if (other.file != file || kinds == 0 || otherKinds == 0) continue;
        if ((kinds & ~other.share) != 0 || (otherKinds & ~shareMode) != 0) conflict = true;
    }
    if (conflict) {
        m_state->lastError = ERROR_SHARING_VIOLATION;
        return kInvalidFileHandle;
    }
    if ((kinds & (FILE_SHARE_WRITE | kFileShareDelete)) && (file->attributes & FILE_ATTRIBUTE_READONLY)) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return kInvalidFileHandle;
    }
    std::uintptr_t handle = m_state->NewHandle();
    m_state->openFiles[handle] = {file, access, shareMode, 0};
    return static_cast<FileHandle>(handle);
}

bool SimulatedWorkstation::SetFileTime(FileHandle fileHandle, const FileTime* creation, const FileTime* lastAccess,
                                       const FileTime* lastWrite) {
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    DWORD code = 0;
    if (m_state->Fails("SetFileTime", it == m_state->openFiles.end() ? "" : it->second.file->path, &code)) {
        m_state->lastError = code;
        return false;
    }
    if (it == m_state->openFiles.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!(it->second.access & (GENERIC_WRITE | kGenericAll | kFileWriteAttributes))) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    File* file = it->second.file;
    // Windows also keeps a time whose value is 0, and ~0 means "keep" too.
    auto store = [](FileTime* target, const FileTime* value) {
        if (value && *value != 0 && *value != ~FileTime{0}) *target = *value;
    };
    store(&file->creationTime, creation);
    store(&file->lastAccessTime, lastAccess);
    store(&file->lastWriteTime, lastWrite);
    m_state->calls.push_back("SetFileTime " + file->path);
    return true;
}

bool SimulatedWorkstation::GetFileSizeEx(FileHandle fileHandle, std::uint64_t* size) {
    DWORD code = 0;
    if (m_state->Fails("GetFileSizeEx", m_state->PathOf(fileHandle), &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!size) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    *size = it->second.file->content.size();
    return true;
}

bool SimulatedWorkstation::ReadFile(FileHandle fileHandle, void* buffer, DWORD toRead, DWORD* read) {
    DWORD code = 0;
    if (m_state->Fails("ReadFile", m_state->PathOf(fileHandle), &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->openFiles.find(static_cast<std::uintptr_t>(fileHandle));
    if (it == m_state->openFiles.end()) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!(SharedAccess(it->second.access) & FILE_SHARE_READ)) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    if (!buffer && toRead > 0) {
        m_state->lastError = kErrorNoAccess;
        return false;
    }
    const std::string& content = it->second.file->content;
    std::uint64_t position = it->second.position;
    std::uint64_t left = position < content.size() ? content.size() - position : 0;
    DWORD count = static_cast<DWORD>(std::min<std::uint64_t>(toRead, left));
    if (count > 0) std::memcpy(buffer, content.data() + position, count);
    it->second.position += count;
    if (read) *read = count;
    return true;
}

bool SimulatedWorkstation::CloseHandle(FileHandle fileHandle) {
    DWORD code = 0;
    if (m_state->Fails("CloseHandle", m_state->PathOf(fileHandle), &code)) {
        m_state->lastError = code;
        return false;
    }
    if (m_state->openFiles.erase(static_cast<std::uintptr_t>(fileHandle)) == 0) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

bool SimulatedWorkstation::DeleteFile(const char* path) {
    DWORD code = 0;
    std::string text = path ? path : "";
    if (m_state->Fails("DeleteFile", text, &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckPath(text)) {
        m_state->lastError = error;
        return false;
    }
    File* file = m_state->FindFileEntry(text);
    if (!file) {
        m_state->lastError = m_state->FolderExists(text) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (file->attributes & FILE_ATTRIBUTE_READONLY) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    bool openHere = false;
    for (auto& open : m_state->openFiles) openHere = openHere || open.second.file == file;
    if (file->heldOpenByOtherProgram || openHere) {
        m_state->lastError = ERROR_SHARING_VIOLATION;
        return false;
    }
    if (file->deleteError != 0) {
        m_state->lastError = file->deleteError;
        return false;
    }
    m_state->RetireFile(file);
    m_state->calls.push_back("DeleteFile " + text);
    return true;
}

bool SimulatedWorkstation::MoveFileEx(const char* path, const char* newPath, DWORD flags) {
    DWORD code = 0;
    std::string text = path ? path : "";
    if (m_state->Fails("MoveFileEx", text, &code)) {
        m_state->lastError = code;
        return false;
    }
    // Only the deletion at restart is modelled: no new name, delay flag.
    if (newPath != nullptr || flags != MOVEFILE_DELAY_UNTIL_REBOOT) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (DWORD error = m_state->CheckPath(text)) {
        m_state->lastError = error;
        return false;
    }
    if (!m_state->FindFileEntry(text)) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    // The pending deletion is written to the registry: administrators only.
    if (!m_state->administrator) {
        m_state->lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    m_state->deletionsAtRestart.push_back(text);
    m_state->calls.push_back("MoveFileEx " + text + " at restart");
    return true;
}

// --- Heap ----------------------------------------------------------------------

void* SimulatedWorkstation::HeapAlloc(std::size_t size) {
    DWORD code = 0;
    if (m_state->Fails("HeapAlloc", std::to_string(size), &code)) {
        m_state->lastError = code;
        return nullptr;
    }
    void* block = std::calloc(size == 0 ? 1 : size, 1);
    if (!block) {
        m_state->lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    m_state->heap[block] = size;
    m_state->HeapGrew(size);
    return block;
}

void* SimulatedWorkstation::HeapReAlloc(void* block, std::size_t size) {
    DWORD code = 0;
    if (m_state->Fails("HeapReAlloc", std::to_string(size), &code)) {
        m_state->lastError = code;
        return nullptr;
    }
    auto it = m_state->heap.find(block);
    if (it == m_state->heap.end()) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::size_t old = it->second;
    void* grown = std::realloc(block, size == 0 ? 1 : size);
    if (!grown) {
        m_state->lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    m_state->heap.erase(it);
    if (size > old) std::memset(static_cast<char*>(grown) + old, 0, size - old);
    m_state->heap[grown] = size;
    m_state->heapBytes -= old;
    m_state->HeapGrew(size);
    return grown;
}

bool SimulatedWorkstation::HeapFree(void* block) {
    DWORD code = 0;
    if (m_state->Fails("HeapFree", "", &code)) {
        m_state->lastError = code;
        return false;
    }
    auto it = m_state->heap.find(block);
    if (it == m_state->heap.end()) {
        // A double free or a foreign pointer: caught here rather than crashing.
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    std::free(block);
    m_state->heapBytes -= it->second;
    m_state->heap.erase(it);
    return true;
}

// --- User interface and texts ----------------------------------------------------

int SimulatedWorkstation::MessageBox(const char* text, const char* caption, DWORD type) {
    DWORD code = 0;
    if (m_state->Fails("MessageBox", text ? text : "", &code)) {
        m_state->lastError = code;
        return 0;
    }
    int answer = IDOK;
    if (m_state->nextAnswer < m_state->answers.size()) answer = m_state->answers[m_state->nextAnswer++];
    m_state->prompts.push_back({text ? text : "", caption ? caption : "", type, answer, LiveHeapBlocks(), OpenHandles()});
    return answer;
}

int SimulatedWorkstation::LoadString(unsigned id, char* buffer, int bufferMax) {
    DWORD code = 0;
    // The text calls leave the last error alone, as the win32 layer's do.
    if (m_state->Fails("LoadString", std::to_string(id), &code)) return 0;
    if (!buffer || bufferMax <= 0) return 0;
    for (const StringResource& resource : kStringTable) {
        if (resource.id != id) continue;
        std::size_t length = std::min<std::size_t>(std::strlen(resource.text), static_cast<std::size_t>(bufferMax - 1));
        std::memcpy(buffer, resource.text, length);
        buffer[length] = '\0';
        return static_cast<int>(length);
    }
    buffer[0] = '\0';
    return 0;
}

DWORD SimulatedWorkstation::GetModuleFileName(char* buffer, DWORD size) {
    DWORD code = 0;
    if (m_state->Fails("GetModuleFileName", "", &code)) {
        m_state->lastError = code;
        return 0;
    }
    const std::string& path = m_state->modulePath;
    if (!buffer || size == 0) return 0;
    DWORD length = static_cast<DWORD>(std::min<std::size_t>(path.size(), size - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    if (length < path.size()) {
        m_state->lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    return length;
}

DWORD SimulatedWorkstation::FormatSystemMessage(DWORD messageId, DWORD, std::string* text) {
    DWORD code = 0;
    if (m_state->Fails("FormatSystemMessage", std::to_string(messageId), &code)) {
        if (text) text->clear();
        return 0;
    }
    if (!text) return 0;
    text->clear();
    auto it = m_state->systemMessages.find(messageId);
    if (it == m_state->systemMessages.end()) return 0;
    *text = it->second;
    return static_cast<DWORD>(text->size());
}

DWORD SimulatedWorkstation::FormatStringMessage(const char* pattern, const char* insert, std::string* text) {
    DWORD code = 0;
    if (m_state->Fails("FormatStringMessage", pattern ? pattern : "", &code)) {
        if (text) text->clear();
        return 0;
    }
    if (!pattern || !text) return 0;
    text->clear();
    std::string out;
    if (!ExpandPattern(pattern, insert, &out)) return 0;
    if (out.size() >= kMaxFormattedMessage) return 0;
    *text = out;
    return static_cast<DWORD>(out.size());
}

DWORD SimulatedWorkstation::CharUpperBuff(char* text, DWORD length) {
    DWORD code = 0;
    if (m_state->Fails("CharUpperBuff", std::to_string(length), &code)) {
        m_state->lastError = code;
        return 0;
    }
    if (!text) return 0;
    unsigned char* p = reinterpret_cast<unsigned char*>(text);
    if (m_state->codePage == CodePage::Windows1252) {
        for (DWORD i = 0; i < length; ++i) {
            unsigned char c = p[i];
            if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
                p[i] = static_cast<unsigned char>(c - 0x20);
            } else if (c == 0x9A || c == 0x9C || c == 0x9E) {
                p[i] = static_cast<unsigned char>(c - 0x10);
            } else if (c == 0xFF) {
                p[i] = 0x9F;
            }
        }
        return length;
    }
    for (DWORD i = 0; i < length; ++i) {
        unsigned char c = p[i];
        bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        if (lead) {
            if (i + 1 >= length) break;  // a lead byte without its trail byte stays
            // Full-width a-z become full-width A-Z.
            if (c == 0x82 && p[i + 1] >= 0x81 && p[i + 1] <= 0x9A) p[i + 1] = static_cast<unsigned char>(p[i + 1] - 0x21);
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            p[i] = static_cast<unsigned char>(c - 0x20);
        }
    }
    return length;
}

bool SimulatedWorkstation::GetCPInfo(CodePageInfo* info) {
    DWORD code = 0;
    if (m_state->Fails("GetCPInfo", "", &code)) {
        m_state->lastError = code;
        return false;
    }
    if (!info) {
        m_state->lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    *info = CodePageInfo{};
    if (m_state->codePage == CodePage::Windows1252) {
        info->codePage = 1252;
        info->maxCharSize = 1;
    } else {
        info->codePage = 932;
        info->maxCharSize = 2;
        info->leadByteRanges[0][0] = 0x81;
        info->leadByteRanges[0][1] = 0x9F;
        info->leadByteRanges[1][0] = 0xE0;
        info->leadByteRanges[1][1] = 0xFC;
    }
    return true;
}

// The last error cannot fail; its calls are counted and recorded all the same.
DWORD SimulatedWorkstation::GetLastError() {
    ++m_state->callCounts["GetLastError"];
    m_state->allCalls.push_back("GetLastError");
    return m_state->lastError;
}

void SimulatedWorkstation::SetLastError(DWORD code) {
    ++m_state->callCounts["SetLastError"];
    m_state->allCalls.push_back("SetLastError " + std::to_string(code));
    m_state->lastError = code;
}

void SimulatedWorkstation::GetCommandLineTail(std::string* tail) {
    ++m_state->callCounts["GetCommandLineTail"];
    m_state->allCalls.push_back("GetCommandLineTail");
    if (tail) *tail = m_state->commandLineTail;
}

bool SimulatedWorkstation::RunProcess(const char* application, const char* commandLine, DWORD* exitCode) {
    DWORD code = 0;
    std::string app = application ? application : "";
    std::string line = commandLine ? commandLine : "";
    if (m_state->Fails("RunProcess", app, &code)) {
        m_state->lastError = code;
        return false;
    }
    if (DWORD error = m_state->CheckPath(app)) {
        m_state->lastError = error;
        return false;
    }
    if (!m_state->FindFileEntry(app)) {
        m_state->lastError = ERROR_FILE_NOT_FOUND;
        return false;
    }
    auto program = m_state->programs.find(Upper(app));
    if (program == m_state->programs.end()) {
        m_state->lastError = 193;  // ERROR_BAD_EXE_FORMAT: a file that is no program
        return false;
    }
    m_state->calls.push_back("RunProcess " + app + " | " + line);
    if (exitCode) *exitCode = program->second;
    return true;
}

bool SimulatedWorkstation::IsWow64() {
    DWORD code = 0;
    if (m_state->Fails("IsWow64", "", &code)) {
        m_state->lastError = code;
        return false;
    }
    return m_state->wow64;
}

bool SimulatedWorkstation::WriteStandardStream(StandardStream stream, const char* data, std::size_t length) {
    DWORD code = 0;
    if (m_state->Fails("WriteStandardStream", stream == StandardStream::Output ? "output" : "error", &code)) {
        m_state->lastError = code;
        return false;
    }
    if (!m_state->standardStreams) {
        m_state->lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    std::string& target = stream == StandardStream::Output ? m_state->standardOutput : m_state->standardError;
    target.append(data, length);
    return true;
}

}  // namespace vk::sim
