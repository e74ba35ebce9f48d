#pragma once
// A fixed-capacity text for one console or data-log text, so the capture loop
// formats without allocating. Appends that would not fit are cut at the
// capacity (a sample text is at most a few hundred bytes).
//
// Thread contract: a plain value; one thread at a time.

#include <array>
#include <cstddef>
#include <string_view>

namespace veltrix::capture {

class SampleText {
 public:
  static constexpr std::size_t kCapacity = 1024;

  void clear() { size_ = 0; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {text_.data(), size_}; }

  void append(std::string_view text);
  void appendf(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::array<char, kCapacity> text_{};
  std::size_t size_ = 0;
};

}  // namespace veltrix::capture
