#include "bench/BenchTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace relvane::bench {
namespace {

constexpr double NotMeasured = std::numeric_limits<double>::quiet_NaN();
constexpr std::array<BenchSystem, SystemCount> AllSystems = {BenchSystem::Direct, BenchSystem::Endpoint,
                                                              BenchSystem::Listener, BenchSystem::Forwarder};
constexpr int NameWidth = 9;
constexpr int ColumnWidth = 11;

// Ratios make no sense for a count of losses.
bool HasRatio(Figure figure) { return figure != Figure::Lost; }

double MedianOf(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double value) { return std::isnan(value); }),
                 values.end());
    if (values.empty()) return NotMeasured;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string Cell(double value, int decimals) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

int Decimals(Figure figure) {
    switch (figure) {
        case Figure::RoundTripsOne:
        case Figure::RoundTripsMany:
        case Figure::Lost: return 0;
        case Figure::CpuPerMillion: return 2;
        default: return 1;
    }
}

void PrintRow(std::FILE* out, const std::string& name, const std::vector<std::string>& cells) {
    std::fprintf(out, "%-*s", NameWidth, name.c_str());
    for (const std::string& cell : cells) std::fprintf(out, " %*s", ColumnWidth, cell.c_str());
    std::fprintf(out, "\n");
}

}  // namespace

const char* SystemName(BenchSystem system) {
    switch (system) {
        case BenchSystem::Direct: return "direct";
        case BenchSystem::Endpoint: return "endpoint";
        case BenchSystem::Listener: return "listener";
        case BenchSystem::Forwarder: return "forwarder";
    }
    return "?";
}

FigureSet::FigureSet() { Values.fill(NotMeasured); }

BenchTable::BenchTable(BenchShape shape) : Shape(shape), Rounds(static_cast<size_t>(shape.Rounds)) {}

void BenchTable::Record(int round, BenchSystem system, const FigureSet& figures) {
    Rounds[static_cast<size_t>(round)][static_cast<size_t>(system)] = figures;
}

std::vector<std::string> BenchTable::Headers() const {
    const std::string small = std::to_string(Shape.SmallSize) + "B";
    const std::string large = std::to_string(Shape.LargeSize) + "B";
    return {"p50 " + small,
            "p99 " + small,
            "p50 " + large,
            "p99 " + large,
            "rt/s 1c",
            "rt/s " + std::to_string(Shape.ManyConnections) + "c",
            "lost",
            "CPU s/M",
            "RSS 1c MB",
            "RSS " + std::to_string(Shape.MemoryConnections) + "c"};
}

double BenchTable::Median(BenchSystem system, Figure figure) const {
    std::vector<double> values;
    for (const auto& round : Rounds) values.push_back(round[static_cast<size_t>(system)][figure]);
    return MedianOf(values);
}

double BenchTable::MedianRatio(BenchSystem system, Figure figure) const {
    std::vector<double> ratios;
    for (const auto& round : Rounds) {
        const double floor = round[static_cast<size_t>(BenchSystem::Direct)][figure];
        const double value = round[static_cast<size_t>(system)][figure];
        ratios.push_back(floor > 0 ? value / floor : NotMeasured);
    }
    return MedianOf(ratios);
}

double BenchTable::Largest(BenchSystem system, Figure figure) const {
    double largest = NotMeasured;
    for (const auto& round : Rounds) {
        const double value = round[static_cast<size_t>(system)][figure];
        if (!std::isnan(value) && (std::isnan(largest) || value > largest)) largest = value;
    }
    return largest;
}

double BenchTable::Sum(BenchSystem system, Figure figure) const {
    double sum = 0;
    for (const auto& round : Rounds) {
        const double value = round[static_cast<size_t>(system)][figure];
        if (!std::isnan(value)) sum += value;
    }
    return sum;
}

void BenchTable::PrintRound(std::FILE* out, int round) const {
    std::fprintf(out, "round %d\n", round + 1);
    PrintRow(out, "", Headers());
    for (const BenchSystem system : AllSystems) {
        std::vector<std::string> cells;
        for (int index = 0; index < FigureCount; ++index) {
            const Figure figure = static_cast<Figure>(index);
            cells.push_back(Cell(Rounds[static_cast<size_t>(round)][static_cast<size_t>(system)][figure], Decimals(figure)));
        }
        PrintRow(out, SystemName(system), cells);
    }
    std::fflush(out);
}

void BenchTable::PrintSummary(std::FILE* out) const {
    std::fprintf(out, "\nMedians over %d rounds (lost: sum over the rounds)\n", Shape.Rounds);
    PrintRow(out, "", Headers());
    for (const BenchSystem system : AllSystems) {
        std::vector<std::string> cells;
        for (int index = 0; index < FigureCount; ++index) {
            const Figure figure = static_cast<Figure>(index);
            cells.push_back(Cell(figure == Figure::Lost ? Sum(system, figure) : Median(system, figure), Decimals(figure)));
        }
        PrintRow(out, SystemName(system), cells);
    }
    std::fprintf(out, "\nRatio to direct of the same round (median of the per-round ratios)\n");
    PrintRow(out, "", Headers());
    for (const BenchSystem system : AllSystems) {
        std::vector<std::string> cells;
        for (int index = 0; index < FigureCount; ++index) {
            const Figure figure = static_cast<Figure>(index);
            const double ratio = HasRatio(figure) ? MedianRatio(system, figure) : NotMeasured;
            cells.push_back(std::isnan(ratio) ? "-" : Cell(ratio, 2) + "x");
        }
        PrintRow(out, SystemName(system), cells);
    }
    std::fflush(out);
}

bool BenchTable::PrintTargets(std::FILE* out) const {
    struct Target {
        std::string Text;
        double Measured;
        std::string Unit;
        bool Met;
    };
    const auto ratio = [&](BenchSystem system, Figure figure) { return MedianRatio(system, figure); };
    const std::string small = std::to_string(Shape.SmallSize) + "B";
    const std::string large = std::to_string(Shape.LargeSize) + "B";
    const std::string many = std::to_string(Shape.ManyConnections);
    const double rssMany = Largest(BenchSystem::Endpoint, Figure::RssManyMb);
    std::vector<Target> targets = {
        {"endpoint p50 " + small + " <= 2.0x direct", ratio(BenchSystem::Endpoint, Figure::P50Small), "x",
         ratio(BenchSystem::Endpoint, Figure::P50Small) <= 2.0},
        {"endpoint p50 " + large + " <= 2.0x direct", ratio(BenchSystem::Endpoint, Figure::P50Large), "x",
         ratio(BenchSystem::Endpoint, Figure::P50Large) <= 2.0},
        {"endpoint p99 " + small + " <= 2.5x direct", ratio(BenchSystem::Endpoint, Figure::P99Small), "x",
         ratio(BenchSystem::Endpoint, Figure::P99Small) <= 2.5},
        {"endpoint p99 " + large + " <= 2.5x direct", ratio(BenchSystem::Endpoint, Figure::P99Large), "x",
         ratio(BenchSystem::Endpoint, Figure::P99Large) <= 2.5},
        {"endpoint rt/s " + many + "c >= 0.35x direct", ratio(BenchSystem::Endpoint, Figure::RoundTripsMany), "x",
         ratio(BenchSystem::Endpoint, Figure::RoundTripsMany) >= 0.35},
        {"endpoint lost == 0", Sum(BenchSystem::Endpoint, Figure::Lost), "", Sum(BenchSystem::Endpoint, Figure::Lost) == 0},
        {"listener lost == 0", Sum(BenchSystem::Listener, Figure::Lost), "", Sum(BenchSystem::Listener, Figure::Lost) == 0},
        {"RSS with " + std::to_string(Shape.MemoryConnections) + " live connections <= 40 MB (largest round)", rssMany,
         " MB", rssMany <= 40.0},
        {"listener server-info p50 " + small + " <= 5x direct", ratio(BenchSystem::Listener, Figure::P50Small), "x",
         ratio(BenchSystem::Listener, Figure::P50Small) <= 5.0},
    };
    std::fprintf(out, "\nTargets\n");
    bool allMet = true;
    for (const Target& target : targets) {
        // A figure that was not measured (--only) neither passes nor misses.
        const bool measured = !std::isnan(target.Measured);
        allMet = allMet && target.Met && measured;
        // Three decimals, so that a ratio just above its bound does not print as equal to it.
        std::fprintf(out, "  %-62s %10s%-3s %s\n", target.Text.c_str(), Cell(target.Measured, 3).c_str(),
                     target.Unit.c_str(), !measured ? "n/a" : target.Met ? "PASS" : "MISS");
    }
    std::fflush(out);
    return allMet;
}

}  // namespace relvane::bench
