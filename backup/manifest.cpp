#include "backup/manifest.h"

#include <cstdlib>

#include "backup/folder_io.h"

namespace vk {

namespace {

const char* const kHeader = "VelkorUSBCleaner backup 1";
const char* const kKinds[] = {"file", "package", "service", "device"};
const char* const kOutcomes[] = {"planned", "saved", "deleted", "not-deleted", "kept"};

template <typename Enum, std::size_t N>
bool Named(const std::string& text, const char* const (&names)[N], Enum* value) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            *value = static_cast<Enum>(i);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ManifestText(const std::vector<ManifestEntry>& entries) {
    std::string text = std::string(kHeader) + "\r\n";
    for (const ManifestEntry& entry : entries) {
        text += std::string(kKinds[static_cast<int>(entry.kind)]) + "\t" + entry.source + "\t" +
                entry.savedAs + "\t" + kOutcomes[static_cast<int>(entry.outcome)] + "\t" +
                std::to_string(entry.code) + "\r\n";
    }
    return text;
}

bool ReadManifest(const std::string& text, std::vector<ManifestEntry>* entries) {
    entries->clear();
    bool header = false;
    for (const std::string& line : TextLines(text)) {
        if (!header) {
            if (line != kHeader) return false;
            header = true;
            continue;
        }
        if (line.empty()) continue;
        std::vector<std::string> fields;
        for (std::size_t at = 0;;) {
            const std::size_t tab = line.find('\t', at);
            fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        ManifestEntry entry;
        if (fields.size() != 5 || !Named(fields[0], kKinds, &entry.kind) ||
            !Named(fields[3], kOutcomes, &entry.outcome) || fields[1].empty()) {
            return false;
        }
        entry.source = fields[1];
        entry.savedAs = fields[2];
        entry.code = static_cast<DWORD>(std::strtoul(fields[4].c_str(), nullptr, 10));
        entries->push_back(std::move(entry));
    }
    return header;
}

}  // namespace vk
