#pragma once
// What a listener makes of a client datagram, by the first byte of its game
// data and, for control packets (0x80), by the command in byte 4. Bytes
// beyond the received length read as 0, never as bytes of an earlier datagram.

#include <cstdint>
#include <span>
#include <string>

namespace relvane {

enum class ClientDatagramKind {
    Forward,             // relayed to the target server
    QuakeWorldConnect,   // relayed; also starts or re-points the QuakeWorld child
    RemoteControl,       // answered by the remote-control service, never relayed
};

struct ClientVerdict {
    ClientDatagramKind Kind = ClientDatagramKind::Forward;
    std::string LogLine;  // empty: nothing to log
};

// receivedLength counts the IPX prefix where there is one.
ClientVerdict ClassifyClientDatagram(std::span<const uint8_t> gameData, size_t receivedLength,
                                     const std::string& sourceText, uint16_t sourcePort);

// Byte index of a datagram, 0 past its end.
inline uint8_t ByteAt(std::span<const uint8_t> datagram, size_t index) {
    return index < datagram.size() ? datagram[index] : 0;
}

inline constexpr uint8_t ControlPacketByte = 0x80;

}  // namespace relvane
