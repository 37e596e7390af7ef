// The simulated process: its own path and command line, other programs it
// starts, WOW64 and the standard streams.
#include <algorithm>
#include <cstring>

#include "platform/simulated/state.h"

namespace vk::sim {

DWORD SimulatedWorkstation::GetModuleFileName(char* buffer, DWORD size) {
    if (m_state->Injected("GetModuleFileName", "")) return 0;
    const std::string& path = m_state->modulePath;
    if (!buffer || size == 0) return 0;
    DWORD length = static_cast<DWORD>(std::min<std::size_t>(path.size(), size - 1));
    std::memcpy(buffer, path.data(), length);
    buffer[length] = '\0';
    if (length < path.size()) return m_state->Error(ERROR_INSUFFICIENT_BUFFER, size);
    return length;
}

void SimulatedWorkstation::GetCommandLineTail(std::string* tail) {
    ++m_state->callCounts["GetCommandLineTail"];
    m_state->allCalls.push_back("GetCommandLineTail");
    if (tail) *tail = m_state->commandLineTail;
}

bool SimulatedWorkstation::RunProcess(const char* application, const char* commandLine, DWORD* exitCode) {
    std::string app = application ? application : "";
    std::string line = commandLine ? commandLine : "";
    if (m_state->Injected("RunProcess", app)) return false;
    if (DWORD error = m_state->CheckPath(app)) return m_state->Error(error, false);
    if (!m_state->FindFileEntry(app)) return m_state->Error(ERROR_FILE_NOT_FOUND, false);
    auto program = m_state->programs.find(Upper(app));
    if (program == m_state->programs.end()) {
        m_state->lastError = 193;  // ERROR_BAD_EXE_FORMAT: a file that is no program
        return false;
    }
    m_state->calls.push_back("RunProcess " + app + " | " + line);
    if (exitCode) *exitCode = program->second;
    return true;
}

bool SimulatedWorkstation::IsWow64() {
    if (m_state->Injected("IsWow64", "")) return false;
    return m_state->wow64;
}

bool SimulatedWorkstation::WriteStandardStream(StandardStream stream, const char* data, std::size_t length) {
    if (m_state->Injected("WriteStandardStream", stream == StandardStream::Output ? "output" : "error"))
        return false;
    if (!m_state->standardStreams) return m_state->Error(ERROR_INVALID_HANDLE, false);
    std::string& target = stream == StandardStream::Output ? m_state->standardOutput : m_state->standardError;
    target.append(data, length);
    return true;
}

}  // namespace vk::sim
