#include "capture/console_buffer.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace veltrix::capture {

namespace console_buffer {
namespace {

// The last 200 bytes are never written. Touched only under BufferLock.
constexpr int kAllocatedBytes = 51200;
char mem[kAllocatedBytes];
int startAddress = 0;
std::atomic_flag isBufferMemLocked;

class BufferLock {
 public:
  BufferLock() {
    while (isBufferMemLocked.test_and_set(std::memory_order_acquire)) {
      std::this_thread::yield();
    }
  }
  ~BufferLock() { isBufferMemLocked.clear(std::memory_order_release); }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;
};

}  // namespace

void append(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(kUsableBytes)) {
    text.remove_prefix(text.size() - kUsableBytes);
  }
  const int length = static_cast<int>(text.size());
  BufferLock lock;
  if (startAddress > kUsableBytes - length) {
    startAddress = 0;
  }
  std::memcpy(mem + startAddress, text.data(), text.size());
  startAddress += length;
}

std::string snapshot() {
  BufferLock lock;
  return std::string(mem, static_cast<std::size_t>(startAddress));
}

void clear() {
  BufferLock lock;
  startAddress = 0;
}

}  // namespace console_buffer

}  // namespace veltrix::capture
