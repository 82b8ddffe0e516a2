#pragma once
// Who may use remote control. Without the setting anyone may query or set
// the target; with it, only the listed IPv4 addresses may.
//
// Text rules: IPv4 addresses in dotted notation separated by commas, blanks
// around each allowed. Entries that are not addresses are kept aside (so the
// front end can report them) and allow nobody.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/SocketAddress.h"

namespace relvane {

struct RemoteAllowList {
    std::vector<Ipv4Bytes> Addresses;
    std::vector<std::string> Unreadable;

    // nullopt for a blank text: no guard at all.
    static std::optional<RemoteAllowList> Parse(std::string_view text);
    // Only IPv4 sources can be listed; an IPX source is never allowed.
    bool Allows(const SocketAddress& source) const;
};

}  // namespace relvane
