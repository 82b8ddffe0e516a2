#include "remote/UdpThread.h"

#include <vector>

namespace relvane::remote {
namespace {

// A request needs little: the packet, one wait, one error text.
constexpr size_t RequestStackBytes = 256 * 1024;

}  // namespace

UdpThread::UdpThread(RequestUi& ui, const SocketAddress& proxyAddress, int32_t isQuery,
                     const Ipv4Bytes& targetAddress, uint16_t targetPort, const WakeSignal* abandon)
    : Ui(ui), AbandonSignal(abandon), IsQuery(isQuery) {
    if (IsQuery == 0) {
        TargetAddress = targetAddress;
        TargetPort = targetPort;
    }
    RequestBind = MakeIpv4Address({0, 0, 0, 0}, 0);
    RequestSocket = UdpSocket::Open(FamilyIpv4);
    if (!RequestSocket.IsValid()) {
        ErrorBox("Can\"t create socket");
        return;
    }
    if (!RequestSocket.Bind(RequestBind)) {
        ErrorBox("Can\"t bind socket");
        return;
    }
    ProxyAddress = proxyAddress;
    ProxyAddress.SetFamily(FamilyIpv4);
    ReplyTimeout = ReplyTimeoutValue;
}

UdpThread::~UdpThread() { Join(); }

void UdpThread::Start() {
    Thread = PlatformThread::Start([this] { Run(); }, RequestStackBytes);
    if (Thread.Joinable()) return;
    RequestSocket.Close();
    Ui.Complete(RequestOutcome{IsQuery, false, TargetAddress, TargetPort});
    Done = true;
}

void UdpThread::Join() { Thread.Join(); }

// The thread's body: the exchange, then the completion handler, which must
// see the socket closed and the outcome final.
void UdpThread::Run() {
    Execute();
    Ui.Complete(RequestOutcome{IsQuery, Answered, TargetAddress, TargetPort});
    Done = true;
}

void UdpThread::Execute() {
    BuildRequest();
    if (RequestSocket.SendTo(Packet.data(), Packet.size(), ProxyAddress) == -1) {
        ErrorBox("Proxy Send Error");
    } else {
        const std::vector<const UdpSocket*> readSet{&RequestSocket};
        const WaitOutcome wait = WaitReadable(readSet, AbandonSignal, ReplyTimeout.count());
        // A timeout, a failed wait and an abandoned request end unanswered, without a box.
        if (wait.Result == WaitOutcome::Kind::Ready && wait.Readable[0]) {
            SocketAddress sender;  // any sender's datagram counts as the reply
            if (RequestSocket.ReceiveFrom(Packet.data(), Packet.size(), sender) == -1) {
                ErrorBox("Proxy Receive Error");
            } else {
                Answered = true;
                ApplyReply();
            }
        }
    }
    RequestSocket.Close();
}

void UdpThread::BuildRequest() {
    const RemoteControlPacket request =
        IsQuery != 0 ? RemoteControlPacket::Query() : RemoteControlPacket::Set(TargetAddress, TargetPort);
    Packet = request.Encode();
}

// A reply shorter than the packet left the request's bytes in place; the
// reply's kind, length and mode are not looked at.
void UdpThread::ApplyReply() {
    if (IsQuery == 0) return;
    const RemoteControlPacket reply = RemoteControlPacket::Decode(Packet);
    TargetAddress = reply.TargetAddress;
    TargetPort = reply.TargetPort;
}

void UdpThread::ErrorBox(const std::string& message) {
    const int code = LastSocketError();
    Ui.ShowErrorBox("Error : " + message + " WSAError : " + std::to_string(code));
}

}  // namespace relvane::remote
