#include "capture/cpu_wake_latency.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

namespace veltrix::capture {

CpuWakeLatencyHold::CpuWakeLatencyHold() : fd_(open("/dev/cpu_dma_latency", O_WRONLY | O_CLOEXEC)) {
  // The kernel reads the request as a 32-bit count of microseconds.
  const std::int32_t no_latency = 0;
  if (fd_ >= 0 && write(fd_, &no_latency, sizeof no_latency) != static_cast<ssize_t>(sizeof no_latency)) {
    close(fd_);
    fd_ = -1;
  }
}

CpuWakeLatencyHold::~CpuWakeLatencyHold() {
  // Closing withdraws the request.
  if (fd_ >= 0) {
    close(fd_);
  }
}

}  // namespace veltrix::capture
