#include "aio_link.h"

std::atomic<int> g_int_trigger[kInterruptTriggers]{};

std::int32_t vtx_interrupt_handler(unsigned char intSource) {
  if (intSource >= kInterruptTriggers) {
    return 1;
  }
  g_int_trigger[intSource] = 1;
  return 0;
}
