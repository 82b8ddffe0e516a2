#include "PortField.h"

#include "TextRules.h"

namespace relvane {

uint16_t PortFieldValue(std::string_view portText) {
    const std::optional<int32_t> value = ParseSignedDecimal(TrimBlanksAndControls(portText));
    return static_cast<uint16_t>(value.value_or(DefaultPort) & 0xFFFF);
}

}  // namespace relvane
