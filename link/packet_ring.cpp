#include "packet_ring.h"

#include <cstring>

#include "aio_memory.h"
#include "link/link_status.h"

void ring_configure(PacketRingState& ring, unsigned short slots) {
  ring.ringSize = (slots >= 1 && slots <= kRingDefaultSlots) ? slots : kRingDefaultSlots;
  ring.ringBytes = ring.ringSize * kRingSlotBytes;
}

bool ring_allocate(PacketRingState& ring) {
  if (ring.ringSize == 0) {
    ring_configure(ring, kRingDefaultSlots);
  }
  const std::size_t table = sizeof(unsigned char*) * static_cast<std::size_t>(ring.ringSize);
  const std::size_t total = table + static_cast<std::size_t>(ring.ringBytes);
  auto* block = static_cast<unsigned char*>(vtx_malloc(static_cast<unsigned int>(total)));
  if (block == nullptr) {
    return false;
  }
  // Zeroed so a short packet never hands out bytes of an earlier allocation.
  std::memset(block, 0, total);
  ring.ringSlots = reinterpret_cast<unsigned char**>(block);
  for (int i = 0; i < ring.ringSize; ++i) {
    ring.ringSlots[i] = block + table + i * kRingSlotBytes;
  }
  ring.allocated_slots_ = ring.ringSize;
  // Indices left from an earlier allocation would point at packets that no
  // longer exist (or past a smaller table).
  ring.ringRead = 0;
  ring.ringWrite = 0;
  return true;
}

void ring_release(PacketRingState& ring) {
  if (ring.ringSlots == nullptr) {
    return;
  }
  vtx_free(ring.ringSlots);
  ring.ringSlots = nullptr;
  ring.allocated_slots_ = 0;
  ring.ringRead = 0;
  ring.ringWrite = 0;
}

void ring_store(PacketRingState& ring, const unsigned char* packet, int count) {
  if (ring.ringSlots == nullptr) {
    return;
  }
  int length = 0;
  if (packet[0] == '#') {
    length = (packet[1] & 0x7F) + 3;
  } else if (packet[0] == '$') {
    length = count;
  } else {
    return;
  }
  if (length > kRingSlotBytes) {
    length = kRingSlotBytes;
  }
  std::memcpy(ring.ringSlots[ring.ringWrite], packet, static_cast<std::size_t>(length));
  ring.ringWrite = (ring.ringWrite + 1) % ring.allocated_slots_;
  if (ring.ringWrite == ring.ringRead) {
    ring.ringRead = (ring.ringRead + 1) % ring.allocated_slots_;
  }
}

int ring_take(PacketRingState& ring, unsigned short count, unsigned char* out) {
  if (ring.ringSlots == nullptr || ring.ringRead == ring.ringWrite || count > kRingSlotBytes) {
    return kStatusNoReply;
  }
  std::memcpy(out, ring.ringSlots[ring.ringRead], count);
  ring.ringRead = (ring.ringRead + 1) % ring.allocated_slots_;
  return kStatusOk;
}

void ring_clear(PacketRingState& ring) {
  ring.ringRead = 0;
  ring.ringWrite = 0;
}
