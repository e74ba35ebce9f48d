#pragma once
// The console buffer: the captured console text that the window's timer copies
// into its console pane. Up to 51000 bytes of 8-bit text, no terminator; a text
// that would take it past that limit restarts it from the beginning, dropping
// everything buffered before.
//
// Thread contract: append, snapshot and clear may be called from any thread.
// Each holds the buffer's lock (a mutex) for its whole access to the text.

#include <string>
#include <string_view>

namespace veltrix::capture {

namespace console_buffer {

inline constexpr int kUsableBytes = 51000;

// A text longer than the usable size keeps only its last kUsableBytes bytes.
void append(std::string_view text);
std::string snapshot();
void clear();

}  // namespace console_buffer

}  // namespace veltrix::capture
