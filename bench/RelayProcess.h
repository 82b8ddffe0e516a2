#pragma once
// The relay program, started headless for a measurement: in a temporary
// directory of its own with a relvane.ini that names the game server, with
// neither DISPLAY nor WAYLAND_DISPLAY, its standard output and error read
// line by line (RelayLog). Start() returns once the listener answers a
// remote-control query; the destructor ends the program (SIGTERM, then
// SIGKILL) and removes the directory.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "bench/RelayLog.h"

namespace relvane::bench {

struct RelayLaunch {
    std::string Program;            // path of the relvane binary
    std::string ServerHost = "127.0.0.1";
    uint16_t ServerPort = 0;
    // How long start-up may take before the listener must answer.
    std::chrono::milliseconds StartLimit = std::chrono::seconds(10);
};

struct StopResult {
    bool EndedOnSignal = false;  // ended by itself after SIGTERM (no SIGKILL needed)
    int ExitCode = -1;           // exit status, or -1 when killed by a signal
};

class RelayProcess {
public:
    // Starts the relay on a free listening port; nullptr with *failure set
    // when it does not come up.
    static std::unique_ptr<RelayProcess> Start(const RelayLaunch& launch, std::string* failure);
    ~RelayProcess();  // Stop() unless done
    RelayProcess(const RelayProcess&) = delete;
    RelayProcess& operator=(const RelayProcess&) = delete;

    pid_t Pid() const { return ChildPid; }
    uint16_t ListenPort() const { return ListeningPort; }
    // The listener's own address text ("TCP/IP initialized  : " line), which
    // server-information replies carry after the rewrite.
    const std::string& LocalAddrText() const { return OwnAddressText; }

    const RelayLog& Output() const { return *StandardOutput; }
    const RelayLog& Errors() const { return *StandardError; }

    bool Running();
    StopResult Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

    // Prefixes of the relay's log lines that Output() counts.
    static const std::vector<std::string>& CountedLogPrefixes();

private:
    RelayProcess() = default;
    bool Spawn(const RelayLaunch& launch, uint16_t listenPort, std::string* failure);
    bool AwaitListener(const RelayLaunch& launch, std::string* failure);
    void RemoveDirectory();

    pid_t ChildPid = -1;
    bool Reaped = false;
    StopResult Ended;
    uint16_t ListeningPort = 0;
    std::string OwnAddressText;
    std::string Directory;
    std::unique_ptr<RelayLog> StandardOutput;
    std::unique_ptr<RelayLog> StandardError;
};

}  // namespace relvane::bench
