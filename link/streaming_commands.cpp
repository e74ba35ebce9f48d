#include <mutex>

#include "aio_link.h"
#include "exchange.h"
#include "link/board_protocol.h"

namespace {

constexpr ReplyTest kStreamingReply{4, false};

long streaming_command(const char* line, std::size_t size) {
  char reply[8];
  unsigned long taken = 0;
  return exchange_status(exchange(line, size, kStreamingReply, reply, kStreamingReply.length, &taken));
}

}  // namespace

long HbxDisableStreaming() {
  std::lock_guard lock(aioVars.exchange_lock_);
  const long status = streaming_command("SD\r\n", 4);
  if (status != 0) {
    return status;
  }
  // Whatever the board streamed before it stopped is of no use to anyone.
  [[maybe_unused]] const int flushed = AIOUartFlush();
  AIOEmptyBuffer();
  return 0;
}

long HbxEnableIntStream() {
  std::lock_guard lock(aioVars.exchange_lock_);
  return streaming_command("IE2\r\n", 5);
}
