// Receive parser. Beyond not crashing: after every byte the parser is inside
// its buffers; the response text, the packet and the interrupt counters change
// only as that byte's frame allows; every outcome is the one the byte
// completes. After any stream, line feeds bring it back to idle and the next
// reply parses whole.
//
// The first input byte chooses whether replies are taken as they complete (as
// the command layer does) or left to pile up until the text restarts.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "rx_parser.h"

namespace {

constexpr unsigned char kLineFeed = '\n';
// A length byte of 0x7F, then 0x7F + 1 further bytes.
constexpr int kLongestBinaryPacket = 0x7F + 3;

bool is_text_byte(unsigned char b) { return (b >= 0x20 && b <= 0x7E) || b == '\r' || b == kLineFeed; }
bool starts_frame(unsigned char b) { return b == '#' || b == '$' || b == 'I'; }
bool in_packet(int state) { return state == RX_BINARY_PACKET || state == RX_LINE_PACKET; }

struct Before {
  int state;
  int text_length;
  std::array<int, kInterruptSources> counts;
};

Before before_byte(const RxFrameState& s) {
  Before before{s.rxState, s.rspLength, {}};
  for (int source = 0; source < kInterruptSources; ++source) {
    before.counts[source] = s.intCount[source];
  }
  return before;
}

void take_reply(RxFrameState& s) {
  s.rspReady = 0;
  s.rspLength = 0;
}

void check_bounds(const RxFrameState& s) {
  const int state = s.rxState;
  fuzz_check(state == RX_IDLE || state == RX_BINARY_PACKET || state == RX_INTERRUPT || state == RX_LINE_PACKET,
             "rxState is one of the four states");
  fuzz_check(s.rspLength >= 0 && s.rspLength < kResponseBufferSize, "the response text stays inside its buffer");
  fuzz_check(s.intIndex < kInterruptSources, "intIndex names an interrupt source");
  if (in_packet(state)) {
    fuzz_check(s.pktCount >= 1 && s.pktCount < kPacketBufferSize, "a packet being assembled stays inside its buffer");
    fuzz_check(s.pktLength >= 0 && s.pktLength <= 0x7F, "a binary packet's length has seven bits");
  }
}

// The text changes only by this byte joining it (restarting when full), or by
// an "IE"/"ID" reply replacing it.
void check_response_text(const RxFrameState& s, const Before& before, unsigned char b) {
  const int length = s.rspLength;
  if (before.state == RX_IDLE && is_text_byte(b) && !starts_frame(b)) {
    const bool full = before.text_length + 1 == kResponseBufferSize;
    fuzz_check(length == (full ? 0 : before.text_length + 1), "a text byte adds one to the response length");
    fuzz_check(s.rspBuffer[before.text_length] == static_cast<char>(b), "a text byte is stored where the text ended");
  } else if (before.state == RX_INTERRUPT && (b == 'E' || b == 'D')) {
    fuzz_check(length == 2 && s.rspBuffer[0] == 'I' && s.rspBuffer[1] == static_cast<char>(b),
               "\"IE\" and \"ID\" restart the response text with those two letters");
  } else {
    fuzz_check(length == before.text_length, "packet bytes, notifications and dropped bytes leave the text alone");
  }
}

void check_interrupt_counts(const RxFrameState& s, const Before& before, unsigned char b) {
  const bool counted = before.state == RX_INTERRUPT && b >= '0' && b <= '4';
  for (int source = 0; source < kInterruptSources; ++source) {
    const int added = counted && source == b - '0' ? 1 : 0;
    fuzz_check(s.intCount[source] == before.counts[source] + added,
               "only a source digit inside a notification counts, once, for that source");
  }
  if (counted) {
    fuzz_check(s.intIndex == b - '0', "intIndex is the last source digit");
  }
}

// `frame` is every byte fed since the frame byte, this one included.
void check_packet(const RxFrameState& s, std::span<const std::uint8_t> frame) {
  fuzz_check(
      static_cast<std::size_t>(s.pktCount) == frame.size() && std::memcmp(s.pktBuffer, frame.data(), frame.size()) == 0,
      "a packet holds exactly the bytes fed since its frame byte");
  if (frame[0] == '#') {
    fuzz_check(s.pktCount == (frame[1] & 0x7F) + 3, "a binary packet is its length byte's low seven bits + 3 long");
    return;
  }
  fuzz_check(frame[0] == '$' && frame.back() == kLineFeed && s.pktCount >= kLinePacketMinimum,
             "a line packet ends at a line feed once it holds enough bytes");
  const auto body = frame.subspan(kLinePacketMinimum - 1, frame.size() - kLinePacketMinimum);
  fuzz_check(std::find(body.begin(), body.end(), kLineFeed) == body.end(),
             "a line packet ends at the first line feed that finds enough bytes");
}

void check_outcome(RxOutcome outcome, const RxFrameState& s, const Before& before, unsigned char b,
                   std::span<const std::uint8_t> frame) {
  switch (outcome) {
    case RxOutcome::kResponseLine:
      fuzz_check(before.state == RX_IDLE && b == kLineFeed && s.rspReady == 1,
                 "a line feed outside any frame completes a response line and sets rspReady");
      break;
    case RxOutcome::kInterrupt:
      fuzz_check(before.state == RX_INTERRUPT && b == kLineFeed && s.rxState == RX_IDLE,
                 "a line feed completes a notification and ends it");
      break;
    case RxOutcome::kPacket:
      fuzz_check(in_packet(before.state) && s.rxState == RX_IDLE, "a packet completes only inside a packet");
      check_packet(s, frame);
      break;
    case RxOutcome::kNothing:
      fuzz_check(b != kLineFeed || in_packet(before.state), "every line feed outside a packet completes something");
      if (in_packet(before.state) && s.rxState == RX_IDLE) {
        fuzz_check(frame.size() == static_cast<std::size_t>(kPacketBufferSize),
                   "a packet is dropped only when it fills the buffer");
      }
      break;
  }
}

// A line feed ends a notification, a line packet within kLinePacketMinimum
// bytes and a binary packet within its length: enough of them end any frame.
void check_resynchronises(RxFrameState& s) {
  for (int i = 0; i < kLongestBinaryPacket; ++i) {
    (void)rx_parse_byte(s, kLineFeed);
  }
  fuzz_check(s.rxState == RX_IDLE, "line feeds bring the parser back to idle");
  take_reply(s);
  constexpr std::string_view kReply = "RD683B01\r\n";
  for (std::size_t i = 0; i < kReply.size(); ++i) {
    const RxOutcome outcome = rx_parse_byte(s, static_cast<unsigned char>(kReply[i]));
    const bool last = i + 1 == kReply.size();
    fuzz_check(outcome == (last ? RxOutcome::kResponseLine : RxOutcome::kNothing),
               "after resynchronising, a reply completes at its line feed");
  }
  fuzz_check(std::string_view(s.rspBuffer, static_cast<std::size_t>(s.rspLength.load())) == kReply,
             "after resynchronising, a reply is collected whole");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool take_replies = (data[0] & 1) != 0;
  const std::span<const std::uint8_t> stream(data + 1, size - 1);
  const auto s = std::make_unique<RxFrameState>();
  std::size_t frame_start = 0;
  for (std::size_t i = 0; i < stream.size(); ++i) {
    const unsigned char b = stream[i];
    const Before before = before_byte(*s);
    const RxOutcome outcome = rx_parse_byte(*s, b);
    if (before.state == RX_IDLE && in_packet(s->rxState)) {
      frame_start = i;
    }
    check_bounds(*s);
    check_response_text(*s, before, b);
    check_interrupt_counts(*s, before, b);
    check_outcome(outcome, *s, before, b, stream.subspan(frame_start, i + 1 - frame_start));
    if (outcome == RxOutcome::kResponseLine && take_replies) {
      take_reply(*s);
    }
  }
  check_resynchronises(*s);
  return 0;
}
