// Registry values and device properties of any type, bytes and size, read
// through the property readers and their checked string reads. Input: one
// byte of options, then fields separated by 0x01: ProviderName, InfPath, the
// driver key, the class, the lower filters and the service. A missing field
// is an absent value or property; an empty field is an empty value, but an
// absent property.
//   options: bits 0-2 ProviderName's type, bits 3-5 InfPath's type, bit 6
//            the class key refuses full access, bit 7 the driver key is fuzzed
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "inventory/inventory.h"
#include "platform/simulated/simulated.h"

namespace {

using namespace vk;

constexpr DWORD kTypes[8] = {REG_NONE,     REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD,
                             REG_MULTI_SZ, 11,     0x8000};
const std::string kSlot = "{4d36e978-e325-11ce-bfc1-08002be10318}\\0001";

// What the checked read gives for `data` of `type` read with `capacity`:
// true with the text when it is a properly terminated string that fits.
bool ReadsAsString(DWORD type, const std::string& data, DWORD capacity, std::string* text) {
    text->clear();
    if (data.size() > capacity) return false;
    if (data.empty()) return true;
    const std::size_t n = data.size();
    bool terminated = false;
    if (type == REG_SZ || type == REG_EXPAND_SZ) terminated = data[n - 1] == '\0';
    if (type == REG_MULTI_SZ) terminated = data[n - 1] == '\0' && (n < 2 || data[n - 2] == '\0');
    if (terminated) *text = data.c_str();
    return terminated;
}

// A property read into 260 bytes: its text up to the first zero, or nothing.
bool PropertyText(const std::vector<std::string>& fields, std::size_t index, std::string* text) {
    if (index >= fields.size() || fields[index].empty() || fields[index].size() > kPropertyBufferSize)
        return false;
    *text = fields[index].substr(0, fields[index].find('\0'));
    return true;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return text;
}

bool IsSimpleInfName(const std::string& name) {
    if (name.size() <= 4 || AsciiUpper(name.substr(name.size() - 4)) != ".INF") return false;
    for (std::size_t i = 0; i + 4 < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'))
            return false;
    }
    return true;
}

void CheckPropertyReads(std::uint8_t options, const std::vector<std::string>& fields) {
    sim::SimulatedWorkstation ws;
    const DWORD providerType = kTypes[options & 7];
    const DWORD infType = kTypes[(options >> 3) & 7];
    const bool refused = (options & 0x40) != 0;
    const bool fuzzedDriver = (options & 0x80) != 0;

    sim::RegistryKey& key = ws.AddClassKey(kSlot);
    if (refused) key.RefuseFullAccess();
    if (!fields.empty()) key.Value("ProviderName", sim::Raw(providerType, fields[0]));
    if (fields.size() > 1) key.Value("InfPath", sim::Raw(infType, fields[1]));
    sim::Device& device = ws.AddDevice("USB\\VID_C2B5&PID_000A\\1").HardwareIds({"USB\\VID_C2B5&PID_000A"});
    std::vector<std::string> properties(fields.begin() + std::min<std::size_t>(2, fields.size()),
                                        fields.end());
    if (!fuzzedDriver) {
        const std::string slot = kSlot + std::string(1, '\0');
        if (properties.empty()) {
            properties.push_back(slot);
        } else {
            properties[0] = slot;
        }
    }
    const DWORD codes[] = {SPDRP_DRIVER, SPDRP_CLASS, SPDRP_LOWERFILTERS, SPDRP_SERVICE};
    for (std::size_t i = 0; i < properties.size() && i < 4; ++i) {
        if (!properties[i].empty())
            device.Property(codes[i], sim::Raw(i == 2 ? REG_MULTI_SZ : REG_SZ, properties[i]));
    }

    CDeviceInventory inventory(ws);
    fuzz::LogToSink(inventory);
    FUZZ_CHECK(inventory.EnumerateTargetDevices(TargetTable()) == 0);
    FUZZ_CHECK(inventory.m_devices.size() == 1);
    const CLEAN_DEVINFO& record = *inventory.m_devices.front();

    std::string driverKey;
    std::string path;
    std::string inf;
    // Unless the provider is read as the maker's, the service may be another's.
    bool maker = false;
    if (PropertyText(properties, 0, &driverKey)) {
        path = std::string(kClassKeyRoot) + "\\" + driverKey;
        std::string provider;
        const bool opens = !refused && AsciiUpper(driverKey) == AsciiUpper(kSlot);
        maker = opens && !fields.empty() && ReadsAsString(providerType, fields[0], 260, &provider) &&
                AsciiUpper(provider) == "VELKOR";
        if (maker && fields.size() > 1) ReadsAsString(infType, fields[1], 50, &inf);
    }
    FUZZ_CHECK(record.pszClassKeyPath.text() == path);
    FUZZ_CHECK(record.foreignProvider == !maker);
    // The name read, or none; a plain oemNN.inf-like name is always kept.
    const std::string infName = record.pszInfName.text();
    FUZZ_CHECK(infName == inf || infName.empty());
    if (IsSimpleInfName(inf)) FUZZ_CHECK(infName == inf);
    FUZZ_CHECK(record.pszInfName.size() >= infName.size() + 1 && infName.size() < 50);

    std::string className;
    PropertyText(properties, 1, &className);
    FUZZ_CHECK(record.pszClassName.text() == className);
    std::string service;
    if (!className.empty() && className != "USB" && !PropertyText(properties, 2, &service)) {
        PropertyText(properties, 3, &service);
    }
    FUZZ_CHECK(record.pszServiceName.text() == service);
    FUZZ_CHECK(*record.posInfName == infName && *record.posServiceName == service);

    inventory.ReleaseInventory();
    FUZZ_CHECK(ws.LiveHeapBlocks() == 0);
    FUZZ_CHECK(ws.OpenHandles() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return 0;
    CheckPropertyReads(bytes[0],
                       fuzz::Fields(std::string(reinterpret_cast<const char*>(bytes + 1), size - 1)));
    return 0;
}
