#pragma once
// The sensor's FIFO memory: kCapacity bytes in arrival order. A full FIFO
// keeps taking data: each new byte overwrites the oldest one, so after an
// overflow the oldest byte kept can sit in the middle of a frame.
//
// Thread contract: not thread-safe; the sensor model serialises every call.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace veltrix::sim {

class ByteFifo {
 public:
  static constexpr std::size_t kCapacity = 1024;

  // False when older bytes had to be dropped to make room.
  bool push(std::span<const std::uint8_t> bytes);
  // The oldest byte, removed; 0x00 from an empty FIFO.
  std::uint8_t pop();
  // The oldest byte, kept; 0x00 from an empty FIFO.
  std::uint8_t front() const;
  std::size_t size() const { return size_; }
  void clear();

 private:
  std::array<std::uint8_t, kCapacity> bytes_{};
  std::size_t head_ = 0;  // index of the oldest byte
  std::size_t size_ = 0;
};

}  // namespace veltrix::sim
