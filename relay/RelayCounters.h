#pragma once
// The relay's shared counters: written by every endpoint thread, read by the
// window's status refresh. Atomic, so no lock is needed.

#include <atomic>
#include <cstdint>

namespace relvane {

struct RelayCounters {
    std::atomic<int32_t> ServerPackets{0};  // datagrams received on any server side
    std::atomic<int32_t> ClientPackets{0};  // datagrams received on any client side
    std::atomic<int32_t> Connections{0};    // counted connection endpoints still running
};

}  // namespace relvane
