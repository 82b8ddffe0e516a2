// relvane_soak: a bounded soak run of the real relvane program, headless.
// A fake game server, a few hundred clients that connect through the
// listener, exchange game datagrams at game rates, go silent and are ended by
// the relay's idle time-out, and bad datagrams of every kind mixed in. At the
// end the run checks that no game datagram was lost or corrupted, that the
// relay's threads and descriptors are back where they started, that its
// memory did not grow in the second half, and that it still answers; it
// exits non-zero unless all of this holds.


#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/FakeGameServer.h"
#include "bench/ListenerLane.h"
#include "bench/ProcessStats.h"
#include "bench/RelayProcess.h"
#include "bench/SessionDriver.h"
#include "bench/SoakTally.h"

#ifndef RELVANE_DEFAULT_PROGRAM
#define RELVANE_DEFAULT_PROGRAM "relvane"
#endif

namespace relvane::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double RelayIdleSeconds = 30;       // the program's idle time-out of a connection endpoint
constexpr double EndPhaseAllowance = 45;      // how long past the nominal end the drain may take
constexpr auto SampleInterval = std::chrono::seconds(2);
constexpr double MinSessionSeconds = 3;
constexpr double MaxSessionSeconds = 8;

struct SoakOptions {
    std::string Program = RELVANE_DEFAULT_PROGRAM;
    int Seconds = 60;
    int Clients = 300;
    int MinRate = 20;
    int MaxRate = 30;
    double MixedPerSecond = 20;
    double ToleranceMb = 2;
    uint64_t Seed = 1;
};

const char* const Usage =
    "usage: relvane_soak [--relvane PATH] [--seconds N] [--clients N] [--rate MIN-MAX]\n"
    "                    [--mixed-per-second N] [--tolerance-mb N] [--seed N]\n"
    "  --relvane PATH        the relay program (default: the one built with this tree)\n"
    "  --seconds N           nominal length of the run (default 60); the end phase may add up to 45 s\n"
    "                        while the last connections reach the relay's 30-second idle time-out\n"
    "  --clients N           clients that connect during the run (default 300)\n"
    "  --rate MIN-MAX        game datagrams per second of each client (default 20-30)\n"
    "  --mixed-per-second N  listener traffic between connections: queries and bad datagrams (default 20)\n"
    "  --tolerance-mb N      allowed RSS growth over the second half (default 2)\n"
    "  --seed N              seed of the schedule and the contents (default 1)\n";

std::optional<SoakOptions> ParseOptions(int argc, char** argv) {
    SoakOptions options;
    for (int index = 1; index < argc; ++index) {
        const std::string name = argv[index];
        if (name == "--help" || name == "-h" || index + 1 >= argc) return std::nullopt;
        const std::string value = argv[++index];
        const double number = std::atof(value.c_str());
        if (name == "--relvane") options.Program = value;
        else if (name == "--seconds" && number >= 10) options.Seconds = static_cast<int>(number);
        else if (name == "--clients" && number >= 1) options.Clients = static_cast<int>(number);
        else if (name == "--mixed-per-second" && number > 0) options.MixedPerSecond = number;
        else if (name == "--tolerance-mb" && number >= 0) options.ToleranceMb = number;
        else if (name == "--seed" && number >= 1) options.Seed = static_cast<uint64_t>(number);
        else if (name == "--rate" && std::sscanf(value.c_str(), "%d-%d", &options.MinRate, &options.MaxRate) == 2 &&
                 options.MinRate >= 1 && options.MaxRate >= options.MinRate) {
        } else return std::nullopt;
    }
    return options;
}

// Connections start during the first part of the run and each ends by
// RelayIdleSeconds after its last datagram, so that all have ended by the
// nominal end. A long run keeps starting connections, at a pace that keeps
// about Clients of them alive at once (each lives a session plus the idle time).
std::vector<ScheduledSession> Schedule(const SoakOptions& options, double connectSeconds) {
    const double lifetime = MaxSessionSeconds + RelayIdleSeconds + 2;
    const int sessions = std::max(options.Clients, static_cast<int>(options.Clients * connectSeconds / lifetime));
    ByteStream random(options.Seed * 7919);
    std::vector<ScheduledSession> schedule;
    for (int index = 0; index < sessions; ++index) {
        ScheduledSession session;
        session.StartOffset = std::chrono::milliseconds(static_cast<int64_t>(connectSeconds * 1000 * index / sessions));
        session.Plan.Duration = std::chrono::milliseconds(
            random.Between(static_cast<uint32_t>(MinSessionSeconds * 1000), static_cast<uint32_t>(MaxSessionSeconds * 1000)));
        session.Plan.DatagramsPerSecond = random.Between(static_cast<uint32_t>(options.MinRate), static_cast<uint32_t>(options.MaxRate));
        schedule.push_back(session);
    }
    return schedule;
}

struct Sample {
    double Seconds = 0;
    long RssKb = 0;
    int Threads = 0;
    int Descriptors = 0;
    uint64_t LogLines = 0;  // the relay keeps its newest 5000 log lines in its window
};

std::optional<Sample> TakeSample(const RelayProcess& relay, Clock::time_point begin) {
    const auto rss = ResidentKilobytes(relay.Pid());
    const auto threads = ThreadCount(relay.Pid());
    const auto descriptors = OpenDescriptorCount(relay.Pid());
    if (!rss || !threads || !descriptors) return std::nullopt;
    return Sample{std::chrono::duration<double>(Clock::now() - begin).count(), *rss, *threads, *descriptors,
                  relay.Output().TotalLines()};
}

void PrintSample(const Sample& sample, const SoakTally& tally) {
    std::printf("  %6.1f s  sessions live %3d  connected %5llu  game sent %8llu echoed %8llu  RSS %6.1f MB  "
                "threads %3d  fds %4d  log lines %llu\n",
                sample.Seconds, tally.LiveSessions.load(), static_cast<unsigned long long>(tally.SessionsConnected.load()),
                static_cast<unsigned long long>(tally.GameSent.load()), static_cast<unsigned long long>(tally.GameEchoed.load()),
                sample.RssKb / 1024.0, sample.Threads, sample.Descriptors,
                static_cast<unsigned long long>(sample.LogLines));
    std::fflush(stdout);
}

// Asks the relay for its target: true when it still answers.
bool RelayAnswers(uint16_t listenPort) {
    std::optional<LoopbackSocket> asker = LoopbackSocket::Open();
    if (!asker) return false;
    const uint8_t none[4] = {0, 0, 0, 0};
    std::vector<uint8_t> buffer(2048);
    if (!asker->SendTo(listenPort, RemoteControlRequest(0, none, 0))) return false;
    const auto reply = asker->Receive(buffer, std::chrono::seconds(2));
    return reply && ParseRemoteReply(std::span<const uint8_t>(buffer.data(), reply->Length));
}

class Verdict {
public:
    void Check(bool held, const std::string& text) {
        std::printf("  %s  %s\n", held ? "PASS" : "FAIL", text.c_str());
        AllHeld = AllHeld && held;
    }
    bool Passed() const { return AllHeld; }

private:
    bool AllHeld = true;
};

std::string Count(const std::atomic<uint64_t>& value) { return std::to_string(value.load()); }

void PrintTraffic(const SoakTally& tally, const FakeGameServer& server) {
    std::printf("\nTraffic\n");
    std::printf("  sessions: %s connected, %s finished, %s connection requests unanswered\n",
                Count(tally.SessionsConnected).c_str(), Count(tally.SessionsFinished).c_str(),
                Count(tally.ConnectFailures).c_str());
    std::printf("  game datagrams: %s sent, %s echoed, %s lost, %s corrupt, %s misrouted, %s duplicated\n",
                Count(tally.GameSent).c_str(), Count(tally.GameEchoed).c_str(), Count(tally.GameLost).c_str(),
                Count(tally.GameCorrupt).c_str(), Count(tally.GameMisrouted).c_str(), Count(tally.GameDuplicates).c_str());
    std::printf("  bad datagrams sent: random %s, oversized (9000 bytes) %s, truncated control %s, unknown commands %s,\n"
                "    QuakeWorld-like %s, remote control to endpoints %s, game datagrams asking for a bad server datagram %s\n",
                Count(tally.RandomBytes).c_str(), Count(tally.Oversized).c_str(), Count(tally.TruncatedControl).c_str(),
                Count(tally.UnknownCommands).c_str(), Count(tally.QuakeWorldLike).c_str(),
                Count(tally.RemoteControlToEndpoints).c_str(), Count(tally.FlaggedGame).c_str());
    std::printf("  foreign datagrams echoed back to clients (noise, expected): %s\n", Count(tally.ForeignReceived).c_str());
    std::printf("  listener: %s server-info queries (%s faults), %s bad server replies asked for (%s forwarded),\n"
                "    remote control: %s queries, %s sets, %s truncated (%s faults)\n",
                Count(tally.InfoQueries).c_str(), Count(tally.InfoFaults).c_str(), Count(tally.BadInfoQueries).c_str(),
                Count(tally.BadInfoAnswered).c_str(), Count(tally.RemoteQueries).c_str(), Count(tally.RemoteSets).c_str(),
                Count(tally.RemoteTruncated).c_str(), Count(tally.RemoteFaults).c_str());
    const FakeServerCounters& served = server.Counters();
    std::printf("  fake server: %s accepts, %s info replies, %s bad replies, %s echoes, %s extra datagrams, "
                "%s ignored, %s send failures\n",
                Count(served.Accepts).c_str(), Count(served.InfoReplies).c_str(), Count(served.BadReplies).c_str(),
                Count(served.Echoes).c_str(), Count(served.ExtrasSent).c_str(), Count(served.Ignored).c_str(),
                Count(served.SendFailures).c_str());
}

void PrintRelayLog(const RelayProcess& relay) {
    std::printf("\nRelay log (%llu lines on standard output, %llu on standard error)\n",
                static_cast<unsigned long long>(relay.Output().TotalLines()),
                static_cast<unsigned long long>(relay.Errors().TotalLines()));
    for (const auto& [prefix, count] : relay.Output().Counts())
        if (count > 0) std::printf("  %8llu  %s...\n", static_cast<unsigned long long>(count), prefix.c_str());
    const std::vector<std::string> errors = relay.Errors().RecentLines();
    for (const std::string& line : errors) std::printf("  stderr: %s\n", line.c_str());
}

int Main(int argc, char** argv) {
    const std::optional<SoakOptions> options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(Usage, stderr);
        return 2;
    }
    RaiseDescriptorLimit();
    std::unique_ptr<FakeGameServer> server = FakeGameServer::Start();
    if (!server) {
        std::fprintf(stderr, "relvane_soak: cannot start the fake game server\n");
        return 1;
    }
    std::string failure;
    std::unique_ptr<RelayProcess> relay =
        RelayProcess::Start(RelayLaunch{options->Program, "127.0.0.1", server->ControlPort()}, &failure);
    if (!relay) {
        std::fprintf(stderr, "relvane_soak: %s\n", failure.c_str());
        return 1;
    }
    const auto begin = Clock::now();
    const std::optional<Sample> start = TakeSample(*relay, begin);
    if (!start) {
        std::fprintf(stderr, "relvane_soak: cannot read /proc of the relay\n");
        return 1;
    }

    const double seconds = options->Seconds;
    const double connectSeconds = std::max(seconds - 40, seconds / 3);
    SoakTally tally;
    std::unique_ptr<SessionDriver> driver = SessionDriver::Start(tally, options->Seed);
    LanePlan plan;
    plan.Begin = begin;
    plan.StopMixing = begin + std::chrono::milliseconds(static_cast<int64_t>((seconds - 5) * 1000));
    plan.Sessions = Schedule(*options, connectSeconds);
    plan.ListenPort = relay->ListenPort();
    plan.RelayAddressText = relay->LocalAddrText();
    plan.ServerPort = server->ControlPort();
    plan.MixedPerSecond = options->MixedPerSecond;
    plan.Seed = options->Seed;
    std::unique_ptr<ListenerLane> lane = driver ? ListenerLane::Start(plan, *driver, tally) : nullptr;
    if (!lane) {
        std::fprintf(stderr, "relvane_soak: cannot open the clients' sockets\n");
        return 1;
    }

    std::printf("relvane_soak: the real relvane program, headless (%s)\n", options->Program.c_str());
    std::printf("  %zu sessions starting over the first %.0f s, each %.0f-%.0f s at %d-%d game datagrams/s, then silent;\n"
                "  listener traffic %.0f/s until %.0f s; nominal end %d s, end phase up to %.0f s more\n",
                plan.Sessions.size(), connectSeconds, MinSessionSeconds, MaxSessionSeconds, options->MinRate,
                options->MaxRate, options->MixedPerSecond, seconds - 5, options->Seconds, EndPhaseAllowance);
    std::printf("  relay at start: RSS %.1f MB, threads %d, fds %d, listener %s on port %u\n", start->RssKb / 1024.0,
                start->Threads, start->Descriptors, relay->LocalAddrText().c_str(), relay->ListenPort());
    std::fflush(stdout);

    // Samples until the nominal end has passed, the clients are done and the
    // relay's threads and descriptors are back where they started.
    std::vector<Sample> samples{*start};
    bool clientsDone = false;
    bool drained = false;
    const auto deadline = begin + std::chrono::milliseconds(static_cast<int64_t>((seconds + EndPhaseAllowance) * 1000));
    auto nextPrint = begin;
    while (Clock::now() < deadline && relay->Running()) {
        std::this_thread::sleep_for(SampleInterval);
        const std::optional<Sample> sample = TakeSample(*relay, begin);
        if (!sample) break;
        samples.push_back(*sample);
        if (Clock::now() >= nextPrint) {
            PrintSample(*sample, tally);
            nextPrint += std::chrono::seconds(10);
        }
        clientsDone = clientsDone || (tally.SessionsFinished.load() + tally.ConnectFailures.load() >= plan.Sessions.size() &&
                                      Clock::now() >= plan.StopMixing);
        drained = sample->Threads <= start->Threads && sample->Descriptors <= start->Descriptors;
        if (clientsDone && drained && sample->Seconds >= seconds) break;
    }
    lane->Join();
    driver->Join();
    const Sample last = samples.back();
    PrintSample(last, tally);

    // Memory over the second half of the run: the first sample from its
    // start on is the reference, the largest one after it the growth.
    const auto half = std::find_if(samples.begin(), samples.end(), [&](const Sample& s) { return s.Seconds >= seconds / 2; });
    const Sample& reference = half != samples.end() ? *half : last;
    Sample largest = reference;
    for (auto sample = half; sample != samples.end(); ++sample)
        if (sample->RssKb > largest.RssKb) largest = *sample;
    const double growthMb = (largest.RssKb - reference.RssKb) / 1024.0;
    long peak = 0;
    for (const Sample& sample : samples) peak = std::max(peak, sample.RssKb);

    const bool answers = relay->Running() && RelayAnswers(relay->ListenPort());
    const uint64_t newConnections = relay->Output().CountOf("New TCP/IP Connection");
    const StopResult stopped = relay->Stop();
    PrintTraffic(tally, *server);
    PrintRelayLog(*relay);

    std::printf("\nMemory: start %.1f MB, peak %.1f MB, end %.1f MB; second half: %.1f MB at %.1f s -> largest %.1f MB "
                "at %.1f s,\n  while the relay logged %llu more lines (its window keeps the newest 5000)\n",
                start->RssKb / 1024.0, peak / 1024.0, last.RssKb / 1024.0, reference.RssKb / 1024.0, reference.Seconds,
                largest.RssKb / 1024.0, largest.Seconds,
                static_cast<unsigned long long>(largest.LogLines - reference.LogLines));
    std::printf("  by the minute:");
    double nextMinute = 0;
    for (const Sample& sample : samples) {
        if (sample.Seconds < nextMinute) continue;
        std::printf("  %.0f s %.1f MB", sample.Seconds, sample.RssKb / 1024.0);
        nextMinute = (static_cast<int>(sample.Seconds) / 60 + 1) * 60.0;
    }
    std::printf("\n");
    std::printf("\nChecks (run took %.1f s)\n", std::chrono::duration<double>(Clock::now() - begin).count());
    Verdict verdict;
    verdict.Check(tally.ConnectFailures.load() == 0 && tally.SessionsConnected.load() == plan.Sessions.size(),
                  "every client's connection request was accepted (" + Count(tally.SessionsConnected) + " of " +
                      std::to_string(plan.Sessions.size()) + ")");
    verdict.Check(tally.GameLost.load() == 0 && tally.GameCorrupt.load() == 0 && tally.GameMisrouted.load() == 0 &&
                      tally.GameSent.load() > 0,
                  "no game datagram lost, corrupted or misrouted (" + Count(tally.GameSent) + " sent)");
    verdict.Check(tally.InfoFaults.load() == 0 && tally.InfoQueries.load() > 0,
                  "every server-information reply arrived naming the relay (" + relay->LocalAddrText() + ")");
    verdict.Check(tally.RemoteFaults.load() == 0 && tally.RemoteSets.load() > 0, "every remote-control request answered as sent");
    verdict.Check(drained, "connections back to 0: threads " + std::to_string(last.Threads) + " (start " +
                               std::to_string(start->Threads) + "), descriptors " + std::to_string(last.Descriptors) +
                               " (start " + std::to_string(start->Descriptors) + "), " + std::to_string(newConnections) +
                               " connections made");
    char memory[160];
    std::snprintf(memory, sizeof memory, "RSS grew %.2f MB over the second half (tolerance %.1f MB)", growthMb,
                  options->ToleranceMb);
    verdict.Check(growthMb <= options->ToleranceMb, memory);
    verdict.Check(answers, "the relay still answered at the end");
    verdict.Check(stopped.EndedOnSignal, "the relay ended on SIGTERM (exit code " + std::to_string(stopped.ExitCode) + ")");
    std::printf("%s\n", verdict.Passed() ? "SOAK PASSED" : "SOAK FAILED");
    return verdict.Passed() ? 0 : 1;
}

}  // namespace
}  // namespace relvane::bench

int main(int argc, char** argv) { return relvane::bench::Main(argc, argv); }
