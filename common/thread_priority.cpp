#include "common/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "common/realtime_kit.h"

namespace veltrix {

ThreadPriority raise_thread_priority(int realtime_priority, int nice) {
  sched_param param{};
  param.sched_priority = realtime_priority;
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
    return ThreadPriority::kRealTime;
  }
  if (realtime_kit_make_thread_realtime(realtime_priority)) {
    return ThreadPriority::kRealTimeThroughRealtimeKit;
  }
  // Linux gives each thread its own nice value through its thread id.
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice) == 0) {
    return ThreadPriority::kRaisedNice;
  }
  return ThreadPriority::kUnchanged;
}

const char* thread_priority_text(ThreadPriority priority) {
  switch (priority) {
    case ThreadPriority::kRealTime:
      return "real-time";
    case ThreadPriority::kRealTimeThroughRealtimeKit:
      return "real-time through RealtimeKit";
    case ThreadPriority::kRaisedNice:
      return "raised nice";
    case ThreadPriority::kUnchanged:
      break;
  }
  return "normal";
}

}  // namespace veltrix
