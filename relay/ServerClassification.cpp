#include "relay/ServerClassification.h"

#include <cstring>

#include "relay/ClientClassification.h"

namespace relvane {
namespace {

ServerVerdict ControlReply(std::span<const uint8_t> reply, const std::string& sourceText, uint16_t sourcePort) {
    const std::string from = sourceText + " Port " + std::to_string(sourcePort);
    const uint8_t command = ByteAt(reply, 4);
    switch (command) {
        case 0x81:
            if (reply.size() >= ConnectionAcceptedMinLength) return {ServerReplyKind::ConnectionAccepted, ""};
            // Too short to hold a port: nothing to hand over.
            return {ServerReplyKind::Forward, "Short Connection Accept From Server " + from + " L\u00e4nge " +
                                                  std::to_string(reply.size())};
        case 0x82: return {ServerReplyKind::Forward, "Connection request rejected"};
        case 0x83: return {ServerReplyKind::ServerInfo, ""};
        case 0x84: return {ServerReplyKind::Forward, "Player Info Reply from " + from};
        case 0x85: return {ServerReplyKind::Forward, "Rule Info Reply from " + from};
        default:
            return {ServerReplyKind::Forward, "Unknown Message From Server " + std::to_string(command) + " " + from +
                                                  " L\u00e4nge " + std::to_string(reply.size())};
    }
}

}  // namespace

ServerVerdict ClassifyServerDatagram(std::span<const uint8_t> reply, const std::string& sourceText,
                                     uint16_t sourcePort) {
    const uint8_t kind = ByteAt(reply, 0);
    if (kind >= 'a' && kind <= 'z') return {ServerReplyKind::Forward, "Quake World Answer from Server"};
    if (kind == ControlPacketByte) return ControlReply(reply, sourceText, sourcePort);
    if (kind == 0xFF) return {ServerReplyKind::QuakeWorldAccepted, ""};
    return {ServerReplyKind::Forward, ""};
}

uint16_t ReadAcceptedPort(std::span<const uint8_t> reply) {
    return static_cast<uint16_t>(ByteAt(reply, 5) | (ByteAt(reply, 6) << 8));
}

void WriteAcceptedPort(std::span<uint8_t> reply, uint16_t port) {
    if (reply.size() < ConnectionAcceptedMinLength) return;
    reply[5] = static_cast<uint8_t>(port & 0xFF);
    reply[6] = static_cast<uint8_t>(port >> 8);
    reply[7] = 0;
    reply[8] = 0;
}

std::optional<size_t> RewriteServerInfo(std::span<uint8_t> buffer, size_t length, std::string_view localAddrText) {
    constexpr size_t TextStart = 5;
    if (length > buffer.size() || length <= TextStart) return std::nullopt;
    const auto* nul = static_cast<const uint8_t*>(std::memchr(buffer.data() + TextStart, 0, length - TextStart));
    if (nul == nullptr) return std::nullopt;
    const size_t oldTextLength = static_cast<size_t>(nul - buffer.data()) - TextStart;
    const size_t tailStart = TextStart + oldTextLength + 1;
    const size_t tailLength = length - tailStart;
    const size_t newLength = TextStart + localAddrText.size() + 1 + tailLength;
    if (newLength > buffer.size()) return std::nullopt;
    uint8_t* data = buffer.data();
    std::memmove(data + TextStart + localAddrText.size() + 1, data + tailStart, tailLength);
    std::memcpy(data + TextStart, localAddrText.data(), localAddrText.size());
    data[TextStart + localAddrText.size()] = 0;
    data[2] = static_cast<uint8_t>((newLength >> 8) & 0xFF);
    data[3] = static_cast<uint8_t>(newLength & 0xFF);
    return newLength;
}

std::string ConnectionAcceptedLine(uint16_t acceptedPort, uint16_t sourcePort) {
    return "Connection request accepted. ServerPort : " + std::to_string(acceptedPort) +
           " LocalPort : " + std::to_string(sourcePort);
}

std::string ServerInfoLine(const std::string& sourceText, uint16_t sourcePort) {
    return "Server Info Reply from " + sourceText + " Port " + std::to_string(sourcePort);
}

}  // namespace relvane
