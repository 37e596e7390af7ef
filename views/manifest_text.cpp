#include "views/manifest_text.h"

namespace vk {

namespace {

// The action that removes what a save kept a copy of.
RunAction RemovalOf(RunAction save) {
    switch (save) {
        case RunAction::SavePackage:
            return RunAction::UninstallInf;
        case RunAction::SaveService:
            return RunAction::DeleteService;
        case RunAction::SaveDevice:
            return RunAction::RemoveDevice;
        default:
            return RunAction::DeleteFile;
    }
}

ManifestEntry::Kind KindOf(RunAction save) {
    switch (save) {
        case RunAction::SavePackage:
            return ManifestEntry::Kind::Package;
        case RunAction::SaveService:
            return ManifestEntry::Kind::Service;
        case RunAction::SaveDevice:
            return ManifestEntry::Kind::Device;
        default:
            return ManifestEntry::Kind::File;
    }
}

}  // namespace

std::vector<ManifestEntry> ManifestEntries(const CRunRecord& record) {
    const std::vector<RunEntry>& entries = record.Entries();
    std::vector<ManifestEntry> manifest;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RunEntry& save = entries[i];
        if (!IsSave(save.action)) continue;
        ManifestEntry item;
        item.kind = KindOf(save.action);
        item.source = save.subject;
        if (save.outcome == RunOutcome::Failed) {
            item.outcome = ManifestEntry::Outcome::Kept;
            item.code = save.code;
        } else {
            item.savedAs = save.copy;
            item.outcome = save.outcome == RunOutcome::Planned ? ManifestEntry::Outcome::Planned
                                                               : ManifestEntry::Outcome::Saved;
            // The removal comes after its save, before the next save of the same item.
            for (std::size_t j = i + 1; j < entries.size(); ++j) {
                const RunEntry& next = entries[j];
                if (next.subject != save.subject) continue;
                if (next.action == save.action) break;
                if (next.action != RemovalOf(save.action)) continue;
                if (next.outcome == RunOutcome::Done) item.outcome = ManifestEntry::Outcome::Deleted;
                if (next.outcome == RunOutcome::Failed) {
                    item.outcome = ManifestEntry::Outcome::NotDeleted;
                    item.code = next.code;
                }
                break;
            }
        }
        manifest.push_back(std::move(item));
    }
    return manifest;
}

std::string ManifestText(const CRunRecord& record) {
    return ManifestText(ManifestEntries(record));
}

}  // namespace vk
