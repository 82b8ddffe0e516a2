#pragma once
// One remote-control request: one RemoteControlPacket sent from a socket of
// its own to the relay, at most one datagram of at most 11 bytes taken back
// within two seconds, and the outcome handed to the completion handler.
//
// Calling order: construction (set-up, on the UI thread), Start (the thread
// runs Execute: BuildRequest, send, wait, receive, ApplyReply, close; then the
// completion handler), Join or destruction by the owner (RequestPool).
//
// Requests share nothing but the optional abandon signal: each has its own
// socket on its own system-chosen port, so a reply reaches only the request
// that asked, and its own packet and outcome.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "remote/RequestUi.h"
#include "shared/PlatformSockets.h"
#include "shared/PlatformThread.h"
#include "shared/RemoteControlPacket.h"
#include "shared/SocketAddress.h"

namespace relvane::remote {

class UdpThread {
public:
    static constexpr std::chrono::seconds ReplyTimeoutValue{2};

    // The set-up: creates RequestSocket and binds it to 0.0.0.0 port 0, copies
    // proxyAddress with the family set to IPv4. A failing step shows its error
    // box through ui on the calling thread and skips the rest of the set-up;
    // the request still runs and then fails its send. targetAddress and
    // targetPort only count for a set (isQuery zero). abandon, when given,
    // ends the wait for the reply at once once signalled (program end).
    UdpThread(RequestUi& ui, const SocketAddress& proxyAddress, int32_t isQuery,
              const Ipv4Bytes& targetAddress = {}, uint16_t targetPort = 0,
              const WakeSignal* abandon = nullptr);
    ~UdpThread();  // joins the thread
    UdpThread(const UdpThread&) = delete;
    UdpThread& operator=(const UdpThread&) = delete;

    // Starts the thread; called once, by the constructing thread, after the
    // set-up. Should the platform refuse a thread, the request ends here,
    // not answered, and its completion handler runs on the calling thread.
    void Start();

    // True once the completion handler has returned. Any thread.
    bool Finished() const { return Done.load(); }
    // Waits for the thread to end. Owner thread; never from the handler.
    void Join();

private:
    void Execute();
    void BuildRequest();
    void ApplyReply();
    // Reads the socket library's error code first: call right after the failed call.
    void ErrorBox(const std::string& message);
    void Run();

    RequestUi& Ui;
    const WakeSignal* AbandonSignal;

    UdpSocket RequestSocket;
    SocketAddress ProxyAddress;
    SocketAddress RequestBind;
    std::chrono::microseconds ReplyTimeout{0};
    int32_t IsQuery;
    RemoteControlPacket::Bytes Packet{};
    Ipv4Bytes TargetAddress{};
    uint16_t TargetPort = 0;
    bool Answered = false;

    PlatformThread Thread;
    std::atomic<bool> Done{false};
};

}  // namespace relvane::remote
