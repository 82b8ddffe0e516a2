#include "bench/ProcessStats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace relvane::bench {
namespace {

std::string ProcPath(int pid, const char* entry) { return "/proc/" + std::to_string(pid) + "/" + entry; }

std::optional<int> CountEntries(const std::string& directory) {
    std::error_code failure;
    std::filesystem::directory_iterator entries(directory, failure);
    if (failure) return std::nullopt;
    int count = 0;
    for (const auto& entry : entries) {
        (void)entry;
        ++count;
    }
    return count;
}

}  // namespace

std::optional<double> CpuSeconds(int pid) {
    std::ifstream file(ProcPath(pid, "stat"));
    std::string content;
    if (!std::getline(file, content)) return std::nullopt;
    // The command name in parentheses may hold blanks; the fields follow the last ')'.
    const size_t nameEnd = content.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(content.substr(nameEnd + 1));
    // From the state (field 3) on: utime is field 14 and stime field 15.
    std::string skipped;
    for (int field = 3; field < 14; ++field) fields >> skipped;
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    if (!(fields >> userTicks >> systemTicks)) return std::nullopt;
    return static_cast<double>(userTicks + systemTicks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<long> ResidentKilobytes(int pid) {
    std::ifstream file(ProcPath(pid, "status"));
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("VmRSS:", 0) != 0) continue;
        std::istringstream value(line.substr(6));
        long kilobytes = 0;
        if (value >> kilobytes) return kilobytes;
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<int> ThreadCount(int pid) { return CountEntries(ProcPath(pid, "task")); }

std::optional<int> OpenDescriptorCount(int pid) { return CountEntries(ProcPath(pid, "fd")); }

void RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace relvane::bench
