#include <cstring>

#include "link/aio_link.h"
#include "link/board_protocol.h"

tAIOVars aioVars;
std::mutex mutex;
std::thread g_hAIOThread;
std::atomic<int> g_int_trigger[kInterruptTriggers]{};

namespace {

// The link normally stays open until the process ends. Closing it on the way
// out joins the reader first; a std::thread still joinable when it is
// destroyed would end the program with std::terminate instead. Defined after
// the globals above, so it is destroyed before them.
struct CloseLinkAtExit {
  ~CloseLinkAtExit() { AIOClose(); }
} close_link_at_exit;

}  // namespace

int AIOSetCom(const char* port, unsigned long dwBaud) {
  if (port == nullptr || dwBaud == 0) return 0;
  std::lock_guard lock(aioVars.exchange_lock_);
  const std::size_t length = std::strlen(port);
  if (length < sizeof aioVars.portName) {
    std::memcpy(aioVars.portName, port, length + 1);
  } else {
    aioVars.portName[0] = '\0';
  }
  aioVars.baudRate = static_cast<std::uint32_t>(dwBaud);
  return 0;
}

int AIOSetBufferSize(unsigned short bufferSize) {
  std::lock_guard lock(mutex);
  ring_configure(aioVars, bufferSize);
  return 0;
}

std::int32_t vtx_interrupt_handler(unsigned char intSource) {
  if (intSource >= kInterruptTriggers) return 1;
  g_int_trigger[intSource] = 1;
  return 0;
}

bool vtx_serial_lost() { return aioVars.link_dead_; }

void aio_mark_gone() {
  aioVars.link_dead_ = true;
  aioVars.hRxSemaphore.release();
}
