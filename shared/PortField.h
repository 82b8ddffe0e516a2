#pragma once
// The value of a port field, for every reader of the port text: the text with
// blanks and control characters removed at both ends, read as a decimal
// integer (optional sign, signed 32-bit range); an empty or unreadable text
// (digits with a blank between them, for instance) gives 26000; the result is
// the low 16 bits of the number, so 70000 gives 4464 and -1 gives 65535.

#include <cstdint>
#include <string_view>

namespace relvane {

inline constexpr uint16_t DefaultPort = 26000;

uint16_t PortFieldValue(std::string_view portText);

}  // namespace relvane
