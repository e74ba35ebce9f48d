#include "aio_link.h"
#include "link/board_protocol.h"

bool vtx_serial_lost() { return aioVars.link_dead_; }

void aio_mark_gone() {
  aioVars.link_dead_ = true;
  aioVars.hRxSemaphore.release();
}
