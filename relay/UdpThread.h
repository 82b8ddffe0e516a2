#pragma once
// A relay endpoint: one thread with two datagram sockets. Its client side
// faces the game clients (UDP/IPv4 or IPX), its server side one game server
// (always UDP/IPv4). A listener (one per address family) takes the target
// from the window for every client datagram and looks at the traffic; a
// connection endpoint relays one handed-over connection without looking.
//
// Life: Create() runs the set-up on the calling thread; the creator may then
// use the new endpoint (read its client port, send one datagram through it,
// make it a QuakeWorld child) before Start() hands it to a thread of its own.
// Whoever holds a shared_ptr keeps the object valid; the running thread holds
// one until its serving loop has ended.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "shared/PlatformSockets.h"
#include "shared/SocketAddress.h"

namespace relvane {

class RelayEngine;

class UdpThread : public std::enable_shared_from_this<UdpThread> {
public:
    // Ports are host values; 0 lets the system choose.
    static std::shared_ptr<UdpThread> Create(RelayEngine& engine, const SocketAddress& aClient,
                                             uint16_t clientLocalPort, const SocketAddress& aServer,
                                             uint16_t serverLocalPort, uint16_t family, bool isListener);
    ~UdpThread();
    UdpThread(const UdpThread&) = delete;
    UdpThread& operator=(const UdpThread&) = delete;

    // Starts the serving loop on the endpoint's own thread (creator's thread).
    void Start();

    // Creator's thread, before Start(): whether the set-up left sockets to serve with.
    bool CanServe() const { return SetUpCompleted; }
    // Creator's thread, before Start(): the local address of the client side.
    std::optional<SocketAddress> ClientLocalAddress() const;
    // Creator's thread, before Start(): sends one datagram to ClientAddr
    // through the client side (with the IPX prefix on IPX). False on failure.
    bool SendToClient(std::span<const uint8_t> datagram);

    // Safe to call from other threads: a listener re-points its QuakeWorld
    // child to a client, makes it follow the server's source and removes its
    // idle time-out, all three under ChildLock.
    void FollowQuakeWorldClient(const SocketAddress& client);

    uint16_t FamilyCode() const { return Family; }
    bool IsListenerEndpoint() const { return IsListener; }

private:
    friend class RelayEngine;  // runs Execute() on the endpoint's own thread

    UdpThread(RelayEngine& engine, uint16_t family, bool isListener);

    void SetUp(const SocketAddress& aClient, uint16_t clientLocalPort, const SocketAddress& aServer,
               uint16_t serverLocalPort);
    bool OpenClientSocket(uint16_t clientLocalPort);
    void IdentifyListener();
    void IdentifyConnection();

    void Execute();
    void EndServing();
    void HandleClientPacket();
    void HandleServerPacket();
    bool ResolveTarget();
    void SendToServer(std::span<const uint8_t> gameData);
    // Sends a datagram that lies in Data() (room for the IPX prefix in front).
    bool SendBufferedToClient(std::span<const uint8_t> datagram, const SocketAddress& client);

    // Listener-only steps.
    bool ClassifyClientPacket(std::span<const uint8_t> gameData, size_t receivedLength, const SocketAddress& source);
    void StartOrRepointQuakeWorldChild(const SocketAddress& source);
    void HandleRemoteControl(std::span<const uint8_t> gameData, const SocketAddress& from);
    std::optional<size_t> ClassifyServerPacket(size_t length, const SocketAddress& source);
    std::optional<size_t> ConnectionHandOver(size_t length, const SocketAddress& source);
    void QuakeWorldHandOver(size_t length, const SocketAddress& source);
    std::optional<uint16_t> CloseServerSocketForHandOver();
    bool OpenListenerServerSocket();

    void Log(const std::string& message);
    void ErrorBox(const std::string& message);

    std::string SourceText(const SocketAddress& source) const;
    uint16_t SourcePort(const SocketAddress& source) const;
    uint8_t* Data() { return Buffer.get() + PrefixRoom; }

    static constexpr size_t PrefixRoom = 4;  // the IPX prefix put in front of datagrams to IPX clients

    RelayEngine& Engine;
    UdpSocket ServerSocket;
    UdpSocket ClientSocket;
    SocketAddress ServerAddr;
    SocketAddress ServerBind;
    SocketAddress ClientBind;
    std::chrono::microseconds IdleTimeout{0};
    std::unique_ptr<uint8_t[]> Buffer;  // PrefixRoom + BufferSize bytes
    size_t BufferSize = 0;
    const bool IsListener;
    const uint16_t Family;
    std::string LocalAddrText;
    std::shared_ptr<UdpThread> QwChild;
    bool SetUpCompleted = false;  // both sockets open and bound
    bool Counted = false;         // included in Connections

    // Written by the listener of a QuakeWorld child while the child runs.
    mutable std::mutex ChildLock;
    SocketAddress ClientAddr;                                // guarded by ChildLock
    std::optional<std::chrono::microseconds> WaitTimeout;    // guarded by ChildLock; none: no limit
    bool FollowServer = false;                               // guarded by ChildLock
};

}  // namespace relvane
