#pragma once
// Plain restatements of the number rules of the settings files and the port
// field, written without the library's helpers, so that the fuzz targets
// compare two independent readings of the same text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace relvane::fuzz {

inline bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

inline bool IsHexDigit(char c) {
    return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Strips leading zeros; an all-zero text becomes "0".
inline std::string_view WithoutLeadingZeros(std::string_view digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

// An optional sign and one or more decimal digits, value in the signed
// 32-bit range; nothing else.
inline std::optional<int32_t> ReferenceSignedDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (!IsDecimalDigit(c)) return std::nullopt;
    const std::string_view digits = WithoutLeadingZeros(text);
    if (digits.size() > 10) return std::nullopt;  // beyond any 32-bit value
    long long value = std::stoll(std::string(digits));
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

// The settings files' integer: "0x"/"0X" before more text becomes "$"; then
// leading blanks; then a signed decimal, or "$" and hex digits fitting in 32
// bits, read as a signed 32-bit number.
inline std::optional<int32_t> ReferenceIniInteger(std::string_view text) {
    std::string replaced(text);
    if (replaced.size() > 2 && replaced[0] == '0' && (replaced[1] == 'x' || replaced[1] == 'X'))
        replaced = "$" + replaced.substr(2);
    const size_t start = replaced.find_first_not_of(' ');
    if (start == std::string::npos) return std::nullopt;
    const std::string_view rest = std::string_view(replaced).substr(start);
    if (rest.front() != '$') return ReferenceSignedDecimal(rest);
    const std::string_view hex = rest.substr(1);
    if (hex.empty()) return std::nullopt;
    for (char c : hex)
        if (!IsHexDigit(c)) return std::nullopt;
    const std::string_view digits = WithoutLeadingZeros(hex);
    if (digits.size() > 8) return std::nullopt;  // more than 32 bits
    return static_cast<int32_t>(static_cast<uint32_t>(std::stoul(std::string(digits), nullptr, 16)));
}

// The port field: trimmed of every character up to the blank at both ends,
// read as a signed decimal, 26000 when unreadable, low 16 bits.
inline uint16_t ReferencePortFieldValue(std::string_view text) {
    auto isBlankOrControl = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back())) text.remove_suffix(1);
    const int32_t value = ReferenceSignedDecimal(text).value_or(26000);
    return static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFF);
}

}  // namespace relvane::fuzz
