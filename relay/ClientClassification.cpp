#include "relay/ClientClassification.h"

namespace relvane {
namespace {

std::string ControlRequestLine(uint8_t command, size_t receivedLength, const std::string& sourceText,
                               uint16_t sourcePort) {
    const std::string from = sourceText + " Port " + std::to_string(sourcePort);
    switch (command) {
        case 1: return "Connection Request from " + from;
        case 2: return "Server Info Request from " + from;
        case 3: return "Player Info Request from " + from;
        case 4: return "Rule Info Request from " + from;
        default:
            // "Länge" is German for length; the line is UTF-8.
            return "Unknown Message from Client " + std::to_string(command) + " " + from + " L\u00e4nge " +
                   std::to_string(receivedLength);
    }
}

}  // namespace

ClientVerdict ClassifyClientDatagram(std::span<const uint8_t> gameData, size_t receivedLength,
                                     const std::string& sourceText, uint16_t sourcePort) {
    const uint8_t kind = ByteAt(gameData, 0);
    if (kind == 'b') return {ClientDatagramKind::QuakeWorldConnect, "Quake World Connection Request from Client"};
    if (kind >= 'a' && kind <= 'z') return {ClientDatagramKind::Forward, "Quake World Request from Client"};
    if (kind == 0xA0) return {ClientDatagramKind::RemoteControl, ""};
    if (kind == ControlPacketByte)
        return {ClientDatagramKind::Forward, ControlRequestLine(ByteAt(gameData, 4), receivedLength, sourceText, sourcePort)};
    return {ClientDatagramKind::Forward, ""};
}

}  // namespace relvane
