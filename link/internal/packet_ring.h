#pragma once
// Ring of fixed 1024-byte packet slots. When full, storing drops the oldest
// packet, so a ring of N slots holds at most N - 1 packets.
//
// Thread contract: none of its own. The link guards its ring (the one inside
// aioVars) with the global `mutex`; a ring used by a single thread needs no lock.

#include "link_internal.h"

inline constexpr int kRingSlotBytes = 1024;
inline constexpr int kRingDefaultSlots = 128;

struct PacketRingState {
  int ringRead = 0;                     // oldest stored packet
  int ringWrite = 0;                    // next slot to fill; equal to ringRead when empty
  unsigned char** ringSlots = nullptr;  // slot table followed by the slot storage
  int ringSize = 0;                     // configured slots (1..128), applied at allocation
  int ringBytes = 0;                    // ringSize * 1024
  int allocated_slots_ = 0;             // slots of the current allocation
};

// `slots` in 1..128 is taken as given, anything else gives 128. Applies to
// the next allocation; an allocated ring keeps its slots.
void ring_configure(PacketRingState& ring, unsigned short slots);

// Allocates the slots (128 when never configured) and starts empty.
// False when memory is short.
bool ring_allocate(PacketRingState& ring);
void ring_release(PacketRingState& ring);

// Stores the packet in `packet` (count bytes assembled). '#' packets are
// (second byte & 0x7F) + 3 long, '$' packets `count` long, both cut to 1024;
// a packet with any other first byte is not stored.
void ring_store(PacketRingState& ring, const unsigned char* packet, int count);

// Copies the first `count` bytes of the oldest packet to `out` and consumes
// it. 0, or 54 when the ring is empty or unallocated or `count` exceeds 1024.
// Only framed packets are ever stored, so every packet taken begins with '#'
// or '$'.
int ring_take(PacketRingState& ring, unsigned short count, unsigned char* out);

void ring_clear(PacketRingState& ring);
