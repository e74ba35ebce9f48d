#include "capture/console_buffer.h"

#include <cstring>
#include <mutex>

namespace veltrix::capture {

namespace console_buffer {
namespace {

// The last 200 bytes are never written. Touched only under isBufferMemLocked.
constexpr int kAllocatedBytes = 51200;
char mem[kAllocatedBytes];
int startAddress = 0;
// A lock that sleeps rather than spins: a real-time capture thread spinning
// for the window thread, which took the lock and lost its core, would keep
// it from running on the same core.
std::mutex isBufferMemLocked;

using BufferLock = std::lock_guard<std::mutex>;

}  // namespace

void append(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(kUsableBytes)) {
    text.remove_prefix(text.size() - kUsableBytes);
  }
  const int length = static_cast<int>(text.size());
  BufferLock lock(isBufferMemLocked);
  if (startAddress > kUsableBytes - length) {
    startAddress = 0;
  }
  std::memcpy(mem + startAddress, text.data(), text.size());
  startAddress += length;
}

std::string snapshot() {
  // Allocated before the lock is taken, so the capture thread never waits
  // on the allocator.
  std::string copy;
  copy.reserve(kAllocatedBytes);
  BufferLock lock(isBufferMemLocked);
  copy.assign(mem, static_cast<std::size_t>(startAddress));
  return copy;
}

void clear() {
  BufferLock lock(isBufferMemLocked);
  startAddress = 0;
}

}  // namespace console_buffer

}  // namespace veltrix::capture
