#include <mutex>

#include "aio_link.h"
#include "link/board_protocol.h"

namespace {

constexpr unsigned long kBoardBaud = 115200;

}  // namespace

long vtx_serial_open(const char* port, void** /*sl_handle*/) {
  std::lock_guard lock(aioVars.exchange_lock_);
  AIOClose();
  if (port != nullptr) {
    AIOSetCom(port, kBoardBaud);
  }
  const int opened = AIOOpen(1);
  if (opened != 0) {
    return opened;
  }
  long status = HbxDisableStreaming();
  if (status == 0) {
    status = HbxEnableIntStream();
  }
  if (status != 0) {
    AIOClose();
  }
  return status;
}

void vtx_serial_close() { AIOClose(); }

int vtx_serial_open_error() { return aioVars.open_error_; }
