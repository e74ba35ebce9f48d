#pragma once
// The capture thread's reports to its controller (capture_control.h). Only
// background_writer_thread calls these.
//
// Thread contract: called on the capture thread.

#include <string>
#include <string_view>

namespace capture_control::reports {

// Hands one recorded sample to the observer given to start, if any.
void sample_recorded(std::string_view console_text, int sample_count);

// Puts `message` on the console (when enabled) and keeps it for
// take_failure_messages.
void failure(const std::string& message);

}  // namespace capture_control::reports
