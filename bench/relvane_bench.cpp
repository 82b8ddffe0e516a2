// relvane_bench: measures the real relvane program, started headless, against
// a fake game server on loopback. Three systems, interleaved round by round
// so that drift of the machine cancels out:
//   direct    client and fake server, no relay (the floor)
//   endpoint  the game's connection request through the relay's listener,
//             then game datagrams through the connection endpoint it names
//   listener  server-information queries through the listener, with the
//             window operations of every datagram in the path
//   forwarder a reference, not the relay: a minimal forwarding thread per
//             connection in this process (MinimalForwarder.h), the least
//             that a relay of this design can cost on this machine
// Every reply is checked, so the figures include lost and corrupted datagrams.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchTable.h"
#include "bench/FakeGameServer.h"
#include "bench/MinimalForwarder.h"
#include "bench/ProcessStats.h"
#include "bench/RelayProcess.h"
#include "bench/RoundTrips.h"
#include "bench/TrafficLane.h"

#ifndef RELVANE_DEFAULT_PROGRAM
#define RELVANE_DEFAULT_PROGRAM "relvane"
#endif

namespace relvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct BenchOptions {
    std::string Program = RELVANE_DEFAULT_PROGRAM;
    int Rounds = 5;
    int Samples = 2000;  // round trips per latency figure
    int ThroughputMs = 1000;
    int InFlight = 4;
    // Set: measure only this system (and direct, the floor), e.g. for a profiler.
    std::optional<BenchSystem> Only;
    BenchShape Shape;
};

const char* const Usage =
    "usage: relvane_bench [--relvane PATH] [--rounds N] [--samples N] [--throughput-ms N]\n"
    "                     [--in-flight N] [--connections N] [--memory-connections N] [--only SYSTEM]\n"
    "  --relvane PATH           the relay program to measure (default: the one built with this tree)\n"
    "  --rounds N               rounds, each measuring every system once (default 5)\n"
    "  --samples N              round trips per latency figure (default 2000)\n"
    "  --throughput-ms N        length of each throughput run (default 1000)\n"
    "  --in-flight N            datagrams in flight per connection in throughput runs (default 4)\n"
    "  --connections N          connections of the concurrent throughput run (default 16)\n"
    "  --memory-connections N   live connections for the second memory figure (default 256)\n"
    "  --only SYSTEM            measure only endpoint or listener (and direct), e.g. under a profiler\n"
    "The forwarder row is a reference, not the relay: a minimal forwarding thread per connection.\n";

std::optional<BenchOptions> ParseOptions(int argc, char** argv) {
    BenchOptions options;
    options.Shape.Rounds = options.Rounds;
    for (int index = 1; index < argc; ++index) {
        const std::string name = argv[index];
        if (name == "--help" || name == "-h") return std::nullopt;
        if (index + 1 >= argc) return std::nullopt;
        const std::string value = argv[++index];
        const int number = std::atoi(value.c_str());
        if (name == "--relvane") options.Program = value;
        else if (name == "--rounds" && number > 0) options.Rounds = number;
        else if (name == "--samples" && number > 0) options.Samples = number;
        else if (name == "--throughput-ms" && number > 0) options.ThroughputMs = number;
        else if (name == "--in-flight" && number > 0) options.InFlight = number;
        else if (name == "--connections" && number > 0) options.Shape.ManyConnections = number;
        else if (name == "--memory-connections" && number > 0) options.Shape.MemoryConnections = number;
        else if (name == "--only" && value == "endpoint") options.Only = BenchSystem::Endpoint;
        else if (name == "--only" && value == "listener") options.Only = BenchSystem::Listener;
        else return std::nullopt;
    }
    options.Shape.Rounds = options.Rounds;
    return options;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string first, second, third;
    file >> first >> second >> third;
    return first + " " + second + " " + third;
}

double Megabytes(std::optional<long> kilobytes) {
    return kilobytes ? static_cast<double>(*kilobytes) / 1024.0 : std::numeric_limits<double>::quiet_NaN();
}

class BenchRun {
public:
    BenchRun(BenchOptions options, FakeGameServer& server)
        : Options(std::move(options)), Server(server), Table(Options.Shape) {}

    bool RunRound(int round, std::string* failure);
    BenchTable& Results() { return Table; }

private:
    std::optional<std::vector<TrafficLane>> Lanes(BenchSystem system, uint16_t relayPort);
    std::optional<TrafficLane> ForwardedLane();
    FigureSet MeasureSystem(std::vector<TrafficLane>& lanes, const RequestCodec& codec, int relayPid);
    bool MeasureConnectionMemory(FigureSet& endpoint, std::string* failure);
    RelayLaunch Launch() const { return RelayLaunch{Options.Program, "127.0.0.1", Server.ControlPort()}; }

    const BenchOptions Options;
    FakeGameServer& Server;
    BenchTable Table;
    uint32_t NextConnectionId = 1;
    std::vector<std::unique_ptr<MinimalForwarder>> Forwarders;  // of the current round
};

std::optional<TrafficLane> BenchRun::ForwardedLane() {
    std::optional<TrafficLane> lane = ConnectLane(Server.ControlPort(), NextConnectionId++);
    if (!lane) return std::nullopt;
    std::unique_ptr<MinimalForwarder> forwarder = MinimalForwarder::Start(lane->DestinationPort);
    if (!forwarder) return std::nullopt;
    lane->DestinationPort = forwarder->ClientPort();
    Forwarders.push_back(std::move(forwarder));
    return lane;
}

std::optional<std::vector<TrafficLane>> BenchRun::Lanes(BenchSystem system, uint16_t relayPort) {
    std::vector<TrafficLane> lanes;
    for (int index = 0; index < Options.Shape.ManyConnections; ++index) {
        std::optional<TrafficLane> lane;
        switch (system) {
            case BenchSystem::Direct: lane = ConnectLane(Server.ControlPort(), NextConnectionId++); break;
            case BenchSystem::Endpoint: lane = ConnectLane(relayPort, NextConnectionId++); break;
            case BenchSystem::Listener: lane = OpenLane(relayPort, NextConnectionId++); break;
            case BenchSystem::Forwarder: lane = ForwardedLane(); break;
        }
        if (!lane) return std::nullopt;
        lanes.push_back(std::move(*lane));
    }
    return lanes;
}

FigureSet BenchRun::MeasureSystem(std::vector<TrafficLane>& lanes, const RequestCodec& codec, int relayPid) {
    FigureSet figures;
    const int warmUp = std::max(50, Options.Samples / 10);
    const LatencyResult small = MeasureLatency(lanes[0], codec, Options.Shape.SmallSize, Options.Samples, warmUp);
    const LatencyResult large = MeasureLatency(lanes[0], codec, Options.Shape.LargeSize, Options.Samples, warmUp);
    figures[Figure::P50Small] = Percentile(small.Microseconds, 50);
    figures[Figure::P99Small] = Percentile(small.Microseconds, 99);
    figures[Figure::P50Large] = Percentile(large.Microseconds, 50);
    figures[Figure::P99Large] = Percentile(large.Microseconds, 99);

    std::vector<TrafficLane*> one{&lanes[0]};
    std::vector<TrafficLane*> many;
    for (TrafficLane& lane : lanes) many.push_back(&lane);
    const auto duration = std::chrono::milliseconds(Options.ThroughputMs);
    const std::optional<double> cpuBefore = relayPid > 0 ? CpuSeconds(relayPid) : std::nullopt;
    const ThroughputResult single = MeasureThroughput(one, codec, Options.Shape.SmallSize, Options.InFlight, duration);
    const ThroughputResult concurrent = MeasureThroughput(many, codec, Options.Shape.SmallSize, Options.InFlight, duration);
    const std::optional<double> cpuAfter = relayPid > 0 ? CpuSeconds(relayPid) : std::nullopt;
    figures[Figure::RoundTripsOne] = single.RoundTripsPerSecond;
    figures[Figure::RoundTripsMany] = concurrent.RoundTripsPerSecond;
    // Each round trip is two forwarded datagrams: the request and the reply.
    const double forwarded = 2.0 * static_cast<double>(single.Received + concurrent.Received);
    if (cpuBefore && cpuAfter && forwarded > 0) figures[Figure::CpuPerMillion] = (*cpuAfter - *cpuBefore) / forwarded * 1e6;
    figures[Figure::Lost] = static_cast<double>(small.Lost + small.Corrupt + large.Lost + large.Corrupt + single.Lost +
                                                single.Corrupt + concurrent.Lost + concurrent.Corrupt);
    return figures;
}

// A relay of its own, so that the log of the other measurements does not
// count: its memory with one live connection, then with MemoryConnections.
bool BenchRun::MeasureConnectionMemory(FigureSet& endpoint, std::string* failure) {
    std::unique_ptr<RelayProcess> relay = RelayProcess::Start(Launch(), failure);
    if (!relay) return false;
    const std::optional<int> startThreads = ThreadCount(relay->Pid());
    std::vector<TrafficLane> lanes;
    uint64_t lost = 0;
    const RequestCodec codec = RequestCodec::GameEcho();
    for (int index = 0; index < Options.Shape.MemoryConnections; ++index) {
        std::optional<TrafficLane> lane = ConnectLane(relay->ListenPort(), NextConnectionId++);
        if (!lane) {
            *failure = "connection " + std::to_string(index + 1) + " through the relay was not accepted";
            return false;
        }
        const LatencyResult exchange = MeasureLatency(*lane, codec, Options.Shape.SmallSize, index == 0 ? 100 : 1, 0);
        lost += exchange.Lost + exchange.Corrupt;
        lanes.push_back(std::move(*lane));
        if (index == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the allocator settle
            endpoint[Figure::RssOneMb] = Megabytes(ResidentKilobytes(relay->Pid()));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    endpoint[Figure::RssManyMb] = Megabytes(ResidentKilobytes(relay->Pid()));
    endpoint[Figure::Lost] += static_cast<double>(lost);
    const std::optional<int> threads = ThreadCount(relay->Pid());
    std::printf("  memory relay: %zu connections, threads %d -> %d, \"New TCP/IP Connection\" lines %llu\n",
                lanes.size(), startThreads.value_or(-1), threads.value_or(-1),
                static_cast<unsigned long long>(relay->Output().CountOf("New TCP/IP Connection")));
    relay->Stop();
    return true;
}

bool BenchRun::RunRound(int round, std::string* failure) {
    std::unique_ptr<RelayProcess> relay = RelayProcess::Start(Launch(), failure);
    if (!relay) return false;
    std::array<std::optional<std::vector<TrafficLane>>, SystemCount> lanes;
    const std::array<BenchSystem, SystemCount> systems = {BenchSystem::Direct, BenchSystem::Endpoint,
                                                          BenchSystem::Listener, BenchSystem::Forwarder};
    Forwarders.clear();
    for (const BenchSystem system : systems) {
        lanes[static_cast<size_t>(system)] = Lanes(system, relay->ListenPort());
        if (!lanes[static_cast<size_t>(system)]) {
            *failure = std::string("could not open the lanes of ") + SystemName(system);
            return false;
        }
    }
    const RequestCodec game = RequestCodec::GameEcho();
    // The listener puts its own address text into server-information replies.
    const RequestCodec info = RequestCodec::ServerInfo(relay->LocalAddrText());
    std::array<FigureSet, SystemCount> figures;
    // A different system goes first in each round.
    for (int step = 0; step < SystemCount; ++step) {
        const BenchSystem system = systems[static_cast<size_t>((round + step) % SystemCount)];
        if (Options.Only && system != BenchSystem::Direct && system != *Options.Only) continue;
        const size_t index = static_cast<size_t>(system);
        const bool relayed = system == BenchSystem::Endpoint || system == BenchSystem::Listener;
        const int pid = relayed ? relay->Pid() : -1;
        figures[index] = MeasureSystem(*lanes[index], system == BenchSystem::Listener ? info : game, pid);
    }
    std::printf("  traffic relay: %llu log lines, RSS %.1f MB after the round's traffic\n",
                static_cast<unsigned long long>(relay->Output().TotalLines()), Megabytes(ResidentKilobytes(relay->Pid())));
    const StopResult stopped = relay->Stop();
    if (!stopped.EndedOnSignal) std::printf("  note: the relay did not end on SIGTERM and was killed\n");
    if (!Options.Only && !MeasureConnectionMemory(figures[static_cast<size_t>(BenchSystem::Endpoint)], failure))
        return false;
    for (const BenchSystem system : systems) Table.Record(round, system, figures[static_cast<size_t>(system)]);
    return true;
}

int Main(int argc, char** argv) {
    const std::optional<BenchOptions> options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(Usage, stderr);
        return 2;
    }
    RaiseDescriptorLimit();
    const auto started = Clock::now();
    std::printf("relvane_bench: measuring the real relvane program, started headless in a temporary directory\n");
    std::printf("  program: %s\n", options->Program.c_str());
    std::printf("  %d rounds; latency: %d round trips per size, one at a time; throughput: %d ms per run, %zu-byte\n"
                "  datagrams, %d in flight per connection; CPU: relay utime+stime per million forwarded datagrams\n"
                "  (request and reply each count) over the throughput runs; memory: VmRSS of a fresh relay\n",
                options->Rounds, options->Samples, options->ThroughputMs, options->Shape.SmallSize, options->InFlight);
    std::printf("  forwarder: a reference, not the relay: a minimal forwarding thread per connection in this process\n");
    std::printf("  processors: %u, load average at start: %s\n", std::thread::hardware_concurrency(), LoadAverage().c_str());
    std::fflush(stdout);

    std::unique_ptr<FakeGameServer> server = FakeGameServer::Start();
    if (!server) {
        std::fprintf(stderr, "relvane_bench: cannot start the fake game server\n");
        return 1;
    }
    BenchRun run(*options, *server);
    for (int round = 0; round < options->Rounds; ++round) {
        std::string failure;
        if (!run.RunRound(round, &failure)) {
            std::fprintf(stderr, "relvane_bench: round %d failed: %s\n", round + 1, failure.c_str());
            return 1;
        }
        run.Results().PrintRound(stdout, round);
    }
    run.Results().PrintSummary(stdout);
    run.Results().PrintTargets(stdout);
    std::printf("\nload average at end: %s; run took %.1f s\n", LoadAverage().c_str(),
                std::chrono::duration<double>(Clock::now() - started).count());
    return 0;
}

}  // namespace
}  // namespace relvane::bench

int main(int argc, char** argv) { return relvane::bench::Main(argc, argv); }
