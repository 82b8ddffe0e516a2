#include "bench/RelayLog.h"

#include <cerrno>
#include <unistd.h>

namespace relvane::bench {
namespace {

constexpr size_t RecentKept = 40;
constexpr size_t EarlyKept = 200;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

RelayLog::RelayLog(int descriptor, std::vector<std::string> countedPrefixes)
    : Descriptor(descriptor),
      Prefixes(std::move(countedPrefixes)),
      PrefixCounts(Prefixes.size(), 0),
      FirstLines(Prefixes.size()) {
    Reader = std::thread([this] { Read(); });
}

RelayLog::~RelayLog() {
    if (Reader.joinable()) Reader.join();
    ::close(Descriptor);
}

void RelayLog::Read() {
    std::string pending;
    char chunk[8192];
    for (;;) {
        const ssize_t length = ::read(Descriptor, chunk, sizeof chunk);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) break;
        pending.append(chunk, static_cast<size_t>(length));
        size_t start = 0;
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n', start)) {
            TakeLine(pending.substr(start, end - start));
            start = end + 1;
        }
        pending.erase(0, start);
    }
    if (!pending.empty()) TakeLine(pending);
    std::lock_guard lock(Lock);
    Ended = true;
    LineArrived.notify_all();
}

void RelayLog::TakeLine(std::string line) {
    std::lock_guard lock(Lock);
    ++Total;
    for (size_t index = 0; index < Prefixes.size(); ++index) {
        if (!StartsWith(line, Prefixes[index])) continue;
        if (PrefixCounts[index]++ == 0) FirstLines[index] = line;
    }
    if (EarlyLines.size() < EarlyKept) EarlyLines.push_back(line);
    Recent.push_back(std::move(line));
    if (Recent.size() > RecentKept) Recent.pop_front();
    LineArrived.notify_all();
}

std::optional<std::string> RelayLog::WaitForLine(const std::string& prefix, std::chrono::milliseconds limit) {
    std::unique_lock lock(Lock);
    std::optional<std::string> found;
    const auto seen = [&] {
        found = FindLocked(prefix);
        return found.has_value() || Ended;
    };
    LineArrived.wait_for(lock, limit, seen);
    return found;
}

std::optional<std::string> RelayLog::FindLocked(const std::string& prefix) const {
    for (const std::string& line : EarlyLines)
        if (StartsWith(line, prefix)) return line;
    for (size_t index = 0; index < Prefixes.size(); ++index)
        if (PrefixCounts[index] > 0 && StartsWith(FirstLines[index], prefix)) return FirstLines[index];
    return std::nullopt;
}

uint64_t RelayLog::CountOf(const std::string& prefix) const {
    std::lock_guard lock(Lock);
    for (size_t index = 0; index < Prefixes.size(); ++index)
        if (Prefixes[index] == prefix) return PrefixCounts[index];
    return 0;
}

uint64_t RelayLog::TotalLines() const {
    std::lock_guard lock(Lock);
    return Total;
}

std::vector<std::pair<std::string, uint64_t>> RelayLog::Counts() const {
    std::lock_guard lock(Lock);
    std::vector<std::pair<std::string, uint64_t>> counts;
    for (size_t index = 0; index < Prefixes.size(); ++index) counts.emplace_back(Prefixes[index], PrefixCounts[index]);
    return counts;
}

std::vector<std::string> RelayLog::RecentLines() const {
    std::lock_guard lock(Lock);
    return std::vector<std::string>(Recent.begin(), Recent.end());
}

}  // namespace relvane::bench
