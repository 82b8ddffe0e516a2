#include "bench/RelayProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/GameWire.h"
#include "bench/LoopbackSocket.h"

extern char** environ;

namespace relvane::bench {
namespace {

constexpr int StartAttempts = 3;
const std::string InitializedPrefix = "TCP/IP initialized  : ";
const std::string BindFailure = "Can\"t bind socket";
const std::string NoLocalAddress = "Can't get local IP-Address";

// The parent's environment without a display, so the relay runs headless;
// Qt's runtime directory in the relay's own directory keeps it from warning.
std::vector<std::string> HeadlessEnvironment(const std::string& directory) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        if (variable.rfind("DISPLAY=", 0) == 0 || variable.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            variable.rfind("XDG_RUNTIME_DIR=", 0) == 0)
            continue;
        variables.push_back(variable);
    }
    variables.push_back("XDG_RUNTIME_DIR=" + directory);
    return variables;
}

bool WriteSettings(const std::string& directory, const RelayLaunch& launch, uint16_t listenPort) {
    std::ofstream file(directory + "/relvane.ini");
    file << "[Proxy]\n"
         << "RemoteHost=" << launch.ServerHost << "\n"
         << "RemotePort=" << launch.ServerPort << "\n"
         << "LocalPort=" << listenPort << "\n"
         << "IPX=0\nTCPIP=1\nDebug=0\n";
    return static_cast<bool>(file);
}

// Asks the listener for its target; any 11-byte reply shows that it serves.
bool ListenerAnswers(uint16_t listenPort) {
    std::optional<LoopbackSocket> asker = LoopbackSocket::Open();
    if (!asker) return false;
    const uint8_t none[4] = {0, 0, 0, 0};
    std::vector<uint8_t> buffer(2048);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!asker->SendTo(listenPort, RemoteControlRequest(0, none, 0))) continue;
        const auto reply = asker->Receive(buffer, std::chrono::seconds(2));
        if (reply && ParseRemoteReply(std::span<const uint8_t>(buffer.data(), reply->Length))) return true;
    }
    return false;
}

}  // namespace

const std::vector<std::string>& RelayProcess::CountedLogPrefixes() {
    static const std::vector<std::string> prefixes = {
        InitializedPrefix,
        "New TCP/IP Connection",
        "Connection Request from ",
        "Connection request accepted.",
        "Connection request rejected",
        "Connection hand-over failed",
        "Short Connection Accept",
        "Server Info Request from ",
        "Server Info Reply from ",
        "Unknown Message from Client ",
        "Unknown Message From Server ",
        "Quake World Request from Client",
        "Quake World Answer from Server",
        "QuakeWorld Connection accepted",
        "Remote Control Query",
        "Remote Controle Set ",
        "Remote Control Error",
        "Remote Control refused",
        "Client Receive Error",
        "Server Receive Error",
        "Server Send Error",
        "Can't resolve Servername",
        "Can't create socket",
        "Can\"t create socket",
        BindFailure,
        "Can't bind socket",
        "Can't close socket",
        "Can\"t get new address",
        NoLocalAddress,
    };
    return prefixes;
}

std::unique_ptr<RelayProcess> RelayProcess::Start(const RelayLaunch& launch, std::string* failure) {
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        const std::optional<uint16_t> port = PickFreeUdpPort();
        if (!port) {
            *failure = "no free UDP port";
            continue;
        }
        std::unique_ptr<RelayProcess> relay(new RelayProcess());
        if (!relay->Spawn(launch, *port, failure)) return nullptr;
        if (relay->AwaitListener(launch, failure)) return relay;
        // Most likely another program took the port in the meantime: try another.
    }
    return nullptr;
}

bool RelayProcess::Spawn(const RelayLaunch& launch, uint16_t listenPort, std::string* failure) {
    char pattern[] = "/tmp/relvane-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return *failure = "cannot create a temporary directory", false;
    Directory = pattern;
    if (!WriteSettings(Directory, launch, listenPort)) return *failure = "cannot write relvane.ini", false;
    ListeningPort = listenPort;

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return *failure = "pipe failed", false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return *failure = "pipe failed", false;
    }
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    const std::vector<std::string> variables = HeadlessEnvironment(Directory);
    std::vector<char*> environment;
    for (const std::string& variable : variables) environment.push_back(const_cast<char*>(variable.c_str()));
    environment.push_back(nullptr);
    char* arguments[] = {const_cast<char*>(launch.Program.c_str()), nullptr};

    ChildPid = ::fork();
    if (ChildPid == 0) {
        if (::chdir(Directory.c_str()) != 0) ::_exit(126);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::execve(launch.Program.c_str(), arguments, environment.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (ChildPid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return *failure = "fork failed", false;
    }
    StandardOutput = std::make_unique<RelayLog>(outPipe[0], CountedLogPrefixes());
    StandardError = std::make_unique<RelayLog>(errPipe[0], std::vector<std::string>{});
    return true;
}

bool RelayProcess::AwaitListener(const RelayLaunch& launch, std::string* failure) {
    const auto started = std::chrono::steady_clock::now();
    const auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(launch.StartLimit -
                                                                     (std::chrono::steady_clock::now() - started));
    };
    // The listener's set-up logs either its address or why it has none.
    while (left().count() > 0) {
        if (const auto line = StandardOutput->WaitForLine(InitializedPrefix, std::chrono::milliseconds(50))) {
            OwnAddressText = line->substr(InitializedPrefix.size());
            break;
        }
        if (StandardOutput->CountOf(NoLocalAddress) > 0) break;
        if (StandardOutput->CountOf(BindFailure) > 0) {
            *failure = "the relay could not bind port " + std::to_string(ListeningPort);
            Stop(std::chrono::seconds(2));
            return false;
        }
        if (!Running()) {
            *failure = "the relay ended during start-up (exit code " + std::to_string(Ended.ExitCode) + "): " +
                       launch.Program;
            Stop();
            return false;
        }
    }
    if (ListenerAnswers(ListeningPort)) return true;
    *failure = "the relay's listener on port " + std::to_string(ListeningPort) + " does not answer";
    Stop(std::chrono::seconds(2));
    return false;
}

bool RelayProcess::Running() {
    if (Reaped || ChildPid <= 0) return false;
    int status = 0;
    if (::waitpid(ChildPid, &status, WNOHANG) != ChildPid) return true;
    Reaped = true;
    Ended.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

StopResult RelayProcess::Stop(std::chrono::milliseconds grace) {
    if (ChildPid > 0 && Running()) {
        ::kill(ChildPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Ended.EndedOnSignal = !Running();
        if (!Ended.EndedOnSignal) {
            ::kill(ChildPid, SIGKILL);
            int status = 0;
            ::waitpid(ChildPid, &status, 0);
            Reaped = true;
            Ended.ExitCode = -1;
        }
    }
    // The readers end by themselves with the pipes, which closed with the
    // program; their counts stay readable.
    RemoveDirectory();
    return Ended;
}

RelayProcess::~RelayProcess() { Stop(); }

void RelayProcess::RemoveDirectory() {
    if (Directory.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(Directory, ignored);
    Directory.clear();
}

}  // namespace relvane::bench
