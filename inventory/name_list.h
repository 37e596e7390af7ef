// A list of strings with stable positions: entries are emptied in place and
// never removed one by one, so a record's positions stay valid for the pass.
#pragma once

#include <cstddef>
#include <list>
#include <optional>
#include <string>

namespace vk {

class CNameList {
public:
    using Position = std::list<std::string>::iterator;
    using const_iterator = std::list<std::string>::const_iterator;

    Position AddTail(const std::string& name) { return m_names.insert(m_names.end(), name); }
    void EmptyAt(Position position) { position->clear(); }
    // First entry equal to `name`, byte for byte.
    std::optional<Position> Find(const std::string& name) {
        for (auto it = m_names.begin(); it != m_names.end(); ++it) {
            if (*it == name) return it;
        }
        return std::nullopt;
    }
    void RemoveAll() { m_names.clear(); }
    std::size_t GetCount() const { return m_names.size(); }
    bool IsEmpty() const { return m_names.empty(); }
    std::list<std::string>::const_iterator begin() const { return m_names.begin(); }
    std::list<std::string>::const_iterator end() const { return m_names.end(); }

private:
    std::list<std::string> m_names;
};

}  // namespace vk
