#include "backup/manifest.h"

#include <cstdlib>
#include <map>

#include "backup/folder_io.h"

namespace vk {

namespace {

const char* const kHeader1 = "VelkorUSBCleaner backup 1";
const char* const kHeader2 = "VelkorUSBCleaner backup 2";
// What ends every complete line of version 2.
const char* const kMarker = "\t.\r\n";
const char* const kKinds[] = {"file", "package", "service", "device"};
// Version 1's outcome words, in the order of ManifestEntry::Outcome.
const char* const kOutcomes1[] = {"planned", "saved", "deleted", "not-deleted", "kept"};

const char* OutcomeWord(ManifestEntry::Outcome outcome) {
    switch (outcome) {
        case ManifestEntry::Outcome::Deleted:
            return "deleted";
        case ManifestEntry::Outcome::NotDeleted:
            return "not-deleted";
        case ManifestEntry::Outcome::LeftToRestart:
            return "restart";
        case ManifestEntry::Outcome::Untouched:
            return "untouched";
        default:
            return "saved";
    }
}

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

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) break;
        at = tab + 1;
    }
    return fields;
}

// A decimal number, all of the field.
bool Number(const std::string& text, std::uint64_t* value) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

bool IsDigest(const std::string& text) {
    return text.size() == 2 * kSha256Size && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string Line(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) line += field + "\t";
    line.pop_back();
    return line + kMarker;
}

bool ReadVersion1(const std::vector<std::string>& lines, Manifest* manifest) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty()) continue;
        const std::vector<std::string> fields = Fields(line);
        ManifestEntry entry;
        if (fields.size() != 5 || !Named(fields[0], kKinds, &entry.kind) ||
            !Named(fields[3], kOutcomes1, &entry.outcome) || fields[1].empty()) {
            return false;
        }
        entry.source = fields[1];
        // Written once the pass was over, when every copy was whole: there
        // is no size or digest to check it by.
        if (!fields[2].empty()) entry.copies.push_back({fields[2], 0, std::string()});
        entry.code = static_cast<DWORD>(std::strtoul(fields[4].c_str(), nullptr, 10));
        manifest->entries.push_back(std::move(entry));
    }
    return true;
}

// One complete line of version 2 (its marker taken off); false when it
// cannot be read.
bool ReadLine2(const std::string& line, Manifest* manifest, std::map<std::uint64_t, std::size_t>* byNumber) {
    const std::vector<std::string> fields = Fields(line);
    std::uint64_t number = 0;
    if (fields.size() < 2 || !Number(fields[0], &number) || number == 0) return false;
    const std::string& type = fields[1];
    if (type == "save" || type == "kept") {
        ManifestEntry entry;
        entry.number = static_cast<std::size_t>(number);
        if (fields.size() < 4 || !Named(fields[2], kKinds, &entry.kind) || fields[3].empty() ||
            byNumber->count(number))
            return false;
        entry.source = fields[3];
        if (type == "kept") {
            std::uint64_t code = 0;
            if (fields.size() != 5 || !Number(fields[4], &code)) return false;
            entry.outcome = ManifestEntry::Outcome::Kept;
            entry.code = static_cast<DWORD>(code);
        } else {
            if (fields.size() < 7 || (fields.size() - 4) % 3 != 0) return false;
            for (std::size_t at = 4; at < fields.size(); at += 3) {
                SavedCopy copy;
                copy.path = fields[at];
                copy.sha256 = fields[at + 2];
                if (copy.path.empty() || !Number(fields[at + 1], &copy.size) || !IsDigest(copy.sha256))
                    return false;
                entry.copies.push_back(std::move(copy));
            }
        }
        (*byNumber)[number] = manifest->entries.size();
        manifest->entries.push_back(std::move(entry));
        return true;
    }
    const auto known = byNumber->find(number);
    if (known == byNumber->end()) return false;
    ManifestEntry& entry = manifest->entries[known->second];
    if (entry.outcome == ManifestEntry::Outcome::Kept) return false;
    if (type == "restoring" || type == "restored") {
        if (fields.size() != 2) return false;
        (type == "restored" ? entry.restored : entry.restoring) = true;
        return true;
    }
    std::uint64_t code = 0;
    if (fields.size() != 3 || !Number(fields[2], &code)) return false;
    for (ManifestEntry::Outcome outcome :
         {ManifestEntry::Outcome::Deleted, ManifestEntry::Outcome::NotDeleted,
          ManifestEntry::Outcome::LeftToRestart, ManifestEntry::Outcome::Untouched}) {
        if (type == OutcomeWord(outcome)) {
            // The last line about an item says what became of it.
            entry.outcome = outcome;
            entry.code = static_cast<DWORD>(code);
            return true;
        }
    }
    return false;
}

}  // namespace

const std::string& ManifestEntry::SavedAs() const {
    static const std::string kNone;
    return copies.empty() ? kNone : copies.front().path;
}

std::string ManifestHeader() {
    return std::string(kHeader2) + "\r\n";
}

std::string SaveLine(std::size_t number, ManifestEntry::Kind kind, const std::string& source,
                     const std::vector<SavedCopy>& copies) {
    std::vector<std::string> fields = {std::to_string(number), "save", kKinds[static_cast<int>(kind)],
                                       source};
    for (const SavedCopy& copy : copies) {
        fields.push_back(copy.path);
        fields.push_back(std::to_string(copy.size));
        fields.push_back(copy.sha256);
    }
    return Line(fields);
}

std::string KeptLine(std::size_t number, ManifestEntry::Kind kind, const std::string& source, DWORD code) {
    return Line(
        {std::to_string(number), "kept", kKinds[static_cast<int>(kind)], source, std::to_string(code)});
}

std::string OutcomeLine(std::size_t number, ManifestEntry::Outcome outcome, DWORD code) {
    return Line({std::to_string(number), OutcomeWord(outcome), std::to_string(code)});
}

std::string RestoreLine(std::size_t number, bool done) {
    return Line({std::to_string(number), done ? "restored" : "restoring"});
}

bool ReadManifest(const std::string& text, Manifest* manifest) {
    manifest->entries.clear();
    const std::size_t firstEnd = text.find('\n');
    std::string header = text.substr(0, firstEnd);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    if (header == kHeader1) {
        manifest->version = 1;
        return ReadVersion1(TextLines(text), manifest);
    }
    if (header != kHeader2 || firstEnd == std::string::npos) return false;
    manifest->version = 2;
    std::map<std::uint64_t, std::size_t> byNumber;
    const std::string marker = kMarker;
    for (std::size_t start = firstEnd + 1; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        // The last line without its end was being written when the run stopped.
        if (end == std::string::npos) break;
        const std::string line = text.substr(start, end + 1 - start);
        start = end + 1;
        // A line without its marker is one a cut-short write left, ended
        // by the next writer: nothing was done on its account.
        if (line.size() < marker.size() ||
            line.compare(line.size() - marker.size(), marker.size(), marker) != 0 ||
            line.find('\0') != std::string::npos)
            continue;
        if (!ReadLine2(line.substr(0, line.size() - marker.size()), manifest, &byNumber)) return false;
    }
    return true;
}

DWORD CManifestFile::Create(const std::string& path) {
    m_file.reset();
    m_file.emplace(m_platform,
                   m_platform.CreateFile(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW));
    if (!m_file->valid()) {
        const DWORD code = m_platform.GetLastError();
        m_file.reset();
        return code;
    }
    const DWORD code = Append(ManifestHeader(), true);
    if (code != 0) {
        // Not a manifest without its header: the next run may try again.
        m_file.reset();
        m_platform.DeleteFile(path.c_str());
    }
    return code;
}

DWORD CManifestFile::OpenToAppend(const std::string& path, const std::string& text) {
    m_file.reset();
    m_file.emplace(m_platform,
                   m_platform.CreateFile(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_EXISTING));
    if (!m_file->valid()) {
        const DWORD code = m_platform.GetLastError();
        m_file.reset();
        return code;
    }
    if (!text.empty() && text.back() != '\n') return Append("\r\n", false);
    return 0;
}

DWORD CManifestFile::Append(const std::string& line, bool flush) {
    if (!m_file) return ERROR_INVALID_HANDLE;
    DWORD written = 0;
    // One write a line: a line is never split between two of them.
    if (!m_platform.WriteFile(m_file->get(), line.data(), static_cast<DWORD>(line.size()), &written))
        return m_platform.GetLastError();
    if (written != line.size()) return ERROR_HANDLE_EOF;
    m_unflushed = true;
    return flush ? Flush() : 0;
}

DWORD CManifestFile::Flush() {
    if (!m_file) return ERROR_INVALID_HANDLE;
    if (!m_unflushed) return 0;
    if (!m_platform.FlushFileBuffers(m_file->get())) return m_platform.GetLastError();
    m_unflushed = false;
    return 0;
}

}  // namespace vk
