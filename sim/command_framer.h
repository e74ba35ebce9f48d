#pragma once
// Splits the host's byte stream into command lines. The host ends register
// commands with "\n\r" and text commands with "\r\n", so a line ends at
// either byte and empty lines are skipped. A line longer than kMaxLine is
// cut to kMaxLine characters (its tail is dropped up to the line end).
//
// Thread contract: one instance per serving thread; not shared.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::sim {

class CommandFramer {
 public:
  static constexpr std::size_t kMaxLine = 2048;

  // Appends the complete lines found in `bytes` to `lines`.
  void feed(std::string_view bytes, std::vector<std::string>& lines);
  void reset();

 private:
  std::string partial_;
};

}  // namespace veltrix::sim
