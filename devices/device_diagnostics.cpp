#include "devices/device_diagnostics.h"

#include <atomic>

namespace veltrix::devices {
namespace {

std::atomic<std::FILE*>& diagnostic_stream() {
  static std::atomic<std::FILE*> stream{stdout};
  return stream;
}

}  // namespace

void set_device_diagnostic_stream(std::FILE* stream) { diagnostic_stream().store(stream); }

void write_device_diagnostic(const char* text) {
  std::FILE* stream = diagnostic_stream().load();
  std::fputs(text, stream);
  std::fflush(stream);
}

}  // namespace veltrix::devices
