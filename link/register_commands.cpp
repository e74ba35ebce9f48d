#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "aio_link.h"
#include "common/hex_digit.h"
#include "exchange.h"
#include "link/board_protocol.h"
#include "link/link_status.h"

namespace {

using veltrix::hex_digit;

std::atomic<unsigned char> KORREG_FIFO_R_W{0};

constexpr unsigned short kMaxWriteBytes = 507;  // 2 * n + 9 <= 1024
constexpr unsigned short kMaxReadCount = 255;   // two hex digits
constexpr unsigned short kReadChunk = 128;
constexpr std::size_t kReadReplySize = 1032;
constexpr ReplyTest kWriteReply{8, false};

// One RD exchange: how many bytes to ask for, how many of them to keep, and
// how many remain for a further exchange.
struct ReadStep {
  unsigned short asked;
  unsigned short used;
  unsigned short left;
};

// Replies whose length is a multiple of 32 are never asked for. The FIFO
// register must not be read past the bytes wanted, so its read is split in
// two; any other register is read one byte further.
ReadStep plan_read(unsigned short left, bool fifo) {
  if ((2 * left + 8) % 32 != 0) {
    return {left, left, 0};
  }
  if (fifo) {
    return {static_cast<unsigned short>(left - 2), static_cast<unsigned short>(left - 2), 2};
  }
  return {static_cast<unsigned short>(left + 1), left, 0};
}

// Pairs start after the six characters that echo the command.
bool decode_pairs(const char* reply, unsigned short count, unsigned char* data) {
  for (unsigned short i = 0; i < count; ++i) {
    const int high = hex_digit(reply[6 + 2 * i]);
    const int low = hex_digit(reply[7 + 2 * i]);
    if (high < 0 || low < 0) {
      return false;
    }
    data[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

long read_once(unsigned char slaveAddr, unsigned char registerAddr, ReadStep step, unsigned char* data) {
  char line[16];
  const int size = std::snprintf(line, sizeof line, "RD%02X%02X%02X\n\r", slaveAddr, registerAddr,
                                 static_cast<unsigned>(step.asked));
  const unsigned long expected = 2ul * step.asked + 8;
  char reply[kReadReplySize];
  unsigned long taken = 0;
  const ExchangeEnd end = exchange(line, static_cast<std::size_t>(size), {expected, true}, reply, expected, &taken);
  if (end == ExchangeEnd::kTimedOut || end == ExchangeEnd::kBadReply) {
    discard_complete_line();
    return kStatusNoReply;
  }
  if (end != ExchangeEnd::kTaken) {
    return exchange_status(end);
  }
  if (taken != expected || !decode_pairs(reply, step.used, data)) {
    return kStatusNoReply;
  }
  return kStatusOk;
}

}  // namespace

void set_KORREG_FIFO_R_W(unsigned char value) { KORREG_FIFO_R_W = value; }

long ARM_WriteBurst(void* /*sl_handle*/, unsigned char slaveAddr, unsigned short length, const unsigned char* data) {
  if (length > kMaxWriteBytes) {
    return kStatusWriteOrTimeout;
  }
  char line[1024];
  int size = std::snprintf(line, sizeof line, "WR%02X", slaveAddr);
  for (unsigned short i = 0; i < length; ++i) {
    size += std::snprintf(line + size, sizeof line - static_cast<std::size_t>(size), "%02X", data[i]);
  }
  line[size++] = '\n';
  line[size++] = '\r';
  std::lock_guard lock(aioVars.exchange_lock_);
  char reply[kWriteReply.length];
  unsigned long taken = 0;
  return exchange_status(
      exchange(line, static_cast<std::size_t>(size), kWriteReply, reply, kWriteReply.length, &taken));
}

long vtx_serial_single_write(void* sl_handle, unsigned char slaveAddr, unsigned char registerAddr, unsigned char data) {
  const unsigned char bytes[2] = {registerAddr, data};
  return ARM_WriteBurst(sl_handle, slaveAddr, 2, bytes);
}

long ARM_ReadBurst(void* /*sl_handle*/, unsigned char slaveAddr, unsigned char registerAddr, unsigned short length,
                   unsigned char* data) {
  if (length > kMaxReadCount) {
    return kStatusReplyTooLong;
  }
  std::lock_guard lock(aioVars.exchange_lock_);
  const bool fifo = registerAddr == KORREG_FIFO_R_W;
  unsigned short left = length;
  unsigned short offset = 0;
  while (left > 0) {
    const ReadStep step = plan_read(left, fifo);
    const long status = read_once(slaveAddr, registerAddr, step, data + offset);
    if (status != kStatusOk) {
      return status;
    }
    offset = static_cast<unsigned short>(offset + step.used);
    left = step.left;
  }
  return kStatusOk;
}

long vtx_serial_read(void* hbx_handle, unsigned char slaveAddr, unsigned char registerAddr, unsigned short length,
                     unsigned char* data) {
  std::lock_guard lock(aioVars.exchange_lock_);
  for (unsigned done = 0; done < length; done += kReadChunk) {
    const auto chunk = static_cast<unsigned short>(std::min<unsigned>(kReadChunk, length - done));
    const auto reg = static_cast<unsigned char>((registerAddr + done) % 256);
    const long status = ARM_ReadBurst(hbx_handle, slaveAddr, reg, chunk, data + done);
    if (status != kStatusOk) {
      return status;
    }
  }
  return kStatusOk;
}
