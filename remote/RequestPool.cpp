#include "remote/RequestPool.h"


namespace relvane::remote {

RequestPool::~RequestPool() { AbandonAll(); }

void RequestPool::Start(RequestUi& ui, const SocketAddress& proxyAddress, int32_t isQuery,
                        const Ipv4Bytes& targetAddress, uint16_t targetPort) {
    ReleaseFinished();
    auto request = std::make_unique<UdpThread>(ui, proxyAddress, isQuery, targetAddress, targetPort, &Abandon);
    UdpThread& started = *request;
    Requests.push_back(std::move(request));
    started.Start();
}

void RequestPool::ReleaseFinished() {
    // A finished request's thread has nothing left to do but return, so the join is immediate.
    std::erase_if(Requests, [](const std::unique_ptr<UdpThread>& request) { return request->Finished(); });
}

void RequestPool::AbandonAll() {
    Abandon.Signal();
    for (const auto& request : Requests) request->Join();
    Requests.clear();
}

}  // namespace relvane::remote
