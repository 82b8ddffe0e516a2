#include "IniSettings.h"

#include <fstream>
#include <iterator>
#include <limits>

#include "TextRules.h"

namespace relvane {
namespace {

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<int32_t> ParseHexadecimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

}  // namespace

std::optional<int32_t> ParseIniInteger(std::string_view text) {
    std::string replaced;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        replaced.push_back('$');
        replaced.append(text.substr(2));
        text = replaced;
    }
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '$') return ParseHexadecimal(text.substr(1));
    return ParseSignedDecimal(text);
}

IniSettings IniSettings::Parse(std::string_view text) {
    IniSettings settings;
    std::string section;
    bool inSection = false;
    for (std::string_view line : SplitLines(text)) {
        line = TrimBlanksAndControls(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            section = std::string(TrimBlanksAndControls(line.substr(1, close - 1)));
            inSection = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        const std::string_view key = TrimBlanksAndControls(line.substr(0, equals));
        const std::string_view value = Unquote(TrimBlanksAndControls(line.substr(equals + 1)));
        settings.Entries.push_back({section, std::string(key), CutToCodePoints(value, IniTextLimit)});
    }
    return settings;
}

IniSettings IniSettings::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return IniSettings();
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return Parse(text);
}

std::optional<std::string> IniSettings::Find(std::string_view section, std::string_view key) const {
    for (const Entry& entry : Entries)
        if (EqualsIgnoringAsciiCase(entry.Section, section) && EqualsIgnoringAsciiCase(entry.Key, key))
            return entry.Value;
    return std::nullopt;
}

std::string IniSettings::ReadString(std::string_view section, std::string_view key,
                                    const std::string& fallback) const {
    return CutToCodePoints(Find(section, key).value_or(fallback), IniTextLimit);
}

int32_t IniSettings::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
    const std::optional<std::string> text = Find(section, key);
    if (!text) return fallback;
    return ParseIniInteger(*text).value_or(fallback);
}

bool IniSettings::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

uint16_t IniSettings::ReadPort(std::string_view section, std::string_view key, uint16_t fallback) const {
    return static_cast<uint16_t>(ReadInteger(section, key, fallback) & 0xFFFF);
}

}  // namespace relvane
