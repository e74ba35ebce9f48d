#pragma once
// Receive parser: splits the board's byte stream into response lines,
// interrupt notifications, binary ('#') packets and line ('$') packets.
// A pure function of (state, byte); it never touches a port, a lock or the
// packet ring. The caller acts on the returned outcome before the next byte
// (release the wake-up semaphore, set the interrupt flag, store the packet).
//
// Thread contract: one thread feeds a given RxFrameState. The link's reader
// feeds aioVars while holding its response lock; rspLength, rspReady, rxState,
// intIndex and intCount are atomics so other threads may read them at any time.

#include "link_internal.h"

#include <atomic>

inline constexpr int RX_IDLE = 0;
inline constexpr int RX_BINARY_PACKET = 1;
inline constexpr int RX_INTERRUPT = 2;
inline constexpr int RX_LINE_PACKET = 4;

inline constexpr int kPacketBufferSize = 1024;
inline constexpr int kResponseBufferSize = 2048;
inline constexpr int kInterruptSources = 5;
// A line packet ends at the first line feed that finds at least this many bytes.
inline constexpr int kLinePacketMinimum = 17;

struct RxFrameState {
  std::atomic<int> rxState{RX_IDLE};
  int pktLength = 0;  // payload length announced by the binary packet (low 7 bits)
  int pktCount = 0;   // bytes of the current packet so far, frame byte included
  unsigned char pktBuffer[kPacketBufferSize]{};
  std::atomic<int> rspLength{0};
  char rspBuffer[kResponseBufferSize]{};  // not NUL-terminated
  std::atomic<unsigned char> rspReady{0};
  std::atomic<unsigned char> intIndex{0};
  std::atomic<int> intCount[kInterruptSources]{};
};

enum class RxOutcome {
  kNothing,
  kResponseLine,  // a line feed completed a response line: rspReady is set
  kInterrupt,     // a notification from source intIndex completed
  kPacket,        // pktBuffer holds a complete packet of pktCount bytes
};

RxOutcome rx_parse_byte(RxFrameState& state, unsigned char byte);
