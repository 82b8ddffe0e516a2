// The port field's value, for every text a user, a settings file or a
// remote-control set could leave in it, against a plain reference reading.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ReferenceNumberRules.h"
#include "shared/PortField.h"

namespace {

// Raw bytes rarely form a number; the same input mapped onto the characters
// that matter to the rule reaches the readable texts and the range limits.
std::string MapOntoNumberCharacters(const uint8_t* data, size_t size) {
    static constexpr char Alphabet[] = "0123456789012345678901234567890123456789 +-\t\n\r\x01" "a";
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i) text[i] = Alphabet[data[i] % (sizeof(Alphabet) - 1)];
    return text;
}

void CheckPortField(const std::string& text) {
    FUZZ_CHECK(relvane::PortFieldValue(text) == relvane::fuzz::ReferencePortFieldValue(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckPortField(std::string(reinterpret_cast<const char*>(data), size));
    CheckPortField(MapOntoNumberCharacters(data, size));
    return 0;
}
