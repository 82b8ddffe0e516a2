#include "relay/RemoteAllowList.h"

#include <algorithm>

#include "shared/PlatformSockets.h"
#include "shared/TextRules.h"

namespace relvane {

std::optional<RemoteAllowList> RemoteAllowList::Parse(std::string_view text) {
    if (TrimBlanksAndControls(text).empty()) return std::nullopt;
    RemoteAllowList list;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string entry(TrimBlanksAndControls(text.substr(start, comma - start)));
        start = comma + 1;
        if (entry.empty()) continue;
        const Ipv4Bytes address = InetAddr(entry);
        if (address == InetAddrNone && entry != "255.255.255.255") list.Unreadable.push_back(entry);
        else list.Addresses.push_back(address);
    }
    return list;
}

bool RemoteAllowList::Allows(const SocketAddress& source) const {
    if (source.Family() != FamilyIpv4) return false;
    return std::find(Addresses.begin(), Addresses.end(), source.Ipv4()) != Addresses.end();
}

}  // namespace relvane
