#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "aio_link.h"
#include "exchange.h"
#include "link/board_protocol.h"
#include "link/link_status.h"

namespace {

constexpr std::size_t kMaxCommandText = 99;
constexpr int kMaxResponseText = kResponseBufferSize - 2;
constexpr std::chrono::milliseconds kSpiSettle{100};

// A trailing "\r\n" goes; line breaks inside the text become visible marks.
void clean_reply_text(char* text) {
  const std::size_t length = std::strlen(text);
  if (length >= 2 && text[length - 2] == '\r') {
    text[length - 2] = '\0';
  }
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '\n') {
      *c = '_';
    }
    if (*c == '\r') {
      *c = '-';
    }
  }
}

}  // namespace

int ARMCommand(const char* command, char* response, int resp_len) {
  const std::size_t text_length = std::strlen(command);
  if (text_length > kMaxCommandText) {
    return kStatusWriteOrTimeout;
  }
  if (resp_len < 0 || resp_len > kMaxResponseText) {
    return kStatusNoReply;
  }
  char line[kMaxCommandText + 3];
  std::memcpy(line, command, text_length);
  std::memcpy(line + text_length, "\r\n", 3);

  std::lock_guard lock(aioVars.exchange_lock_);
  const auto wanted = static_cast<unsigned long>(resp_len);
  unsigned long taken = 0;
  const ExchangeEnd end = exchange(line, text_length + 2, {wanted, false}, response, wanted + 2, &taken);
  if (end != ExchangeEnd::kTaken) {
    return exchange_status(end);
  }
  response[taken] = '\0';
  clean_reply_text(response);
  return 0;
}

long vtx_serial_spi_setup() {
  std::lock_guard lock(aioVars.exchange_lock_);
  char buffer[100];
  long status = ARMCommand("ID", buffer, 2);
  if (status != 0) {
    return status;
  }
  [[maybe_unused]] const int flushed = AIOUartFlush();
  std::this_thread::sleep_for(kSpiSettle);
  status = ARMCommand("DD", buffer, 2);
  if (status != 0) {
    return status;
  }
  return ARMCommand("CS1", buffer, 3);
}
