// The OEM INF scan over INF files of fuzzed content, on both code pages of
// the simulated workstation, against a reference: upper-case the text (up to
// its first zero byte) under the code page, then look for any of the five
// reader IDs at a character boundary. Input: one byte of options (bit 0:
// code page 932), then up to eight files separated by 0x01, each one byte of
// flags (bit 0 read-only, bit 1 held open by another program, bit 2 named
// outside oem*.inf, bit 3 without a PNF twin, bit 4 published in the driver
// store) and its content.
#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/cleanup.h"
#include "fuzz_support.h"
#include "platform/simulated/simulated.h"

namespace {

using namespace vk;

const char* const kReaderIds[] = {
    "USB\\VID_C2B5&PID_000A", "USB\\VID_C2B5&PID_000B", "USB\\VID_C2B5&PID_000C",
    "USB\\VID_C2B5&PID_000E", "USB\\VID_C2B5&PID_0005",
};

bool IsLeadByte932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool NamesAReader(IPlatform& oracle, bool doubleByte, const std::string& content) {
    std::string text = content.substr(0, content.find('\0'));
    if (!text.empty()) oracle.CharUpperBuff(&text[0], static_cast<DWORD>(text.size()));
    std::vector<bool> boundary(text.size(), !doubleByte);
    if (doubleByte) {
        for (std::size_t i = 0; i < text.size();
             i += IsLeadByte932(static_cast<unsigned char>(text[i])) ? 2 : 1) {
            boundary[i] = true;
        }
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!boundary[i]) continue;
        for (const char* id : kReaderIds) {
            if (text.compare(i, std::char_traits<char>::length(id), id) == 0) return true;
        }
    }
    return false;
}

struct InfFile {
    std::string inf;
    std::string pnf;
    unsigned flags;
    bool matches;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const bool doubleByte = (bytes[0] & 1) != 0;
    std::vector<std::string> fields =
        fuzz::Fields(std::string(reinterpret_cast<const char*>(bytes + 1), size - 1));
    if (fields.size() > 8) fields.resize(8);

    sim::SimulatedWorkstation ws;
    sim::SimulatedWorkstation oracle;
    if (doubleByte) {
        ws.SetCodePage(sim::CodePage::DoubleByte932);
        oracle.SetCodePage(sim::CodePage::DoubleByte932);
    }
    std::vector<InfFile> files;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        const unsigned flags = fields[k].empty() ? 0 : static_cast<unsigned char>(fields[k][0]);
        const std::string content = fields[k].empty() ? std::string() : fields[k].substr(1);
        const std::string stem =
            std::string("C:\\Windows\\inf\\") + ((flags & 4) ? "setup" : "oem") + std::to_string(k + 1);
        InfFile file{stem + ".inf", (flags & 8) ? std::string() : stem + ".pnf", flags, false};
        // Only a file that the search finds and can open is examined.
        file.matches = (flags & 6) == 0 && NamesAReader(oracle, doubleByte, content);
        sim::File& inf = ws.AddFile(file.inf, content);
        if (flags & 1) inf.ReadOnly();
        if (flags & 2) inf.HeldOpen();
        if (!file.pnf.empty()) ws.AddFile(file.pnf, "PNF");
        if (flags & 16) ws.AddDriverPackage(file.inf.substr(file.inf.rfind('\\') + 1));
        files.push_back(file);
    }

    CCleanupActions actions(ws);
    fuzz::LogToSink(actions);
    // No other device: nothing is kept for one.
    actions.CollectOutsideUses();
    const int result = actions.ScanOemInfs("C:\\Windows\\inf\\oem*.inf");

    // Matching files go with their twins (through the store when published
    // there), in the search's order (by name); nothing else is touched.
    std::vector<std::string> expectedDeletions;
    bool anyMatch = false;
    for (const InfFile& file : files) {
        FUZZ_CHECK(ws.HasFile(file.inf) != file.matches);
        if (!file.pnf.empty()) FUZZ_CHECK(ws.HasFile(file.pnf) != file.matches);
        const std::string name = file.inf.substr(file.inf.rfind('\\') + 1);
        if (file.flags & 16) FUZZ_CHECK(ws.HasDriverPackage(name) != file.matches);
        if (!file.matches) continue;
        anyMatch = true;
        if (file.flags & 16) {
            expectedDeletions.push_back("UninstallOEMInf " + name);
            continue;
        }
        expectedDeletions.push_back("DeleteFile " + file.inf);
        if (!file.pnf.empty()) expectedDeletions.push_back("DeleteFile " + file.pnf);
    }
    std::vector<std::string> deletions;
    for (const std::string& call : ws.Calls()) {
        if (call.compare(0, 11, "DeleteFile ") == 0 || call.compare(0, 16, "UninstallOEMInf ") == 0) {
            deletions.push_back(call);
        }
    }
    FUZZ_CHECK(deletions == expectedDeletions);
    FUZZ_CHECK(result == (anyMatch ? 0 : -1));
    FUZZ_CHECK(ws.LiveHeapBlocks() == 0);
    FUZZ_CHECK(ws.OpenHandles() == 0);
    return 0;
}
