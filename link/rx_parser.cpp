#include "rx_parser.h"

namespace {

constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;

bool is_response_byte(unsigned char b) { return (b >= 0x20 && b <= 0x7E) || b == kCarriageReturn || b == kLineFeed; }

void begin_packet(RxFrameState& s, int state, unsigned char frame_byte) {
  s.rxState = state;
  s.pktLength = 0;
  s.pktBuffer[0] = frame_byte;
  s.pktCount = 1;
}

void append_packet_byte(RxFrameState& s, unsigned char b) {
  s.pktBuffer[s.pktCount] = b;
  ++s.pktCount;
}

// A packet that has not ended within the assembly buffer is dropped.
void drop_overlong_packet(RxFrameState& s) {
  if (s.pktCount >= kPacketBufferSize) {
    s.rxState = RX_IDLE;
  }
}

RxOutcome parse_binary_packet(RxFrameState& s, unsigned char b) {
  append_packet_byte(s, b);
  if (s.pktCount == 2) {
    s.pktLength = b & 0x7F;
  }
  RxOutcome outcome = RxOutcome::kNothing;
  if (s.pktCount >= s.pktLength + 3) {
    s.rxState = RX_IDLE;
    outcome = RxOutcome::kPacket;
  }
  drop_overlong_packet(s);
  return outcome;
}

RxOutcome parse_line_packet(RxFrameState& s, unsigned char b) {
  append_packet_byte(s, b);
  RxOutcome outcome = RxOutcome::kNothing;
  if (b == kLineFeed && s.pktCount >= kLinePacketMinimum) {
    s.rxState = RX_IDLE;
    outcome = RxOutcome::kPacket;
  }
  drop_overlong_packet(s);
  return outcome;
}

RxOutcome parse_interrupt(RxFrameState& s, unsigned char b) {
  if (b == 'E' || b == 'D') {
    // "IE..." and "ID..." are replies, not notifications: restart the
    // response text with the two letters and collect the rest as text.
    s.rspBuffer[0] = 'I';
    s.rspBuffer[1] = static_cast<char>(b);
    s.rspLength = 2;
    s.rxState = RX_IDLE;
  } else if (b >= '0' && b <= '4') {
    s.intIndex = static_cast<unsigned char>(b - '0');
    ++s.intCount[b - '0'];
  } else if (b == kLineFeed) {
    s.rxState = RX_IDLE;
    return RxOutcome::kInterrupt;
  }
  return RxOutcome::kNothing;
}

RxOutcome parse_idle(RxFrameState& s, unsigned char b) {
  if (b == '#') {
    begin_packet(s, RX_BINARY_PACKET, b);
  } else if (b == 'I') {
    s.rxState = RX_INTERRUPT;
  } else if (b == '$') {
    begin_packet(s, RX_LINE_PACKET, b);
  } else if (is_response_byte(b)) {
    const int length = s.rspLength;
    s.rspBuffer[length] = static_cast<char>(b);
    s.rspLength = length + 1 >= kResponseBufferSize ? 0 : length + 1;
    if (b == kLineFeed) {
      s.rspReady = 1;
      return RxOutcome::kResponseLine;
    }
  }
  return RxOutcome::kNothing;
}

}  // namespace

RxOutcome rx_parse_byte(RxFrameState& state, unsigned char byte) {
  switch (state.rxState.load(std::memory_order_relaxed)) {
    case RX_BINARY_PACKET:
      return parse_binary_packet(state, byte);
    case RX_INTERRUPT:
      return parse_interrupt(state, byte);
    case RX_LINE_PACKET:
      return parse_line_packet(state, byte);
    default:
      return parse_idle(state, byte);
  }
}
