// The diagnostic log and the message catalogue's building blocks.
#pragma once

#include <cstdint>
#include <string>

#include "diag/run_record.h"
#include "platform/platform.h"

namespace vk {

// Values of the message-box icon flags MB_ICONERROR and MB_ICONINFORMATION.
enum LogLevel : std::uint32_t { LogLevelError = 16, LogLevelInfo = 64 };

// Sets `target` to `pattern` expanded by the platform's message formatting
// with `insert` as %1 (a null insert counts as the empty name). Should the
// formatting fail, `target` is set to the insert alone, so the message still
// names its subject.
void ExpandMessagePattern(IPlatform& platform, std::string& target, const char* pattern, const char* insert);

// The two patterns of the catalogue.
constexpr const char* kPatternNameColon = "%1% : ";
constexpr const char* kPatternServiceHead = " %1% :\n";

// The text of a string resource of the program (empty when absent).
std::string LoadResourceString(IPlatform& platform, unsigned id, int bufferMax = 256);

class CDiagnosticLog {
public:
    explicit CDiagnosticLog(IPlatform& platform) : m_platform(platform) {}

    // An entry of the failure messages: with a code, the text, a line end and
    // the system's text for the code (or the code in hexadecimal where the
    // system has none); without one, the text alone, as composed.
    void Log(std::uint32_t errorCode, const std::string& text, std::uint32_t level);
    // The same for the program's own entries, which begin on a line of their
    // own when the entry before them ended without a line end.
    void LogOwnEntry(std::uint32_t errorCode, const std::string& text, std::uint32_t level);

    // Off by default; the /log switch turns it on.
    bool m_logEnabled = false;
    // The log file, open for appending on m_logFiles (the platform the log
    // was made with when null). Each entry goes to it as it is made, so that
    // a run that ends at any instant leaves what it did written.
    FileHandle m_logFile = kInvalidFileHandle;
    IFileSystem* m_logFiles = nullptr;
    // Whether a logged pass also writes what it did (devices removed, files
    // and services deleted, what was kept and why). Off for a dry run, whose
    // deletions are only planned.
    bool m_logActivity = true;

    // True when the activity entries are to be written.
    bool ActivityLogged() const { return m_logEnabled && m_logFile != kInvalidFileHandle && m_logActivity; }
    // True when the run's actions are recorded; callers check it before
    // gathering what an entry names, so a run nobody reads makes no extra calls.
    bool Recording() const { return m_record.On(); }
    void Record(RunEntry entry) { m_record.Add(std::move(entry)); }

    // What the run did, for every view of it.
    CRunRecord m_record;

protected:
    // Hands a composed message to Log with the last error as its code. The
    // text is composed first, so the code is read after composition.
    void LogWithLastError(const std::string& text, std::uint32_t level);

    IPlatform& m_platform;

private:
    void WriteEntry(std::uint32_t errorCode, const std::string& text, std::uint32_t level, bool freshLine);
    void WriteToFile(const std::string& entry);

    // Whether the last entry written ended without a line end.
    bool m_lineOpen = false;
};

}  // namespace vk
