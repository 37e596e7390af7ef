#include "backup/reg_file.h"

#include <cstdio>

namespace vk {

namespace {

const std::u16string kHeader = u"Windows Registry Editor Version 5.00";
const std::u16string kLineEnd = u"\r\n";
// regedit continues a hex list on a new line, indented by two spaces, once a
// line has reached this many characters, so that no line passes 80.
constexpr std::size_t kHexLineLimit = 76;

std::u16string Ascii(const char* text) {
    std::u16string wide;
    for (; *text != '\0'; ++text) wide += static_cast<char16_t>(*text);
    return wide;
}

// Quotes and backslashes are escaped; every other character stands as it is.
std::u16string Quoted(const std::u16string& text) {
    std::u16string quoted = u"\"";
    for (char16_t c : text) {
        if (c == u'"' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    return quoted + u"\"";
}

std::u16string Utf16Of(const std::vector<std::uint8_t>& data, std::size_t bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes; i += 2)
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return text;
}

// A string value that the quoted form gives back exactly: whole characters,
// one terminating null and none before it, no line break.
bool QuotableString(const RegFileValue& value) {
    const std::size_t size = value.data.size();
    if (size < 2 || size % 2 != 0) return false;
    const std::u16string text = Utf16Of(value.data, size);
    if (text.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == 0 || text[i] == u'\r' || text[i] == u'\n') return false;
    }
    return true;
}

std::u16string HexList(std::u16string line, const std::vector<std::uint8_t>& data) {
    std::u16string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        char byte[3];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        line += Ascii(byte);
        if (i + 1 == data.size()) break;
        line += u',';
        if (line.size() >= kHexLineLimit) {
            out += line + u"\\" + kLineEnd;
            line = u"  ";
        }
    }
    return out + line;
}

std::u16string ValueLine(const RegFileValue& value) {
    const std::u16string head = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
    if (value.type == REG_SZ && QuotableString(value)) {
        std::u16string text = Utf16Of(value.data, value.data.size());
        text.pop_back();
        return head + Quoted(text);
    }
    if (value.type == REG_DWORD && value.data.size() == 4) {
        char word[16];
        const unsigned number =
            static_cast<unsigned>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                  (static_cast<unsigned>(value.data[3]) << 24));
        std::snprintf(word, sizeof word, "dword:%08x", number);
        return head + Ascii(word);
    }
    if (value.type == REG_BINARY) return HexList(head + u"hex:", value.data);
    char kind[24];
    std::snprintf(kind, sizeof kind, "hex(%x):", static_cast<unsigned>(value.type));
    return HexList(head + Ascii(kind), value.data);
}

// --- Reading ----------------------------------------------------------------

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ParseNumber(const std::u16string& text, std::size_t from, std::size_t to, unsigned long* number) {
    if (from >= to || to - from > 8) return false;
    *number = 0;
    for (std::size_t i = from; i < to; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) return false;
        *number = *number * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

// A quoted text from `at` (on its opening quote); `at` ends after the closing one.
bool ParseQuoted(const std::u16string& line, std::size_t* at, std::u16string* text) {
    if (*at >= line.size() || line[*at] != u'"') return false;
    text->clear();
    for (std::size_t i = *at + 1; i < line.size(); ++i) {
        if (line[i] == u'\\' && i + 1 < line.size()) {
            *text += line[++i];
        } else if (line[i] == u'"') {
            *at = i + 1;
            return true;
        } else {
            *text += line[i];
        }
    }
    return false;
}

bool ParseHexBytes(const std::u16string& text, std::size_t from, std::vector<std::uint8_t>* data) {
    data->clear();
    std::size_t i = from;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
        if (i == text.size()) break;
        if (i + 2 > text.size()) return false;
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        data->push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
        while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
        if (i < text.size()) {
            if (text[i] != u',') return false;
            ++i;
        }
    }
    return true;
}

bool ParseValue(const std::u16string& line, RegFileValue* value) {
    std::size_t at = 0;
    value->name.clear();
    if (!line.empty() && line[0] == u'@') {
        at = 1;
    } else if (!ParseQuoted(line, &at, &value->name)) {
        return false;
    }
    if (at >= line.size() || line[at] != u'=') return false;
    ++at;
    if (at < line.size() && line[at] == u'"') {
        std::u16string text;
        if (!ParseQuoted(line, &at, &text) || at != line.size()) return false;
        value->type = REG_SZ;
        value->data.clear();
        for (char16_t c : text) {
            value->data.push_back(static_cast<std::uint8_t>(c & 0xFF));
            value->data.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        value->data.push_back(0);
        value->data.push_back(0);
        return true;
    }
    const std::u16string rest = line.substr(at);
    if (rest.compare(0, 6, u"dword:") == 0) {
        unsigned long number = 0;
        if (rest.size() != 14 || !ParseNumber(rest, 6, rest.size(), &number)) return false;
        value->type = REG_DWORD;
        value->data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                       static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        return true;
    }
    if (rest.compare(0, 4, u"hex:") == 0) {
        value->type = REG_BINARY;
        return ParseHexBytes(rest, 4, &value->data);
    }
    if (rest.compare(0, 4, u"hex(") == 0) {
        const std::size_t close = rest.find(u"):");
        unsigned long type = 0;
        if (close == std::u16string::npos || !ParseNumber(rest, 4, close, &type)) return false;
        value->type = static_cast<DWORD>(type);
        return ParseHexBytes(rest, close + 2, &value->data);
    }
    return false;
}

}  // namespace

std::vector<std::uint8_t> WriteRegFile(const std::vector<RegFileKey>& keys) {
    std::u16string text = kHeader + kLineEnd + kLineEnd;
    for (const RegFileKey& key : keys) {
        text += u"[" + key.path + u"]" + kLineEnd;
        for (const RegFileValue& value : key.values) text += ValueLine(value) + kLineEnd;
        text += kLineEnd;
    }
    std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

bool ReadRegFile(const std::vector<std::uint8_t>& bytes, std::vector<RegFileKey>* keys) {
    keys->clear();
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE || bytes.size() % 2 != 0) return false;
    std::vector<std::uint8_t> body(bytes.begin() + 2, bytes.end());
    const std::u16string text = Utf16Of(body, body.size());

    // Lines, with a continued hex list joined to its first line.
    std::vector<std::u16string> lines;
    std::u16string pending;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        if (!pending.empty()) {
            const std::size_t first = line.find_first_not_of(u" \t");
            line = pending + (first == std::u16string::npos ? std::u16string() : line.substr(first));
            pending.clear();
        }
        if (!line.empty() && line.back() == u'\\' && line.find(u"=hex") != std::u16string::npos) {
            line.pop_back();
            pending = line;
            continue;
        }
        lines.push_back(line);
    }
    if (!pending.empty()) return false;
    if (lines.empty() || lines[0] != kHeader) return false;

    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::u16string& line = lines[i];
        if (line.empty()) continue;
        if (line[0] == u'[') {
            if (line.back() != u']' || line.size() < 3) return false;
            keys->push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        RegFileValue value;
        if (keys->empty() || !ParseValue(line, &value)) return false;
        keys->back().values.push_back(std::move(value));
    }
    return true;
}

}  // namespace vk
