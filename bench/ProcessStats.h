#pragma once
// Figures of a running process read from /proc: CPU time, resident memory,
// threads and open descriptors. Each returns nullopt when the process is gone
// or the file cannot be read.

#include <optional>

namespace relvane::bench {

// User plus system CPU time in seconds (/proc/<pid>/stat utime + stime).
std::optional<double> CpuSeconds(int pid);
// VmRSS of /proc/<pid>/status, in kilobytes.
std::optional<long> ResidentKilobytes(int pid);
// Entries of /proc/<pid>/task.
std::optional<int> ThreadCount(int pid);
// Entries of /proc/<pid>/fd.
std::optional<int> OpenDescriptorCount(int pid);

// Hundreds of client sockets and game ports: lifts this process's soft limit
// on open descriptors to the hard one.
void RaiseDescriptorLimit();

}  // namespace relvane::bench
