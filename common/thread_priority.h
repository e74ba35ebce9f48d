#pragma once
// Raising the calling thread above ordinary work, for threads that must keep
// pace with hardware (the capture thread, the link's reader, the simulated
// board): the real-time class SCHED_FIFO where the process may use it (root,
// CAP_SYS_NICE or an RLIMIT_RTPRIO), else SCHED_RR granted by RealtimeKit
// (common/realtime_kit.h), else a better nice value, else nothing. Failing
// to raise is not an error. The kernel still throttles real-time threads to
// 95 % of a core, so a runaway loop cannot lock the machine up; through
// RealtimeKit such a loop kills the process after 200 ms, so only threads
// that block on replies or sleep between pieces of work may be raised.
//
// Thread contract: acts on the calling thread only; any thread may call it.

namespace veltrix {

enum class ThreadPriority {
  kRealTime,                    // SCHED_FIFO
  kRealTimeThroughRealtimeKit,  // SCHED_RR, granted by RealtimeKit
  kRaisedNice,                  // the nice value asked for
  kUnchanged,
};

// `realtime_priority`: 1..99 for SCHED_FIFO (RealtimeKit may cap it lower);
// `nice`: the fallback (below 0).
ThreadPriority raise_thread_priority(int realtime_priority, int nice);

// "real-time", "real-time through RealtimeKit", "raised nice" or "normal",
// for reports.
const char* thread_priority_text(ThreadPriority priority);

}  // namespace veltrix
