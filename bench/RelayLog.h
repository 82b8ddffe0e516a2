#pragma once
// Reads the lines that the headless relay writes to one of its output pipes,
// on a thread of its own, so that the relay never blocks on a full pipe. It
// counts the lines that begin with each prefix of interest and keeps the last
// few lines for the report. Any thread may ask; the reader thread ends at the
// end of the pipe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace relvane::bench {

class RelayLog {
public:
    // Takes ownership of descriptor (the read end of the pipe).
    RelayLog(int descriptor, std::vector<std::string> countedPrefixes);
    ~RelayLog();  // waits for the end of the pipe
    RelayLog(const RelayLog&) = delete;
    RelayLog& operator=(const RelayLog&) = delete;

    // Waits up to limit for a line that begins with prefix (seen already or
    // still to come) and returns the first such line.
    std::optional<std::string> WaitForLine(const std::string& prefix, std::chrono::milliseconds limit);

    uint64_t CountOf(const std::string& prefix) const;  // a counted prefix
    uint64_t TotalLines() const;
    std::vector<std::pair<std::string, uint64_t>> Counts() const;
    std::vector<std::string> RecentLines() const;

private:
    void Read();  // reader thread
    void TakeLine(std::string line);
    // The first line seen that begins with prefix; Lock held.
    std::optional<std::string> FindLocked(const std::string& prefix) const;

    const int Descriptor;
    const std::vector<std::string> Prefixes;

    mutable std::mutex Lock;  // guards everything below
    std::condition_variable LineArrived;
    std::vector<uint64_t> PrefixCounts;
    std::vector<std::string> FirstLines;  // the first line of each counted prefix
    std::deque<std::string> Recent;
    std::vector<std::string> EarlyLines;  // the first lines of the run, for WaitForLine
    uint64_t Total = 0;
    bool Ended = false;

    std::thread Reader;
};

}  // namespace relvane::bench
