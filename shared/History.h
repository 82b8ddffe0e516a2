#pragma once
// The history list of server texts, shared by the relay and the remote client.
//
// File rules (ParseHistory): the text is split into lines at CR, at LF and at
// the pair CR LF; every line is one entry in file order, an empty line too.
// A last line without a line end counts; a line end at the very end adds no
// empty entry; a NUL character ends the text. Entries are kept unchanged and
// duplicates are not removed.
//
// Insertion rule (HistoryList::Add): search from the top for an entry equal to
// the text, ignoring letter case (non-ASCII letters included); if none is
// found the text becomes the first entry, otherwise nothing changes. The text
// is not trimmed; an empty text is inserted like any other, once.

#include <string>
#include <string_view>
#include <vector>

namespace relvane {

std::vector<std::string> ParseHistory(std::string_view text);

// The entries of a history file; an empty list when it cannot be opened.
std::vector<std::string> LoadHistoryFile(const std::string& path);

// Case-insensitive equality of two UTF-8 texts, by Unicode simple case folding.
bool SameHistoryText(std::string_view a, std::string_view b);

class HistoryList {
public:
    HistoryList() = default;
    explicit HistoryList(std::vector<std::string> entries) : Entries(std::move(entries)) {}

    // Returns true when the text was inserted as the first entry.
    bool Add(const std::string& text);
    const std::vector<std::string>& Items() const { return Entries; }

private:
    std::vector<std::string> Entries;
};

}  // namespace relvane
