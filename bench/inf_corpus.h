// Generated OEM INF files for the benchmarks: sizes spread evenly on a
// logarithmic scale between 2 KB and 200 KB (most INF files are small, a few
// large), and text that reads like a driver package of other makers: many
// hardware IDs, registry lines, file lists and comments, in mixed case. No
// file names a reader, so every file is read whole and searched to its end.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace vk::bench {

constexpr std::size_t kSmallestInf = 2 * 1024;
constexpr std::size_t kLargestInf = 200 * 1024;

// `count` file sizes from `seed`. With `total` not 0 they are scaled (within
// the bounds) so that they add up to `total` bytes.
inline std::vector<std::size_t> InfSizes(std::size_t count, std::uint32_t seed, std::size_t total = 0) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> exponent(std::log(double(kSmallestInf)),
                                                    std::log(double(kLargestInf)));
    std::vector<double> raw(count);
    for (double& size : raw) size = std::exp(exponent(random));
    double scale = 1.0;
    std::vector<std::size_t> sizes(count);
    for (int pass = 0; pass < 20; ++pass) {
        std::size_t sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const double scaled =
                std::min(std::max(raw[i] * scale, double(kSmallestInf)), double(kLargestInf));
            sizes[i] = static_cast<std::size_t>(scaled);
            sum += sizes[i];
        }
        if (total == 0 || sum == total || sum == 0) break;
        scale *= double(total) / double(sum);
    }
    // The rounding rest goes to files with room for it.
    if (total != 0) {
        std::size_t sum = 0;
        for (std::size_t size : sizes) sum += size;
        for (std::size_t i = 0; i < count && sum != total; ++i) {
            if (sum < total) {
                const std::size_t add = std::min(total - sum, kLargestInf - sizes[i]);
                sizes[i] += add;
                sum += add;
            } else {
                const std::size_t cut = std::min(sum - total, sizes[i] - kSmallestInf);
                sizes[i] -= cut;
                sum -= cut;
            }
        }
    }
    return sizes;
}

// An INF text of exactly `size` bytes from `seed`.
inline std::string InfText(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](unsigned n) { return static_cast<unsigned>(random() % n); };
    // Vendor IDs of other makers; never the readers' C2B5.
    const auto vendor = [&]() {
        unsigned id = 0;
        do id = pick(0x10000);
        while (id == 0xC2B5);
        return id;
    };
    std::string text =
        "; Copyright (c) Contoso Devices. All rights reserved.\r\n"
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Ports\r\n"
        "ClassGuid={4D36E978-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Mfg%\r\nDriverVer=06/21/"
        "2019,2.12.28.0\r\n"
        "CatalogFile=contoso.cat\r\n\r\n[Manufacturer]\r\n%Mfg%=Devices,NTamd64\r\n\r\n[Devices.NTamd64]\r\n";
    char line[160];
    while (text.size() < size) {
        int length = 0;
        switch (pick(8)) {
            case 0:
            case 1:
            case 2:
                length = std::snprintf(line, sizeof line,
                                       "%%Dev%u.Desc%%=Install%u, USB\\VID_%04X&PID_%04X&MI_%02X\r\n",
                                       pick(1000), pick(40), vendor(), pick(0x10000), pick(16));
                break;
            case 3:
                length =
                    std::snprintf(line, sizeof line, "%%dev%u.desc%%=install%u, usb\\vid_%04x&pid_%04x\r\n",
                                  pick(1000), pick(40), vendor(), pick(0x10000));
                break;
            case 4:
                length =
                    std::snprintf(line, sizeof line, "HKR,,PortSubClass,%%REG_BINARY%%,%02X ; setting %u\r\n",
                                  pick(256), pick(100));
                break;
            case 5:
                length =
                    std::snprintf(line, sizeof line, "ctsser%u.sys,,,0x%08X\r\n", pick(100), pick(0x100000));
                break;
            case 6:
                length = std::snprintf(line, sizeof line,
                                       "; Revision %u: support for the model %u, fixes for hubs\r\n",
                                       pick(500), pick(9000));
                break;
            default:
                length =
                    std::snprintf(line, sizeof line, "Dev%u.Desc=\"Contoso USB Serial Port (COM%u)\"\r\n",
                                  pick(1000), pick(64));
                break;
        }
        text.append(line, static_cast<std::size_t>(length));
    }
    text.resize(size);
    return text;
}

}  // namespace vk::bench
