// The remote client's reading of a relay's reply: the reply, 0 to 11 bytes
// as received, lands over the request's own bytes, and a query takes the
// relay's target from the result. The request is a query or a set, as the
// input's first byte says; a set's target comes from the next six bytes.
//
// Input: [query flag][address 4][port 2, little-endian][reply, first 11 bytes]

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "shared/RemoteControlPacket.h"

namespace {

using relvane::Ipv4Bytes;
using relvane::RemoteControlPacket;

struct Request {
    bool IsQuery = true;
    Ipv4Bytes TargetAddress{};
    uint16_t TargetPort = 0;
};

// The request's bytes as they go out, restated byte by byte.
RemoteControlPacket::Bytes ExpectedRequestBytes(const Request& request) {
    RemoteControlPacket::Bytes bytes{0xA0, 0x00, 0x0B, 0x00};
    if (request.IsQuery) return bytes;
    bytes[4] = 1;
    std::copy(request.TargetAddress.begin(), request.TargetAddress.end(), bytes.begin() + 5);
    bytes[9] = static_cast<uint8_t>(request.TargetPort & 0xFF);
    bytes[10] = static_cast<uint8_t>(request.TargetPort >> 8);
    return bytes;
}

// What the request should hold at a byte once the reply has landed.
uint8_t ByteAfterReply(const RemoteControlPacket::Bytes& sent, const std::vector<uint8_t>& reply, size_t index) {
    return index < reply.size() ? reply[index] : sent[index];
}

void CheckReply(const Request& request, const std::vector<uint8_t>& reply) {
    const RemoteControlPacket sent = request.IsQuery
                                         ? RemoteControlPacket::Query()
                                         : RemoteControlPacket::Set(request.TargetAddress, request.TargetPort);
    const RemoteControlPacket::Bytes sentBytes = sent.Encode();
    FUZZ_CHECK(sentBytes == ExpectedRequestBytes(request));

    // The receive writes the reply's bytes over the start of the request.
    RemoteControlPacket::Bytes packet = sentBytes;
    std::copy(reply.begin(), reply.end(), packet.begin());
    const RemoteControlPacket decoded = RemoteControlPacket::Decode(packet);
    FUZZ_CHECK(decoded.Encode() == packet);

    for (size_t i = 0; i < 4; ++i) FUZZ_CHECK(decoded.TargetAddress[i] == ByteAfterReply(sentBytes, reply, 5 + i));
    FUZZ_CHECK(decoded.TargetPort ==
               (ByteAfterReply(sentBytes, reply, 9) | (ByteAfterReply(sentBytes, reply, 10) << 8)));
    if (request.IsQuery && reply.size() <= 5) {
        // An empty or short answer to a query leaves the query's zeros: 0.0.0.0 port 0.
        FUZZ_CHECK((decoded.TargetAddress == Ipv4Bytes{0, 0, 0, 0}) && decoded.TargetPort == 0);
    }

    // Kind, length and mode of a reply do not change what is read from it.
    RemoteControlPacket::Bytes otherHeader = packet;
    for (size_t i = 0; i < 5; ++i) otherHeader[i] = static_cast<uint8_t>(~otherHeader[i]);
    const RemoteControlPacket reread = RemoteControlPacket::Decode(otherHeader);
    FUZZ_CHECK(reread.TargetAddress == decoded.TargetAddress && reread.TargetPort == decoded.TargetPort);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t HeaderSize = 7;
    std::array<uint8_t, HeaderSize> header{};
    std::copy_n(data, std::min(size, HeaderSize), header.begin());
    Request request;
    request.IsQuery = (header[0] & 1) != 0;
    std::copy_n(header.begin() + 1, 4, request.TargetAddress.begin());
    request.TargetPort = static_cast<uint16_t>(header[5] | (header[6] << 8));
    // A longer datagram is refused by the receive and never read.
    const size_t replyStart = std::min(size, HeaderSize);
    const size_t replyLength = std::min(size - replyStart, RemoteControlPacket::Size);
    CheckReply(request, std::vector<uint8_t>(data + replyStart, data + replyStart + replyLength));
    return 0;
}
