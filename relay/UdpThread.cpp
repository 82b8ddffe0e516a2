#include "relay/UdpThread.h"

#include <cstring>

#include "relay/ClientClassification.h"
#include "relay/RelayEngine.h"
#include "shared/PortField.h"

namespace relvane {

std::shared_ptr<UdpThread> UdpThread::Create(RelayEngine& engine, const SocketAddress& aClient,
                                             uint16_t clientLocalPort, const SocketAddress& aServer,
                                             uint16_t serverLocalPort, uint16_t family, bool isListener) {
    std::shared_ptr<UdpThread> endpoint(new UdpThread(engine, family, isListener));
    endpoint->SetUp(aClient, clientLocalPort, aServer, serverLocalPort);
    return endpoint;
}

UdpThread::UdpThread(RelayEngine& engine, uint16_t family, bool isListener)
    : Engine(engine), IsListener(isListener), Family(family) {}

UdpThread::~UdpThread() = default;

void UdpThread::Start() { Engine.StartThread(shared_from_this()); }

// --- Set-up, on the creator's thread -------------------------------------

void UdpThread::SetUp(const SocketAddress& aClient, uint16_t clientLocalPort, const SocketAddress& aServer,
                      uint16_t serverLocalPort) {
    ServerBind = MakeIpv4Address({0, 0, 0, 0}, serverLocalPort);
    if (IsListener || !FaultInjection::Take(Engine.Faults().FailConnectionSetUps))
        ServerSocket = UdpSocket::Open(FamilyIpv4);
    if (!ServerSocket.IsValid()) return Log("Can\"t create socket");
    if (!ServerSocket.Bind(ServerBind)) return Log("Can\"t bind socket");
    if (!OpenClientSocket(clientLocalPort)) return;
    if (!ClientSocket.Bind(ClientBind)) return Log("Can\"t bind socket");

    ServerAddr = aServer;
    ServerAddr.SetFamily(FamilyIpv4);
    {
        std::lock_guard lock(ChildLock);
        ClientAddr = aClient;
        ClientAddr.SetFamily(Family);
    }
    IdleTimeout = Engine.Settings().IdleTimeout;
    BufferSize = static_cast<size_t>(Engine.Settings().BufferSize);
    Buffer = std::make_unique<uint8_t[]>(PrefixRoom + BufferSize);  // value-initialised: all zero
    SetUpCompleted = true;
    if (IsListener) IdentifyListener();
    else IdentifyConnection();
}

bool UdpThread::OpenClientSocket(uint16_t clientLocalPort) {
    ClientBind = SocketAddress();
    ClientBind.SetFamily(Family);
    if (Family == FamilyIpx) {
        ClientBind.SetIpxSocketNumber(clientLocalPort);
        ClientSocket = UdpSocket::Open(FamilyIpx);
        if (!ClientSocket.IsValid() || !ClientSocket.EnableBroadcast()) {
            Log("Setsockopt Error");
            return false;
        }
        return true;
    }
    ClientBind.SetPort(clientLocalPort);
    ClientSocket = UdpSocket::Open(FamilyIpv4);
    if (!ClientSocket.IsValid()) {
        ErrorBox("Can't create socket");
        Log("Can\"t bind socket");
        return false;
    }
    return true;
}

void UdpThread::IdentifyListener() {
    if (Family == FamilyIpx) {
        const std::optional<SocketAddress> local = ClientSocket.LocalAddress();
        if (!local) return Log("Can\"t get local IPX address");
        ClientBind = *local;
        LocalAddrText = FormatIpxAddress(ClientBind) + ":" + std::to_string(ClientBind.IpxSocketNumber());
        return Log("IPX initialized  : " + LocalAddrText);
    }
    const std::optional<std::string> hostName = LocalHostName();
    const std::optional<Ipv4Bytes> hostAddress = hostName ? LookupHostIpv4(*hostName) : std::nullopt;
    if (!hostAddress) return Log("Can't get local IP-Address");
    ClientBind.SetIpv4(*hostAddress);
    // With listening port 0 the system chose one; name that one, not 0.
    if (const std::optional<SocketAddress> local = ClientSocket.LocalAddress()) ClientBind.SetPort(local->Port());
    LocalAddrText = FormatDottedQuad(*hostAddress) + ":" + std::to_string(ClientBind.Port());
    Log("TCP/IP initialized  : " + LocalAddrText);
}

void UdpThread::IdentifyConnection() {
    const std::optional<SocketAddress> local = ClientSocket.LocalAddress();
    if (!local) return Log("Can\"t get new address");
    ClientBind = *local;
    if (Family == FamilyIpx) Log("New IPX Connection");
    else
        Log("New TCP/IP Connection CLocal : " + std::to_string(ClientBind.Port()) +
            " SLocal : " + std::to_string(ServerBind.Port()));
    {
        std::lock_guard lock(ChildLock);
        WaitTimeout = IdleTimeout;
    }
    Engine.Counters().Connections.fetch_add(1);
    Counted = true;
}

std::optional<SocketAddress> UdpThread::ClientLocalAddress() const {
    if (!ClientSocket.IsValid()) return std::nullopt;
    return ClientSocket.LocalAddress();
}

bool UdpThread::SendToClient(std::span<const uint8_t> datagram) {
    if (!SetUpCompleted || datagram.size() > BufferSize) return false;
    std::memcpy(Data(), datagram.data(), datagram.size());
    SocketAddress client;
    {
        std::lock_guard lock(ChildLock);
        client = ClientAddr;
    }
    return SendBufferedToClient(std::span<const uint8_t>(Data(), datagram.size()), client);
}

void UdpThread::FollowQuakeWorldClient(const SocketAddress& client) {
    std::lock_guard lock(ChildLock);
    ClientAddr = client;
    FollowServer = true;
    WaitTimeout.reset();
}

// --- Serving loop, on the endpoint's own thread ----------------------------

void UdpThread::Execute() {
    while (SetUpCompleted) {
        std::optional<std::chrono::microseconds> limit;
        {
            std::lock_guard lock(ChildLock);
            limit = WaitTimeout;
        }
        // The set is filled afresh for every wait: a hand-over replaces the
        // listener's server socket, and a listener whose fresh server socket
        // failed waits on its client side alone until one is opened again.
        const bool watchServer = ServerSocket.IsValid() || !IsListener;
        const int64_t limitMicroseconds = limit ? limit->count() : -1;
        const WaitOutcome outcome = watchServer
                                        ? WaitReadable({&ClientSocket, &ServerSocket}, &Engine.StopSignal(), limitMicroseconds)
                                        : WaitReadable({&ClientSocket}, &Engine.StopSignal(), limitMicroseconds);
        if (outcome.Result != WaitOutcome::Kind::Ready || outcome.Woken || Engine.StopRequested()) break;
        // One datagram per ready socket per pass, the client's first.
        if (outcome.Readable[0]) HandleClientPacket();
        if (watchServer && outcome.Readable[1]) HandleServerPacket();
    }
    EndServing();
}

void UdpThread::EndServing() {
    ClientSocket.Close();
    ServerSocket.Close();
    Buffer.reset();
    RelayCounters& counters = Engine.Counters();
    // The decrement and the test for 0 are one atomic step.
    const bool none = Counted ? counters.Connections.fetch_sub(1) - 1 == 0 : counters.Connections.load() == 0;
    if (none) {
        counters.ClientPackets.store(0);
        counters.ServerPackets.store(0);
    }
}

void UdpThread::HandleClientPacket() {
    SocketAddress source;
    const int received = ClientSocket.ReceiveFrom(Data(), BufferSize, source);
    if (received < 0) return Log("Client Receive Error");
    const size_t prefix = Family == FamilyIpx ? PrefixRoom : 0;
    const size_t length = static_cast<size_t>(received);
    // An IPX datagram of fewer than four bytes has no game data.
    const bool hasGameData = length >= prefix;
    const std::span<const uint8_t> gameData(Data() + prefix, hasGameData ? length - prefix : 0);
    Engine.Counters().ClientPackets.fetch_add(1);
    if (IsListener) {
        {
            std::lock_guard lock(ChildLock);
            ClientAddr = source;
        }
        if (!ClassifyClientPacket(gameData, length, source)) return;
        if (!ResolveTarget()) return;
    }
    if (!hasGameData) return Log("Server Send Error");
    SendToServer(gameData);
}

bool UdpThread::ResolveTarget() {
    WindowOperations& window = Engine.Window();
    const std::string serverText = window.ReadServerText();
    window.AddComboBox(serverText);
    Ipv4Bytes address = InetAddr(serverText);
    // 255.255.255.255 is also what the conversion answers for "not an
    // address", so that text goes through the name lookup as well.
    if (address == InetAddrNone) {
        const std::optional<Ipv4Bytes> found = LookupHostIpv4(serverText);
        if (!found) {
            Log("Can't resolve Servername");
            return false;
        }
        address = *found;
    }
    ServerAddr.SetIpv4(address);
    ServerAddr.SetPort(PortFieldValue(window.ReadPortText()));
    return true;
}

void UdpThread::SendToServer(std::span<const uint8_t> gameData) {
    // A listener whose fresh server socket could not be opened tries again now.
    if (!ServerSocket.IsValid() && (!IsListener || !OpenListenerServerSocket())) {
        return Log("Server Send Error");
    }
    if (ServerSocket.SendTo(gameData.data(), gameData.size(), ServerAddr) < 0) Log("Server Send Error");
}

void UdpThread::HandleServerPacket() {
    SocketAddress source;
    const int received = ServerSocket.ReceiveFrom(Data(), BufferSize, source);
    if (received < 0) return Log("Server Receive Error");
    SocketAddress client;
    {
        std::lock_guard lock(ChildLock);
        if (FollowServer) ServerAddr = source;
        client = ClientAddr;
    }
    Engine.Counters().ServerPackets.fetch_add(1);
    size_t length = static_cast<size_t>(received);
    if (IsListener) {
        const std::optional<size_t> forward = ClassifyServerPacket(length, source);
        if (!forward) return;
        length = *forward;
    }
    if (!SendBufferedToClient(std::span<const uint8_t>(Data(), length), client)) ErrorBox("Server Send Error");
}

bool UdpThread::SendBufferedToClient(std::span<const uint8_t> datagram, const SocketAddress& client) {
    // The datagram lies in Data(); on IPX the four zero bytes go just in front.
    const uint8_t* start = datagram.data();
    size_t length = datagram.size();
    if (Family == FamilyIpx) {
        uint8_t* prefixed = const_cast<uint8_t*>(start) - PrefixRoom;
        std::memset(prefixed, 0, PrefixRoom);
        start = prefixed;
        length += PrefixRoom;
    }
    return ClientSocket.SendTo(start, length, client) >= 0;
}

// --- Helpers -----------------------------------------------------------------

void UdpThread::Log(const std::string& message) { Engine.Window().ShowLog(message); }

void UdpThread::ErrorBox(const std::string& message) {
    // Taken first, before anything else can change it.
    const int code = LastSocketError();
    Engine.Window().ShowErrorBox("Error : " + message + " WSAError : " + std::to_string(code));
}

std::string UdpThread::SourceText(const SocketAddress& source) const {
    return Family == FamilyIpx ? FormatIpxAddress(source) : FormatDottedQuad(source.Ipv4());
}

uint16_t UdpThread::SourcePort(const SocketAddress& source) const {
    return Family == FamilyIpx ? source.IpxSocketNumber() : source.Port();
}

}  // namespace relvane
