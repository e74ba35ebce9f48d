#include "common/realtime_kit.h"

#include <sched.h>
#include <sys/resource.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>

namespace veltrix {

namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kObject = "/org/freedesktop/RealtimeKit1";
constexpr const char* kInterface = "org.freedesktop.RealtimeKit1";

struct BusClose {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;

template <typename T>
bool get_property(sd_bus* bus, const char* name, char type, T& value) {
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, whose compound literal is C
  const int result = sd_bus_get_property_trivial(bus, kService, kObject, kInterface, name, &error, type, &value);
  sd_bus_error_free(&error);
  return result >= 0;
}

// The service refuses a process that could run real-time longer than it
// allows; a limit already lower stays.
bool limit_real_time_run(std::int64_t max_us) {
  rlimit limit{};
  if (getrlimit(RLIMIT_RTTIME, &limit) != 0) {
    return false;
  }
  if (max_us > 0) {
    const auto max = static_cast<rlim_t>(max_us);
    limit.rlim_cur = std::min(limit.rlim_cur, max);
    limit.rlim_max = std::min(limit.rlim_max, max);
  }
  return setrlimit(RLIMIT_RTTIME, &limit) == 0;
}

// What the kernel says, not what the answer said: an answer that came too
// late may still have been carried out.
bool runs_real_time() {
  const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  return policy == SCHED_RR || policy == SCHED_FIFO;
}

// Gives the bus's next call what is left of the deadline; false when nothing is.
bool time_left(sd_bus* bus, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 && sd_bus_set_method_call_timeout(bus, static_cast<std::uint64_t>(left.count())) >= 0;
}

}  // namespace

bool realtime_kit_make_thread_realtime(int priority) {
  const auto deadline = std::chrono::steady_clock::now() + kRealtimeKitDeadline;
  sd_bus* opened = nullptr;
  if (sd_bus_open_system(&opened) < 0) {
    return false;
  }
  const Bus bus(opened);
  std::int32_t max_priority = 0;
  std::int64_t max_run_us = 0;
  if (!time_left(bus.get(), deadline) || !get_property(bus.get(), "MaxRealtimePriority", 'i', max_priority) ||
      !time_left(bus.get(), deadline) || !get_property(bus.get(), "RTTimeUSecMax", 'x', max_run_us) ||
      max_priority < 1 || !limit_real_time_run(max_run_us) || !time_left(bus.get(), deadline)) {
    return false;
  }
  // The kernel's thread id, which the service checks belongs to the process.
  sd_bus_error error{};
  (void)sd_bus_call_method(bus.get(), kService, kObject, kInterface, "MakeThreadRealtimeWithPID", &error, nullptr,
                           "ttu", static_cast<std::uint64_t>(getpid()), static_cast<std::uint64_t>(gettid()),
                           static_cast<std::uint32_t>(std::clamp(priority, 1, static_cast<int>(max_priority))));
  sd_bus_error_free(&error);
  return runs_real_time();
}

}  // namespace veltrix
