#include "capture/sample_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace veltrix::capture {

void SampleText::append(std::string_view text) {
  const std::size_t count = std::min(text.size(), kCapacity - size_);
  std::memcpy(text_.data() + size_, text.data(), count);
  size_ += count;
}

void SampleText::appendf(const char* format, ...) {
  const std::size_t room = kCapacity - size_;
  if (room == 0) {
    return;
  }
  va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text_.data() + size_, room, format, args);
  va_end(args);
  if (written > 0) {
    // vsnprintf keeps one byte for its terminator, which is not part of the text.
    size_ += std::min(static_cast<std::size_t>(written), room - 1);
  }
}

}  // namespace veltrix::capture
