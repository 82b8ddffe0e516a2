#pragma once
// Owns the running requests of one program (window or command line), so that
// each is joined and released, and none outlives the program.
//
// Program end: first make the RequestUi return at once from every call (a
// request may be blocked handing an error box or its completion over to the
// UI thread that is about to join it), then AbandonAll. Abandoned requests end
// their wait at once, unanswered, and their completion is not shown; so the
// join takes no longer than the requests' last few system calls.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "remote/RequestUi.h"
#include "remote/UdpThread.h"
#include "shared/PlatformSockets.h"
#include "shared/SocketAddress.h"

namespace relvane::remote {

class RequestPool {
public:
    RequestPool() = default;
    ~RequestPool();  // AbandonAll
    RequestPool(const RequestPool&) = delete;
    RequestPool& operator=(const RequestPool&) = delete;

    // Constructs a request (its set-up and set-up boxes run here) and starts
    // it. Releases the requests that have finished since the last call.
    // Owner thread only.
    void Start(RequestUi& ui, const SocketAddress& proxyAddress, int32_t isQuery,
               const Ipv4Bytes& targetAddress = {}, uint16_t targetPort = 0);

    // Joins and releases the requests whose completion has been handled. Owner thread only.
    void ReleaseFinished();

    // Ends every running request's wait and joins them all; requests started
    // later end at once, unanswered. Owner thread only.
    void AbandonAll();

    // Requests not yet released. Owner thread only.
    size_t Count() const { return Requests.size(); }

private:
    WakeSignal Abandon;
    std::vector<std::unique_ptr<UdpThread>> Requests;
};

}  // namespace relvane::remote
