#include <chrono>

#include "aio_link.h"
#include "link/board_protocol.h"
#include "rx_semaphore.h"

std::atomic<int> g_int_trigger[kInterruptTriggers]{};

namespace {

// Released for every notification, whatever its source: the waiter looks at
// its own flag after each wake-up.
RxSemaphore interrupt_wake;

}  // namespace

std::int32_t vtx_interrupt_handler(unsigned char intSource) {
  if (intSource >= kInterruptTriggers) {
    return 1;
  }
  g_int_trigger[intSource] = 1;
  interrupt_wake.release();
  return 0;
}

bool vtx_wait_interrupt(unsigned char source, long timeout_ms) {
  if (source >= kInterruptTriggers) {
    return false;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (g_int_trigger[source].exchange(0) != 0) {
      return true;
    }
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      // The deadline may have passed while the process was not running.
      aio_take_pending();
      return g_int_trigger[source].exchange(0) != 0;
    }
    (void)interrupt_wake.wait_for(std::chrono::ceil<std::chrono::milliseconds>(left));
  }
}
