#pragma once
// How long a capture has waited for a sample. A board that answers but never
// flags one leaves the capture waiting without end, as it should; the
// operator hears of it: once no sample has come for 2 s, at each further
// whole second, and once more (0 seconds) when samples come again. Times are
// milliseconds on the capture clock.
//
// Thread contract: one object per capture, used by the capture thread only.

#include "capture/capture_events.h"

namespace veltrix::capture {

class SampleWait {
 public:
  SampleWait(CaptureEvents& events, double now_ms) : events_(events), since_ms_(now_ms) {}

  // A poll at `now_ms` found no sample.
  void nothing(double now_ms);
  // A sample came at `now_ms`.
  void sample(double now_ms);

 private:
  CaptureEvents& events_;
  double since_ms_;  // of the last sample, or of the start
  int told_ = 0;     // the seconds last told; 0 while none was
};

}  // namespace veltrix::capture
