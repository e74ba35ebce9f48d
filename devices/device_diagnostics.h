#pragma once
// Where the device layer writes its one diagnostic text ("fopen failed" when a
// register-map file cannot be opened for loading). Standard output unless a
// program chooses another stream (veltrix-cli sends it to standard error).
//
// Thread contract: both functions may be called from any thread; the stream
// pointer is atomic. The caller keeps the stream open while it is installed.

#include <cstdio>
#include <functional>
#include <string>

namespace veltrix::devices {

void set_device_diagnostic_stream(std::FILE* stream);

// Writes `text` as it is (no line end added) and flushes it.
void write_device_diagnostic(const char* text);

// Runs `work` with the diagnostic text caught rather than written, and
// returns it ("" when there was none). The owner thread's, as the device.
std::string diagnostic_of(const std::function<void()>& work);

}  // namespace veltrix::devices
