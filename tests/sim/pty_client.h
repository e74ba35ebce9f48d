#pragma once
// A raw host-side client of the simulated board's pseudo-terminal, plus the
// command builders and reply decoders the simulator suites share.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/timing.h"

namespace veltrix::sim::test {

using namespace veltrix::test;

class PtyClient {
 public:
  explicit PtyClient(const std::string& path);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void send(std::string_view bytes);
  // The bytes up to and including the next line feed; empty when no complete
  // line arrives in time (partial bytes stay buffered).
  std::string read_line(std::chrono::milliseconds timeout = kReplyWait);
  // Everything that arrives within the window (and anything buffered).
  std::string read_for(std::chrono::milliseconds window);
  std::string exchange(std::string_view command, std::chrono::milliseconds timeout = kReplyWait);
  // True when the far end closes (hang-up or read error) within the timeout.
  bool sees_hangup(std::chrono::milliseconds timeout = kReplyWait);

 private:
  // One read into the buffer; false on time-out or hang-up.
  bool fill(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  bool closed_by_peer_ = false;
  std::string buffered_;
};

std::string rd(std::uint8_t bus, std::uint8_t reg, int count);
std::string wr(std::uint8_t bus, const std::vector<std::uint8_t>& bytes);

// Data bytes of an "RD" reply (hex pairs between the 6-character prefix and
// the 2-character line end); empty when the reply is not well formed.
std::vector<std::uint8_t> reply_bytes(const std::string& reply);
std::int16_t big_endian(const std::vector<std::uint8_t>& bytes, std::size_t at);

}  // namespace veltrix::sim::test
