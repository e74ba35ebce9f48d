#pragma once
// What the capture thread hands out besides its files: the console text of
// each recorded sample, and failures the operator must hear of. The thread
// is given a sink when it is created and never reaches back into whoever
// started it.
//
// Thread contract: both calls come from the capture thread; an
// implementation guards whatever it shares with other threads.

#include <string>
#include <string_view>

class CaptureSink {
 public:
  virtual ~CaptureSink() = default;

  // After each recorded sample (never a warm-up one), with the console text
  // it added to the console buffer ("" when none) and the number of samples
  // recorded so far.
  virtual void sample_recorded(std::string_view console_text, int sample_count) = 0;

  // One operator message about this capture, without a line end.
  virtual void failure(const std::string& message) = 0;

  // Something the operator should know that is no failure (a fast capture
  // that had to fall back), without a line end.
  virtual void note(const std::string& message) = 0;
};
