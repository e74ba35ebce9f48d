#pragma once
// Figures of a process from /proc and getrusage.
//
// Thread contract: pure readers, any thread.

#include <sys/types.h>

namespace veltrix::bench {

// Resident set of process `pid` (0: this one) in MB; negative when unreadable.
double rss_mb(pid_t pid = 0);
// User + system time of this process so far, in seconds.
double cpu_seconds();

}  // namespace veltrix::bench
