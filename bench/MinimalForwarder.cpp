#include "bench/MinimalForwarder.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <vector>

namespace relvane::bench {

std::unique_ptr<MinimalForwarder> MinimalForwarder::Start(uint16_t serverPort) {
    std::optional<LoopbackSocket> clientSide = LoopbackSocket::Open();
    std::optional<LoopbackSocket> serverSide = LoopbackSocket::Open();
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!clientSide || !serverSide || wake < 0) {
        if (wake >= 0) ::close(wake);
        return nullptr;
    }
    std::unique_ptr<MinimalForwarder> forwarder(
        new MinimalForwarder(std::move(*clientSide), std::move(*serverSide), wake, serverPort));
    forwarder->Worker = std::thread([raw = forwarder.get()] { raw->Run(); });
    return forwarder;
}

MinimalForwarder::MinimalForwarder(LoopbackSocket clientSide, LoopbackSocket serverSide, int wake, uint16_t serverPort)
    : ClientSide(std::move(clientSide)), ServerSide(std::move(serverSide)), WakeDescriptor(wake), ServerPort(serverPort) {}

MinimalForwarder::~MinimalForwarder() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(WakeDescriptor, &one, sizeof one);
    if (Worker.joinable()) Worker.join();
    ::close(WakeDescriptor);
}

void MinimalForwarder::Run() {
    std::vector<uint8_t> buffer(8192);
    uint16_t clientPort = 0;
    for (;;) {
        pollfd watched[3] = {{ClientSide.Handle(), POLLIN, 0}, {ServerSide.Handle(), POLLIN, 0}, {WakeDescriptor, POLLIN, 0}};
        if (::poll(watched, 3, -1) < 0) continue;
        if (watched[2].revents != 0) return;
        if (watched[0].revents != 0)
            if (const auto received = ClientSide.TryReceive(buffer); received && received->Length <= buffer.size()) {
                clientPort = received->FromPort;
                ServerSide.SendTo(ServerPort, std::span<const uint8_t>(buffer.data(), received->Length));
            }
        if (watched[1].revents != 0)
            if (const auto received = ServerSide.TryReceive(buffer);
                received && received->Length <= buffer.size() && clientPort != 0)
                ClientSide.SendTo(clientPort, std::span<const uint8_t>(buffer.data(), received->Length));
    }
}

}  // namespace relvane::bench
