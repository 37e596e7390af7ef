// The simulated workstation's state, shared by the files that implement
// each of its interfaces (devices, registry, services, files, heap, and the
// user interface with texts and processes).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/simulated/simulated.h"

namespace vk::sim {

// Helpers of the simulated workstation's own files, not part of its interface.
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
const std::string kEnumRoot = "System\\CurrentControlSet\\Enum\\";
const std::string kServicesRoot = "System\\CurrentControlSet\\Services\\";

inline std::string Upper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return upper;
}

inline bool SameText(const std::string& a, const std::string& b) {
    return Upper(a) == Upper(b);
}

// On the double-byte code page a lead byte and its trail byte are one
// character, as when Windows converts an ANSI path: a trail byte equal to '\'
// or '|' is neither a separator nor an invalid character.
inline bool IsLead932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
inline bool IsTrail932(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Calls `visit(offset, byte)` for each character of `path` that is a single byte.
template <typename Visit>
inline void ForEachSingleByte(const std::string& path, bool doubleByte, Visit visit) {
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
inline bool HasInvalidPathCharacter(const std::string& path, bool doubleByte) {
    bool invalid = false;
    ForEachSingleByte(path, doubleByte, [&](std::size_t i, unsigned char c) {
        if (c == '*' || c == '?' || c == '<' || c == '>' || c == '|' || c == '"') invalid = true;
        if (c == ':' && i != 1) invalid = true;
    });
    return invalid;
}

inline std::size_t LastSeparator(const std::string& path, bool doubleByte) {
    std::size_t slash = std::string::npos;
    ForEachSingleByte(path, doubleByte, [&](std::size_t i, unsigned char c) {
        if (c == '\\') slash = i;
    });
    return slash;
}

inline std::string FolderOf(const std::string& path, bool doubleByte) {
    std::size_t slash = LastSeparator(path, doubleByte);
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

inline std::string NameOf(const std::string& path, bool doubleByte) {
    std::size_t slash = LastSeparator(path, doubleByte);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Case-insensitive match with * and ?.
inline bool Wildcard(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Wildcard(pattern + 1, name) || (*name != '\0' && Wildcard(pattern, name + 1));
    if (*name == '\0') return false;
    if (*pattern == '?') return Wildcard(pattern + 1, name + 1);
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
    return fold(*pattern) == fold(*name) && Wildcard(pattern + 1, name + 1);
}

// The system texts a new workstation knows (English, with their line ends).
const std::map<DWORD, std::string>& DefaultSystemMessages();

struct SimulatedWorkstation::State {
    std::vector<std::unique_ptr<Device>> devices;                    // never erased: removal only marks
    std::unordered_map<const Device*, std::size_t> devicePositions;  // in `devices`, for DevInst
    std::set<const Device*> removed;
    std::vector<std::unique_ptr<RegistryKey>> keys;
    std::vector<std::unique_ptr<RegistryKey>> deletedKeys;
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
    bool storeLocationAvailable = true;
    LocalTime localTime{2026, 12, 8, 16, 5, 9};
    std::map<std::string, DWORD> programs;  // upper-cased path -> exit code
    std::string commandLineTail;
    std::string computerName = "POSTE-042";
    FileTime clock = 134411922000000000ull;  // 2026-12-08T08:30:00Z
    std::vector<std::string> deletionsAtRestart;
    SystemRestore systemRestore = SystemRestore::On;
    std::vector<RestorePoint> restorePoints;
    std::int64_t nextRestorePoint = 1;
    std::vector<LoggedEvent> events;

    struct Failure {
        std::string operation;
        DWORD code;
        int onCall;
        int seen;
        bool andLater;  // also every call after onCall
    };
    std::vector<Failure> failures;
    // A run cut short: the calls the process may still make, whether it
    // has died, and whether the power goes with it.
    std::size_t callsBeforeKill = SIZE_MAX;
    bool killed = false;
    bool powerCut = false;
    // Moves made without MOVEFILE_WRITE_THROUGH, undone by a power cut:
    // the file and the name it had.
    std::vector<std::pair<File*, std::string>> volatileMoves;
    std::map<std::string, std::size_t> callCounts;
    std::vector<std::string> calls;
    std::vector<std::string> allCalls;
    std::vector<Prompt> prompts;
    bool standardStreams = true;
    bool otherInstanceRunning = false;
    bool windowStationVisible = true;
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
    // SHA-256 computations in progress (the library's own context).
    std::map<std::uintptr_t, std::shared_ptr<void>> hashes;

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
        // A dead process's calls reach nothing.
        if (killed || callsBeforeKill == 0) {
            killed = true;
            *code = ERROR_PROCESS_ABORTED;
            return true;
        }
        if (callsBeforeKill != SIZE_MAX) --callsBeforeKill;
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

    // The injected failure of a call that reports through the last error:
    // true, with its code left as the last error, when the call must fail.
    bool Injected(const std::string& operation, const std::string& argument) {
        DWORD code = 0;
        if (!Fails(operation, argument, &code)) return false;
        lastError = code;
        return true;
    }
    // CreateDirectoryA's checks, then the folder itself: false, with the last
    // error set, when it cannot be made.
    bool MakeFolder(const std::string& path) {
        if (path.size() >= MAX_PATH) return Error(ERROR_FILENAME_EXCED_RANGE, false);
        if (HasInvalidPathCharacter(path, DoubleByte())) return Error(ERROR_INVALID_NAME, false);
        if (FolderExists(path) || FindFileEntry(path)) return Error(ERROR_ALREADY_EXISTS, false);
        if (!FolderExists(FolderOf(path, DoubleByte()))) return Error(ERROR_PATH_NOT_FOUND, false);
        folders.insert(Upper(path));
        return true;
    }
    // The injected failure of a call that returns its code (the registry) or
    // leaves the last error alone (the text calls): the code, 0 for none.
    DWORD InjectedCode(const std::string& operation, const std::string& argument) {
        DWORD code = 0;
        return Fails(operation, argument, &code) ? code : 0;
    }
    // A call's own refusal: the last error, and the value that says "failed".
    template <typename Result>
    Result Error(DWORD code, Result failed) {
        lastError = code;
        return failed;
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
        security.erase(Upper(file->path));
        Retire(files, deletedFiles, file);
    }
    // Opens `file` as CreateFile does once the path is resolved: sharing
    // with the other opens, and writing refused to a read-only file.
    FileHandle OpenEntry(File* file, DWORD access, DWORD shareMode);

    // --- Security (security.cpp) ---
    std::map<std::string, SecurityInfo> security;  // described or set, by upper-cased path
    std::set<std::string> junctions;               // upper-cased folder paths
    std::map<std::string, VolumeInfo> volumes;     // by upper-cased drive ("C:")
    std::string processUserSid = kSidRunningAdministrator;
    std::map<std::uintptr_t, std::string> folderHandles;  // folders opened to look at
    // What GetSecurityInfo reports for the file or folder at `path`.
    SecurityInfo EffectiveSecurity(const std::string& path) const;
    VolumeInfo VolumeOf(const std::string& path) const;
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
    // The set's handle and the device's position, as EnumDeviceInfo leaves
    // them in Reserved.
    static std::uintptr_t ElementToken(DevInfoSet set, std::size_t position) {
        return (static_cast<std::uintptr_t>(set) << 20) | (position + 1);
    }
    Device* ElementOf(DevInfoSet set, const DevInfoData* data) {
        if (!data || data->cbSize != sizeof(DevInfoData)) return nullptr;
        if ((data->Reserved >> 20) != static_cast<std::uintptr_t>(set)) return nullptr;
        const std::size_t position = data->Reserved & 0xFFFFF;
        if (position == 0 || position > devices.size()) return nullptr;
        Device* device = devices[position - 1].get();
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
    // A deleted service's key goes with it, as the service control manager
    // removes it.
    void ReleaseService(Service* service) {
        if (--service->openHandles > 0 || !service->markedForDeletion || service->driverLoaded) return;
        RemoveKeyTree(kServicesRoot + service->name);
        Retire(services, deletedServices, service);
    }
    void RemoveKeyTree(const std::string& path) {
        const std::string upper = Upper(path);
        for (auto it = keys.begin(); it != keys.end();) {
            const std::string other = Upper((*it)->path);
            if (other == upper || other.compare(0, upper.size() + 1, upper + "\\") == 0) {
                keyIndex.erase(other);
                // Kept allocated: a handle still open on it reads an orphan, as on Windows.
                deletedKeys.push_back(std::move(*it));
                it = keys.erase(it);
            } else {
                ++it;
            }
        }
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

}  // namespace vk::sim
