#pragma once
// A reference for the benchmark, not the relay: the least that any relay
// with one thread per connection does. One thread, two loopback sockets,
// one poll() without time limit; a client datagram goes to the server port,
// a server datagram to the last client. Comparing it with the relay's
// connection endpoint separates the cost of this machine's thread hops from
// the cost of the relay's own code.

#include <cstdint>
#include <memory>
#include <thread>

#include "bench/LoopbackSocket.h"

namespace relvane::bench {

class MinimalForwarder {
public:
    // nullptr when its sockets cannot be opened.
    static std::unique_ptr<MinimalForwarder> Start(uint16_t serverPort);
    ~MinimalForwarder();  // stops and joins the thread
    MinimalForwarder(const MinimalForwarder&) = delete;
    MinimalForwarder& operator=(const MinimalForwarder&) = delete;

    uint16_t ClientPort() const { return ClientSide.Port(); }

private:
    MinimalForwarder(LoopbackSocket clientSide, LoopbackSocket serverSide, int wake, uint16_t serverPort);
    void Run();  // forwarding thread

    LoopbackSocket ClientSide;
    LoopbackSocket ServerSide;
    const int WakeDescriptor;
    const uint16_t ServerPort;
    std::thread Worker;
};

}  // namespace relvane::bench
