#include "bench/GameWire.h"

#include <algorithm>
#include <cstring>

namespace relvane::bench {
namespace {

constexpr uint8_t GameMagic[4] = {'R', 'V', 'G', 0x01};
constexpr uint8_t QuakeName[6] = {'Q', 'U', 'A', 'K', 'E', 0};
constexpr uint8_t ProtocolVersion = 3;

void PutLittle32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value & 0xFF);
    out[1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    out[2] = static_cast<uint8_t>((value >> 16) & 0xFF);
    out[3] = static_cast<uint8_t>((value >> 24) & 0xFF);
}

uint32_t GetLittle32(const uint8_t* in) {
    return static_cast<uint32_t>(in[0]) | (static_cast<uint32_t>(in[1]) << 8) |
           (static_cast<uint32_t>(in[2]) << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

// The game's 12-byte request, followed by tail.
Datagram ControlRequest(uint8_t command, std::span<const uint8_t> tail = {}) {
    Datagram request(ControlRequestSize + tail.size());
    request[0] = ControlByte;
    request[3] = static_cast<uint8_t>(ControlRequestSize);
    request[4] = command;
    std::memcpy(request.data() + 5, QuakeName, sizeof QuakeName);
    request[11] = ProtocolVersion;
    std::copy(tail.begin(), tail.end(), request.begin() + ControlRequestSize);
    return request;
}

// Seeds differ for every (connection, sequence) pair, so a datagram of one
// connection can never pass for one of another.
uint64_t BodySeed(uint32_t connectionId, uint32_t sequence) {
    return (static_cast<uint64_t>(connectionId) << 32 | sequence) ^ 0x9E3779B97F4A7C15ull;
}

}  // namespace

Datagram ConnectRequest() { return ControlRequest(ConnectCommand); }

Datagram ServerInfoRequest(std::span<const uint8_t> tail) { return ControlRequest(ServerInfoCommand, tail); }

bool IsControlRequest(std::span<const uint8_t> datagram, uint8_t command) {
    return datagram.size() >= ControlRequestSize && datagram[0] == ControlByte && datagram[4] == command &&
           std::memcmp(datagram.data() + 5, QuakeName, sizeof QuakeName) == 0;
}

Datagram AcceptReply(uint16_t port) {
    Datagram reply{ControlByte, 0x00, 0x00, static_cast<uint8_t>(AcceptSize), AcceptCommand, 0, 0, 0, 0};
    PutLittle32(reply.data() + 5, port);
    return reply;
}

std::optional<uint16_t> ParseAccept(std::span<const uint8_t> datagram) {
    if (datagram.size() < AcceptSize || datagram[0] != ControlByte || datagram[4] != AcceptCommand) return std::nullopt;
    const uint32_t port = GetLittle32(datagram.data() + 5);
    if (port == 0 || port > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(port);
}

Datagram ServerInfoReply(std::string_view addressText, std::span<const uint8_t> tail) {
    constexpr size_t TextStart = 5;
    Datagram reply(TextStart + addressText.size() + 1 + tail.size());
    reply[0] = ControlByte;
    reply[4] = ServerInfoReplyCommand;
    std::copy(addressText.begin(), addressText.end(), reply.begin() + TextStart);
    std::copy(tail.begin(), tail.end(), reply.begin() + TextStart + addressText.size() + 1);
    reply[2] = static_cast<uint8_t>((reply.size() >> 8) & 0xFF);
    reply[3] = static_cast<uint8_t>(reply.size() & 0xFF);
    return reply;
}

std::optional<ServerInfoView> ParseServerInfo(std::span<const uint8_t> datagram) {
    constexpr size_t TextStart = 5;
    if (datagram.size() <= TextStart || datagram[0] != ControlByte || datagram[4] != ServerInfoReplyCommand)
        return std::nullopt;
    const size_t declared = (static_cast<size_t>(datagram[2]) << 8) | datagram[3];
    if (declared != (datagram.size() & 0xFFFF)) return std::nullopt;
    const auto nul = std::find(datagram.begin() + TextStart, datagram.end(), uint8_t{0});
    if (nul == datagram.end()) return std::nullopt;
    ServerInfoView view;
    view.AddressText.assign(datagram.begin() + TextStart, nul);
    view.Tail = std::span<const uint8_t>(nul + 1, datagram.end());
    return view;
}

Datagram RemoteControlRequest(uint8_t mode, const uint8_t (&address)[4], uint16_t port) {
    return Datagram{RemoteControlByte,
                    0x00,
                    static_cast<uint8_t>(RemoteControlSize),
                    0x00,
                    mode,
                    address[0],
                    address[1],
                    address[2],
                    address[3],
                    static_cast<uint8_t>(port & 0xFF),
                    static_cast<uint8_t>(port >> 8)};
}

std::optional<RemoteTarget> ParseRemoteReply(std::span<const uint8_t> datagram) {
    if (datagram.size() != RemoteControlSize || datagram[0] != RemoteControlByte) return std::nullopt;
    RemoteTarget target;
    std::copy(datagram.begin() + 5, datagram.begin() + 9, target.Address);
    target.Port = static_cast<uint16_t>(datagram[9] | (datagram[10] << 8));
    return target;
}

void WriteGameDatagram(std::span<uint8_t> out, uint32_t connectionId, uint32_t sequence, uint8_t flags) {
    if (out.size() < GameHeaderSize) return;
    std::memcpy(out.data(), GameMagic, sizeof GameMagic);
    PutLittle32(out.data() + 4, connectionId);
    PutLittle32(out.data() + 8, sequence);
    out[12] = flags;
    out[13] = static_cast<uint8_t>(out.size() & 0xFF);
    out[14] = static_cast<uint8_t>((out.size() >> 8) & 0xFF);
    out[15] = 0;
    ByteStream(BodySeed(connectionId, sequence)).Fill(out.subspan(GameHeaderSize));
}

Datagram MakeGameDatagram(size_t size, uint32_t connectionId, uint32_t sequence, uint8_t flags) {
    Datagram datagram(std::max(size, GameHeaderSize));
    WriteGameDatagram(datagram, connectionId, sequence, flags);
    return datagram;
}

GameCheck CheckGameDatagram(std::span<const uint8_t> datagram) {
    GameCheck check;
    if (datagram.size() < GameHeaderSize || std::memcmp(datagram.data(), GameMagic, sizeof GameMagic) != 0)
        return check;
    check.ConnectionId = GetLittle32(datagram.data() + 4);
    check.Sequence = GetLittle32(datagram.data() + 8);
    check.Flags = datagram[12];
    check.Result = GameCheck::Kind::Corrupt;
    const size_t length = static_cast<size_t>(datagram[13]) | (static_cast<size_t>(datagram[14]) << 8);
    if (length != (datagram.size() & 0xFFFF) || datagram[15] != 0) return check;
    // Compared in pieces, so a 1400-byte body needs no second buffer.
    ByteStream body(BodySeed(check.ConnectionId, check.Sequence));
    uint8_t expected[64];
    for (size_t offset = GameHeaderSize; offset < datagram.size(); offset += sizeof expected) {
        const size_t piece = std::min(sizeof expected, datagram.size() - offset);
        body.Fill(std::span<uint8_t>(expected, piece));
        if (std::memcmp(expected, datagram.data() + offset, piece) != 0) return check;
    }
    check.Result = GameCheck::Kind::Intact;
    return check;
}

uint8_t GameFlags(std::span<const uint8_t> datagram) {
    return datagram.size() >= GameHeaderSize ? datagram[12] : 0;
}

ByteStream::ByteStream(uint64_t seed) : State(seed == 0 ? 0x2545F4914F6CDD1Dull : seed) {}

uint64_t ByteStream::Next() {
    State ^= State >> 12;
    State ^= State << 25;
    State ^= State >> 27;
    return State * 0x2545F4914F6CDD1Dull;
}

uint32_t ByteStream::Between(uint32_t low, uint32_t high) {
    if (high <= low) return low;
    return low + static_cast<uint32_t>(Next() % (static_cast<uint64_t>(high) - low + 1));
}

void ByteStream::Fill(std::span<uint8_t> out) {
    // Whole words first; the stream of a piece continues where the last one
    // stopped only when pieces are multiples of 8 bytes (as CheckGameDatagram's are).
    size_t offset = 0;
    while (offset < out.size()) {
        uint64_t word = Next();
        for (int byte = 0; byte < 8 && offset < out.size(); ++byte, ++offset) {
            out[offset] = static_cast<uint8_t>(word & 0xFF);
            word >>= 8;
        }
    }
}

}  // namespace relvane::bench
