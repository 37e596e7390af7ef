// What a run did or would do, in order: the readers it selected and each
// action with its outcome. The plan, the log's activity entries, the detection
// line and the report are all written from it, so they cannot disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vk {

// What the plan shows of a selected device.
struct SelectedDevice {
    std::string instanceId;
    std::string hardwareId;
    std::string className;
    std::string infName;
    std::string serviceName;
};

// A new kind of action goes here and into each view: the report names every
// kind (its switch has no default, so the compiler points at it) and so does
// views/report.schema.json.
enum class RunAction {
    RemoveDevice,       // subject: instance ID
    SetFileAttributes,  // subject: full path; `attributes` is the word written
    SetFileTimes,       // subject: full path
    DeleteFile,         // subject: full path
    DeleteService,      // subject: service name
    UninstallInf,       // a published INF out of the driver store; subject: its name
    DeleteAtRestart,    // a file in use; subject: full path
    RemoveInf,          // an INF known by name (package, INF and PNF); subject: its name
    ScanInfFolder,      // the oem*.inf files are searched by content; subject: instance ID
    MatchInf,           // an INF file found to name a reader; subject: full path
    // A backup's copy of what the action after it removes; subject: the item
    // (path, published INF name, service name, instance ID), `copy` where it
    // went, relative to the backup folder.
    SaveFile,
    SavePackage,
    SaveService,
    SaveDevice,
    RestoreItem,  // a restore's; subject: the item as the backup's manifest names it
    // A System Restore point around the pass; subject: its description,
    // `number` its sequence number. Kept when Windows gave an earlier point's
    // (it makes one a day).
    CreateRestorePoint,
    EndRestorePoint,
    CancelRestorePoint,  // nothing changed: the point is removed
    // The Application log's source, on first use; subject: its key.
    RegisterEventSource,
    WriteEvent,  // subject: the source; `number` the event ID
};

enum class RunOutcome {
    Planned,  // a dry run would do it
    Done,
    Failed,  // `code` says why
    Kept,    // not done on purpose: `reason` (a string resource) says why, `keptBy` names what holds it
};

struct RunEntry {
    static RunEntry Done(RunAction action, std::string subject, std::uint32_t attributes = 0);
    static RunEntry Failed(RunAction action, std::string subject, std::uint32_t code);
    static RunEntry Kept(RunAction action, std::string subject, unsigned reason, std::string keptBy = {});

    RunAction action = RunAction::DeleteFile;
    std::string subject;
    RunOutcome outcome = RunOutcome::Done;
    std::uint32_t code = 0;
    unsigned reason = 0;
    std::string keptBy;
    std::uint32_t attributes = 0;
    std::string copy;
    std::int64_t number = 0;
};

// Whether the action is one of a backup's saves.
bool IsSave(RunAction action);

// Whether the action changes the workstation (the others only read it).
bool ChangesWorkstation(RunAction action);

// Whether the action is one of the restore point's, which protect the
// workstation rather than clean it.
bool IsRestorePoint(RunAction action);

// Told of each addition as it is made, so a stream such as the log keeps its
// order with the messages written between two actions.
class IRunRecordObserver {
public:
    virtual void DeviceSelected(const SelectedDevice& device) = 0;
    virtual void EntryAdded(const RunEntry& entry) = 0;

protected:
    ~IRunRecordObserver() = default;
};

class CRunRecord {
public:
    // Recording is off until a view asks for it, so that a run nobody reads
    // makes no call to name what it changes. A planning record turns the
    // changes reported as done into planned ones.
    void Start(bool planning, IRunRecordObserver* observer = nullptr);
    bool On() const { return m_on; }
    bool Planning() const { return m_planning; }

    void AddDevice(SelectedDevice device);
    void Add(RunEntry entry);
    // Kept whether or not recording is on: the exit status depends on it.
    void NeedRestart() { m_restartNeeded = true; }

    const std::vector<SelectedDevice>& Devices() const { return m_devices; }
    const std::vector<RunEntry>& Entries() const { return m_entries; }
    bool RestartNeeded() const { return m_restartNeeded; }
    // The changes a pass would make (or made), as the plan counts them.
    std::size_t ChangeCount() const;
    // Whether a cleaning change was made (or planned) by the entries from
    // `first` on: a restore point or a backup's copy is none.
    bool ChangedFrom(std::size_t first) const;

private:
    bool m_on = false;
    bool m_planning = false;
    bool m_restartNeeded = false;
    IRunRecordObserver* m_observer = nullptr;
    std::vector<SelectedDevice> m_devices;
    std::vector<RunEntry> m_entries;
};

}  // namespace vk
