// Reading a settings file of any content: the keys the programs ask for and
// every section and key name the file itself contains, read as text, integer,
// boolean and port; and the integer rule on its own.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ReferenceNumberRules.h"
#include "shared/IniSettings.h"

namespace {

using relvane::IniSettings;
using NamePair = std::pair<std::string, std::string>;

constexpr size_t MaxNamesFromFile = 24;

// Fallbacks that no value can equal both of, to tell a missing key apart.
const std::string FallbackA = "\x01missing-a";
const std::string FallbackB = "\x01missing-b";

// Code points as the text limit counts them: a byte that does not continue
// a UTF-8 sequence starts one (the first byte always does).
size_t CountCodePoints(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (i == 0 || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
    return count;
}

std::string_view TrimToPrintable(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

std::string FlipAsciiCase(std::string_view text) {
    std::string flipped(text);
    for (char& c : flipped) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return flipped;
}

// The names the programs read, and a rough scan of the file for more.
std::vector<NamePair> NamesToRead(std::string_view text) {
    std::vector<NamePair> names;
    for (const char* key : {"RemotePort", "LocalPort", "RemoteHost", "Debug", "TCPIP", "IPX", "ProxyPort", "ProxyHost"})
        names.emplace_back("Proxy", key);
    std::string section;
    size_t start = 0;
    while (start <= text.size() && names.size() < MaxNamesFromFile) {
        const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        const std::string_view line = TrimToPrintable(text.substr(start, end - start));
        start = end + 1;
        const size_t close = line.find(']');
        if (!line.empty() && line.front() == '[' && close != std::string_view::npos) {
            section = std::string(TrimToPrintable(line.substr(1, close - 1)));
        } else if (const size_t equals = line.find('='); equals != std::string_view::npos) {
            names.emplace_back(section, std::string(TrimToPrintable(line.substr(0, equals))));
        }
    }
    return names;
}

void CheckKey(const IniSettings& settings, const std::string& section, const std::string& key) {
    const std::string readA = settings.ReadString(section, key, FallbackA);
    const std::string readB = settings.ReadString(section, key, FallbackB);
    const bool present = !(readA == FallbackA && readB == FallbackB);
    const std::optional<std::string> value = present ? std::optional<std::string>(readA) : std::nullopt;
    if (value) {
        FUZZ_CHECK(readA == readB);
        FUZZ_CHECK(CountCodePoints(*value) <= relvane::IniTextLimit);
        FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);  // a value never spans lines
    }
    // Names match whatever the letter case.
    FUZZ_CHECK(settings.ReadString(FlipAsciiCase(section), FlipAsciiCase(key), FallbackA) == readA);

    for (const int32_t fallback : {26000, -123456789}) {
        const int32_t expected = value ? relvane::ParseIniInteger(*value).value_or(fallback) : fallback;
        FUZZ_CHECK(settings.ReadInteger(section, key, fallback) == expected);
    }
    for (const bool fallback : {false, true}) {
        const bool expected = value ? relvane::ParseIniInteger(*value).value_or(fallback ? 1 : 0) != 0 : fallback;
        FUZZ_CHECK(settings.ReadBool(section, key, fallback) == expected);
    }
    const int32_t portInteger = settings.ReadInteger(section, key, 26000);
    FUZZ_CHECK(settings.ReadPort(section, key, 26000) == static_cast<uint16_t>(portInteger & 0xFFFF));
}

// Only blanks, a sign, "$", hex digits and the "0x" prefix can make an
// integer; where the library accepts one, the reference must agree.
void CheckIniInteger(std::string_view text) {
    const std::optional<int32_t> parsed = relvane::ParseIniInteger(text);
    FUZZ_CHECK(parsed == relvane::fuzz::ReferenceIniInteger(text));
    if (!parsed) return;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hexPrefix = i == 1 && text[0] == '0' && (c == 'x' || c == 'X');
        FUZZ_CHECK(c == ' ' || c == '+' || c == '-' || c == '$' || relvane::fuzz::IsHexDigit(c) || hexPrefix);
    }
}

// Raw bytes rarely form an integer; the same input mapped onto the
// characters that matter reaches the readable texts and the limits.
std::string MapOntoIntegerCharacters(std::string_view text) {
    static constexpr std::string_view Alphabet = "0123456789012345678901234567890abcdefABCDEF  +-$$xXg";
    std::string mapped(text.size(), ' ');
    for (size_t i = 0; i < text.size(); ++i) mapped[i] = Alphabet[static_cast<unsigned char>(text[i]) % Alphabet.size()];
    return mapped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const IniSettings settings = IniSettings::Parse(text);
    for (const auto& [section, key] : NamesToRead(text)) CheckKey(settings, section, key);

    CheckIniInteger(text);
    CheckIniInteger(MapOntoIntegerCharacters(text));
    return 0;
}
