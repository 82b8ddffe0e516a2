#pragma once
// The benchmark's figures: one set per system and round, printed as medians
// over the rounds, each also as the median of its per-round ratio to the
// direct system, and judged against the targets.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace relvane::bench {

// Forwarder is a reference, not the relay: see MinimalForwarder.h.
enum class BenchSystem { Direct, Endpoint, Listener, Forwarder };
inline constexpr int SystemCount = 4;
const char* SystemName(BenchSystem system);

enum class Figure {
    P50Small,
    P99Small,
    P50Large,
    P99Large,
    RoundTripsOne,
    RoundTripsMany,
    Lost,
    CpuPerMillion,
    RssOneMb,
    RssManyMb,
};
inline constexpr int FigureCount = 10;

// NaN marks a figure that a system does not have (no relay process: no CPU
// or memory of one).
struct FigureSet {
    std::array<double, FigureCount> Values;
    FigureSet();
    double& operator[](Figure figure) { return Values[static_cast<size_t>(figure)]; }
    double operator[](Figure figure) const { return Values[static_cast<size_t>(figure)]; }
};

struct BenchShape {
    int Rounds = 0;
    size_t SmallSize = 32;
    size_t LargeSize = 1400;
    int ManyConnections = 16;
    int MemoryConnections = 256;
};

class BenchTable {
public:
    explicit BenchTable(BenchShape shape);

    void Record(int round, BenchSystem system, const FigureSet& figures);
    void PrintRound(std::FILE* out, int round) const;
    void PrintSummary(std::FILE* out) const;
    // Prints the targets with PASS / MISS; true when all pass.
    bool PrintTargets(std::FILE* out) const;

private:
    double Median(BenchSystem system, Figure figure) const;
    double MedianRatio(BenchSystem system, Figure figure) const;
    double Largest(BenchSystem system, Figure figure) const;
    double Sum(BenchSystem system, Figure figure) const;
    std::vector<std::string> Headers() const;

    BenchShape Shape;
    // [round][system]
    std::vector<std::array<FigureSet, SystemCount>> Rounds;
};

}  // namespace relvane::bench
