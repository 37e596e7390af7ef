// What an elevated program may trust where it writes, or reads back what it
// will put back with administrator rights: a folder or file owned by SYSTEM,
// Administrators, TrustedInstaller or the account it runs as, that nobody
// else may write to (or into), that is no link, on a volume that keeps
// security. Standard users may create folders in %ProgramData% and files in
// %WINDIR%\Temp and own what they create there; whatever they prepared in
// such a place before the program runs is refused, before any change.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace vk {

enum class Distrust {
    None,
    Unreadable,      // its security could not be read (`code` says why)
    Link,            // a reparse point: a symbolic link or a junction
    HardLinks,       // a file with other names
    ForeignOwner,    // owned by someone else
    OthersMayWrite,  // someone else may write to it, or to what is made in it
    NoSecurity,      // on a volume that keeps no security (FAT32, exFAT)
};

struct TrustCheck {
    Distrust why = Distrust::None;
    std::string path;  // what was refused
    DWORD code = 0;    // the system's code, for Unreadable
    bool Trusted() const { return why == Distrust::None; }
};

// What was refused, named, with why, then `consequence` (a string resource:
// what the program does not do for it).
std::string RefusalText(IPlatform& platform, const TrustCheck& refusal, unsigned consequence);

// Where the program's own folders begin for `folder`: the VelkorUSBCleaner
// folder of %ProgramData% when `folder` is that one or below it, else `folder`.
std::string ProgramFolderAbove(IPlatform& platform, const std::string& folder);

class CTrust {
public:
    // Reads the account the program runs as once; unknown, it is not trusted.
    explicit CTrust(IPlatform& platform);

    // The volume of `path` keeps security (`path` need not exist).
    TrustCheck Volume(const std::string& path);
    // An existing folder: no junction, trusted owner, nobody else may write.
    TrustCheck Folder(const std::string& path);
    // A file opened with CreateFileNoFollow: plain (no link) with one name,
    // and with `security`, owned and protected as a trusted folder must be.
    TrustCheck OpenedFile(FileHandle file, const std::string& path, bool security);
    // An existing file, opened for reading to be looked at.
    TrustCheck File(const std::string& path);

    // The folders from `top` down to `folder` (`top` is `folder` or one
    // above it), on a volume that keeps security, each one checked; one
    // that is missing is Unreadable with the system's code.
    TrustCheck Folders(const std::string& top, const std::string& folder);
    // The same chain (`top` is `folder` or one above
    // it), on a volume that keeps security: each one that exists is checked
    // first, then the missing ones are created with the program's own
    // security. Nothing is created when a check fails; *createCode is the
    // creation's error code, 0 once all are there.
    TrustCheck PrepareFolders(const std::string& top, const std::string& folder, DWORD* createCode);

private:
    // Checks each folder of `chain` that exists, from the top; *missing is
    // the first that does not (chain.size() when all do).
    TrustCheck Existing(const std::vector<std::string>& chain, std::size_t* missing, DWORD* createCode);
    TrustCheck Judge(const SecurityInfo& security, const std::string& path) const;
    bool TrustedOwner(const std::string& sid) const;

    IPlatform& m_platform;
    std::string m_account;
};

}  // namespace vk
