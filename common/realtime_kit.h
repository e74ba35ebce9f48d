#pragma once
// Real-time scheduling for a user who may not take it alone: asks
// RealtimeKit (Debian's `rtkit`, the system service that audio servers get
// their threads from) over the system D-Bus. It grants SCHED_RR with
// SCHED_RESET_ON_FORK, up to its MaxRealtimePriority, and only to a process
// whose RLIMIT_RTTIME is at most its RTTimeUSecMax (200 ms by default),
// which this lowers first, for the whole process. A real-time thread that
// then runs that long without blocking is killed with its process (SIGXCPU,
// then SIGKILL): only threads that block on replies or sleep between pieces
// of work may ask. polkit decides who may (by default the users of local
// sessions, active or not). Without a system bus, without the service, or
// when it refuses, nothing changes and the call returns false within
// kRealtimeKitDeadline. DBUS_SYSTEM_BUS_ADDRESS names another system bus.
//
// Thread contract: acts on the calling thread only; any thread may call it;
// each call opens and closes a bus connection of its own.

#include <chrono>

namespace veltrix {

// The longest a call waits for the service's answer: its start on first use
// and polkit's verdict come well within it.
inline constexpr std::chrono::seconds kRealtimeKitDeadline{2};

// Whether the calling thread now runs in a real-time class. `priority` is
// lowered to the service's maximum.
bool realtime_kit_make_thread_realtime(int priority);

}  // namespace veltrix
