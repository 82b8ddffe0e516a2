#include "History.h"

#include <clocale>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <locale.h>

#include "TextRules.h"

namespace relvane {
namespace {

// Decodes one UTF-8 code point at position; a byte that does not start a
// valid sequence stands for itself (as a value above the Unicode range, so it
// only ever equals the same byte).
char32_t NextCodePoint(std::string_view text, size_t& position) {
    const auto lead = static_cast<unsigned char>(text[position]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || position + length > text.size()) {
        ++position;
        return 0x110000 + lead;
    }
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[position + i]);
        if ((next & 0xC0) != 0x80) {
            ++position;
            return 0x110000 + lead;
        }
        value = (value << 6) | (next & 0x3F);
    }
    position += length;
    return value;
}

// Case mapping independent of the process locale: C.UTF-8 maps every Unicode
// letter; created once and never freed (it lives as long as the program).
wint_t FoldCase(char32_t codePoint) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (codePoint >= 0x110000) return static_cast<wint_t>(codePoint);
    if (utf8 == static_cast<locale_t>(nullptr)) return std::towlower(static_cast<wint_t>(codePoint));
    return towlower_l(static_cast<wint_t>(codePoint), utf8);
}

}  // namespace

std::vector<std::string> ParseHistory(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string> entries;
    for (std::string_view line : SplitLines(text)) entries.emplace_back(line);
    return entries;
}

std::vector<std::string> LoadHistoryFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return ParseHistory(text);
}

bool SameHistoryText(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size())
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
    return i == a.size() && j == b.size();
}

bool HistoryList::Add(const std::string& text) {
    for (const std::string& entry : Entries)
        if (SameHistoryText(entry, text)) return false;
    Entries.insert(Entries.begin(), text);
    return true;
}

}  // namespace relvane
