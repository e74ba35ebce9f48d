#include "devices/device_diagnostics.h"

#include <atomic>
#include <cstdlib>

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

std::string diagnostic_of(const std::function<void()>& work) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* caught = open_memstream(&text, &size);
  if (caught == nullptr) {
    work();
    return {};
  }
  std::FILE* before = diagnostic_stream().exchange(caught);
  work();
  diagnostic_stream().store(before);
  std::fclose(caught);
  std::string out(text, size);
  std::free(text);
  return out;
}

}  // namespace veltrix::devices
