// Reading a history file of any content, and building the history list from
// its entries and their case variants.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "shared/History.h"

namespace {

// The comparison is quadratic; a few dozen texts show every ordering problem.
constexpr size_t MaxTextsAdded = 48;

// The text up to its first NUL with every line end (CR, LF, CR LF) made LF.
std::string NormalisedLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::string lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lines += text[i];
        }
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& entries) {
    std::string joined;
    for (size_t i = 0; i < entries.size(); ++i) joined += (i > 0 ? "\n" : "") + entries[i];
    return joined;
}

std::string WithAsciiCase(std::string text, bool upper) {
    for (char& c : text) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

void CheckParsedEntries(std::string_view text, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) FUZZ_CHECK(entry.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);

    // One entry per line end, plus a last line without one; joining the
    // entries gives the lines back, less a line end at the very end.
    const std::string lines = NormalisedLines(text);
    const size_t lineEnds = static_cast<size_t>(std::count(lines.begin(), lines.end(), '\n'));
    const bool openLastLine = !lines.empty() && lines.back() != '\n';
    FUZZ_CHECK(entries.size() == lineEnds + (openLastLine ? 1 : 0));
    const std::string withoutFinalEnd = openLastLine || lines.empty() ? lines : lines.substr(0, lines.size() - 1);
    FUZZ_CHECK(Joined(entries) == withoutFinalEnd);
    if (!entries.empty()) FUZZ_CHECK(relvane::ParseHistory(Joined(entries) + "\n") == entries);
}

void CheckHistoryInsertion(const std::vector<std::string>& entries) {
    std::vector<std::string> texts;
    for (const std::string& entry : entries) {
        if (texts.size() >= MaxTextsAdded) break;
        texts.push_back(entry);
        texts.push_back(WithAsciiCase(entry, true));
        texts.push_back(WithAsciiCase(entry, false));
    }

    relvane::HistoryList history;
    for (const std::string& text : texts) {
        // Same text in any letter case, and the relation is symmetric.
        FUZZ_CHECK(relvane::SameHistoryText(text, text));
        FUZZ_CHECK(relvane::SameHistoryText(text, WithAsciiCase(text, true)));
        FUZZ_CHECK(relvane::SameHistoryText(WithAsciiCase(text, false), text));
        const std::vector<std::string> before = history.Items();
        const bool known = std::any_of(before.begin(), before.end(),
                                       [&](const std::string& entry) { return relvane::SameHistoryText(entry, text); });
        const bool inserted = history.Add(text);
        FUZZ_CHECK(inserted == !known);
        if (inserted) {
            FUZZ_CHECK(history.Items().size() == before.size() + 1 && history.Items().front() == text);
            FUZZ_CHECK(std::equal(before.begin(), before.end(), history.Items().begin() + 1));
        } else {
            FUZZ_CHECK(history.Items() == before);
        }
    }

    const std::vector<std::string>& items = history.Items();
    for (size_t i = 0; i < items.size(); ++i)
        for (size_t j = i + 1; j < items.size(); ++j) {
            FUZZ_CHECK(!relvane::SameHistoryText(items[i], items[j]));
            FUZZ_CHECK(!relvane::SameHistoryText(items[j], items[i]));
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> entries = relvane::ParseHistory(text);
    CheckParsedEntries(text, entries);
    CheckHistoryInsertion(entries);
    return 0;
}
