// A device's hardware-ID multi-string as the device reports it: any bytes,
// any size, terminated or not. Input: one byte of options (bit 0: code page
// 932; bit 1: a reader follows the fuzzed device), then the property's data.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "inventory/inventory.h"
#include "platform/simulated/simulated.h"

namespace {

using namespace vk;

// The strings of a multi-string: the pieces between zero bytes, the last
// one possibly unterminated, up to the first empty piece.
std::vector<std::string> Strings(const std::string& data) {
    std::vector<std::string> pieces(1);
    for (char c : data) {
        if (c == '\0') {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    std::vector<std::string> strings;
    for (const std::string& piece : pieces) {
        if (piece.empty()) break;
        strings.push_back(piece);
    }
    return strings;
}

std::string Upper(IPlatform& platform, std::string text) {
    if (!text.empty()) platform.CharUpperBuff(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool HasRevisionMark(const std::string& id) {
    return id.size() >= 26 && id.compare(22, 4, "REV_") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    const unsigned options = bytes[0];
    const std::string data(reinterpret_cast<const char*>(bytes + 1), size - 1);

    sim::SimulatedWorkstation ws;
    if (options & 1) ws.SetCodePage(sim::CodePage::DoubleByte932);
    ws.AddDevice("USB\\VID_FFFF&PID_FFFF\\fuzzed").Property(SPDRP_HARDWAREID, sim::Raw(REG_MULTI_SZ, data));
    const bool readerFollows = (options & 2) != 0;
    if (readerFollows) {
        ws.AddDevice("USB\\VID_C2B5&PID_000B\\next")
            .HardwareIds({"USB\\VID_C2B5&PID_000B&REV_0001", "USB\\VID_C2B5&PID_000B"});
    }

    CDeviceInventory inventory(ws);
    fuzz::LogToSink(inventory);
    const int result = inventory.EnumerateTargetDevices(TargetTable());

    if (data.size() > kPropertyBufferSize) {
        // Does not fit the buffer: the enumeration ends, later devices unseen.
        FUZZ_CHECK(result == -1);
        FUZZ_CHECK(inventory.m_devices.empty());
    } else {
        sim::SimulatedWorkstation oracle;
        if (options & 1) oracle.SetCodePage(sim::CodePage::DoubleByte932);
        std::vector<std::string> ids;
        for (const std::string& id : Strings(data)) ids.push_back(Upper(oracle, id));
        bool selected = false;
        for (const std::string& target : TargetTable()) {
            for (const std::string& id : ids)
                selected = selected || id.compare(0, target.size(), target) == 0;
        }

        FUZZ_CHECK(result == 0);
        FUZZ_CHECK(inventory.m_devices.size() == (selected ? 1u : 0u) + (readerFollows ? 1u : 0u));
        FUZZ_CHECK(inventory.m_infNames.GetCount() == inventory.m_devices.size());
        FUZZ_CHECK(inventory.m_serviceNames.GetCount() == inventory.m_devices.size());
        if (readerFollows) {
            FUZZ_CHECK(std::strcmp(inventory.m_devices.back()->pszHardwareId.text(), "VID_C2B5&PID_000B") ==
                       0);
        }
        if (selected) {
            const CLEAN_DEVINFO& record = *inventory.m_devices.front();
            FUZZ_CHECK(record.element()->DevInst == 1);
            // The first string without the revision mark, less "USB\"; a
            // shorter one gives the empty string; none, no hardware ID.
            const std::string* chosen = nullptr;
            for (const std::string& id : ids) {
                if (!HasRevisionMark(id)) {
                    chosen = &id;
                    break;
                }
            }
            FUZZ_CHECK(record.pszHardwareId.present() == (chosen != nullptr));
            if (chosen) {
                const std::string expected = chosen->size() < 4 ? std::string() : chosen->substr(4);
                FUZZ_CHECK(record.pszHardwareId.text() == expected);
                FUZZ_CHECK(record.pszHardwareId.size() == expected.size() + 1);
            }
        }
    }

    inventory.ReleaseInventory();
    FUZZ_CHECK(ws.LiveHeapBlocks() == 0);
    FUZZ_CHECK(ws.OpenHandles() == 0);
    return 0;
}
