#include "sim/byte_fifo.h"

namespace veltrix::sim {

bool ByteFifo::push(std::span<const std::uint8_t> bytes) {
  bool kept_all = true;
  for (const std::uint8_t byte : bytes) {
    if (size_ == kCapacity) {
      head_ = (head_ + 1) % kCapacity;
      --size_;
      kept_all = false;
    }
    bytes_[(head_ + size_) % kCapacity] = byte;
    ++size_;
  }
  return kept_all;
}

std::uint8_t ByteFifo::pop() {
  if (size_ == 0) {
    return 0x00;
  }
  const std::uint8_t byte = bytes_[head_];
  head_ = (head_ + 1) % kCapacity;
  --size_;
  return byte;
}

std::uint8_t ByteFifo::front() const { return size_ == 0 ? 0x00 : bytes_[head_]; }

void ByteFifo::clear() {
  head_ = 0;
  size_ = 0;
}

}  // namespace veltrix::sim
