#pragma once
// Small text helpers shared by the settings, history and port-field rules.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relvane {

// Splits a text into lines at CR, at LF and at the pair CR LF. A last line
// without a line end counts; a line end at the very end adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text);

// Removes characters up to and including the blank (control characters and
// blanks) at both ends.
std::string_view TrimBlanksAndControls(std::string_view text);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// The first maxCodePoints UTF-8 code points of text (a byte that is not valid
// UTF-8 counts as one).
std::string CutToCodePoints(std::string_view text, size_t maxCodePoints);

// An optional sign and decimal digits whose value lies in the signed 32-bit
// range; nothing else (no blanks).
std::optional<int32_t> ParseSignedDecimal(std::string_view text);

}  // namespace relvane
