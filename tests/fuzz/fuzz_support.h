// What the fuzz targets share: a check that stops the run with the failed
// condition (libFuzzer then keeps the input), fuzzed fields cut from one
// input, and a log file that swallows what is written.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diag/log.h"
#include "platform/simulated/simulated.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace vk::fuzz {

// The input's fields, separated by the byte 0x01 so that seeds can be
// written by hand; an absent field (fewer separators) is not the same as an
// empty one.
inline std::vector<std::string> Fields(const std::string& input) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = input.find('\x01', start);
        fields.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

// The log switched on into a sink, so that every message is composed and
// every system text fetched, as with a real log.
inline void LogToSink(CDiagnosticLog& log) {
    // A workstation of its own, whose file the entries go to and that is
    // emptied now and then, so that a long fuzzing run does not grow it.
    static sim::SimulatedWorkstation disk;
    static const FileHandle sink =
        disk.CreateFileNoFollow("C:\\sink.log", FILE_APPEND_DATA, FILE_SHARE_READ, CREATE_NEW, 0);
    static unsigned entries = 0;
    if (++entries % 1024 == 0) disk.ForgetCalls();
    disk.AddFile("C:\\sink.log");
    log.m_logFile = sink;
    log.m_logFiles = &disk;
    log.m_logEnabled = sink != kInvalidFileHandle;
}

}  // namespace vk::fuzz
