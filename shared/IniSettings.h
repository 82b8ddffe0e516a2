#pragma once
// Reading the programs' INI settings files (section "Proxy").
//
// Rules:
//  - A line "[name]" opens a section; "key=value" inside it sets a key. Blanks
//    around names and values are ignored; a value wrapped in matching double or
//    single quotes loses them. Lines beginning with ';' and lines without '='
//    are ignored. Lines end at CR, LF or CR LF.
//  - Section and key names match without regard to ASCII letter case; when a
//    section or key appears twice, the first one counts.
//  - A missing file, section or key gives the caller's default.
//  - Text values are cut to at most 1023 characters (UTF-8 code points).
//  - Integers: see ParseIniInteger. Booleans are integers with 0 for a default
//    of false and 1 for a default of true: 0 is false, any other number true.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relvane {

inline constexpr size_t IniTextLimit = 1023;

// A text longer than two characters that begins with "0x" or "0X" has these
// replaced by "$". Then: optional leading blanks, then either an optional sign
// and decimal digits within the signed 32-bit range, or "$" and hexadecimal
// digits whose value fits in 32 bits (taken as signed). Anything else,
// the empty text and a sign before "$" included, is unreadable.
std::optional<int32_t> ParseIniInteger(std::string_view text);

class IniSettings {
public:
    static IniSettings Parse(std::string_view text);
    // A file that cannot be read gives empty settings: every key its default.
    static IniSettings Load(const std::string& path);

    std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
    bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
    // The low 16 bits of the integer read.
    uint16_t ReadPort(std::string_view section, std::string_view key, uint16_t fallback) const;

private:
    struct Entry {
        std::string Section;
        std::string Key;
        std::string Value;
    };
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::vector<Entry> Entries;
};

}  // namespace relvane
