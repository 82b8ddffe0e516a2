#include "TextRules.h"

#include <limits>

namespace relvane {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string_view TrimBlanksAndControls(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string CutToCodePoints(std::string_view text, size_t maxCodePoints) {
    size_t position = 0;
    for (size_t count = 0; count < maxCodePoints && position < text.size(); ++count) {
        ++position;
        // Continuation bytes (10xxxxxx) belong to the code point just started.
        while (position < text.size() && (static_cast<unsigned char>(text[position]) & 0xC0) == 0x80) ++position;
    }
    return std::string(text.substr(0, position));
}

std::optional<int32_t> ParseSignedDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace relvane
