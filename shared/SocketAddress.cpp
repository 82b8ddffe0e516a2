#include "SocketAddress.h"

namespace relvane {

uint16_t SocketAddress::Family() const {
    return static_cast<uint16_t>(Bytes[0] | (Bytes[1] << 8));
}

void SocketAddress::SetFamily(uint16_t family) {
    Bytes[0] = static_cast<uint8_t>(family & 0xFF);
    Bytes[1] = static_cast<uint8_t>(family >> 8);
}

uint16_t SocketAddress::Port() const {
    return static_cast<uint16_t>((Bytes[2] << 8) | Bytes[3]);
}

void SocketAddress::SetPort(uint16_t port) {
    Bytes[2] = static_cast<uint8_t>(port >> 8);
    Bytes[3] = static_cast<uint8_t>(port & 0xFF);
}

Ipv4Bytes SocketAddress::Ipv4() const {
    return {Bytes[4], Bytes[5], Bytes[6], Bytes[7]};
}

void SocketAddress::SetIpv4(const Ipv4Bytes& address) {
    for (size_t i = 0; i < address.size(); ++i) Bytes[4 + i] = address[i];
}

uint16_t SocketAddress::IpxSocketNumber() const {
    return static_cast<uint16_t>((Bytes[12] << 8) | Bytes[13]);
}

void SocketAddress::SetIpxSocketNumber(uint16_t socketNumber) {
    Bytes[12] = static_cast<uint8_t>(socketNumber >> 8);
    Bytes[13] = static_cast<uint8_t>(socketNumber & 0xFF);
}

SocketAddress MakeIpv4Address(const Ipv4Bytes& address, uint16_t port) {
    SocketAddress result;
    result.SetFamily(FamilyIpv4);
    result.SetPort(port);
    result.SetIpv4(address);
    return result;
}

std::string FormatDottedQuad(const Ipv4Bytes& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

std::string FormatIpxAddress(const SocketAddress& address) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(21);
    auto appendHex = [&](size_t from, size_t to) {
        for (size_t i = from; i <= to; ++i) {
            text += Digits[address.Bytes[i] >> 4];
            text += Digits[address.Bytes[i] & 0x0F];
        }
    };
    appendHex(2, 5);
    text += ':';
    appendHex(6, 11);
    return text;
}

}  // namespace relvane
