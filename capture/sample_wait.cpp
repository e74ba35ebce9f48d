#include "capture/sample_wait.h"

namespace veltrix::capture {

namespace {

// Below this a slow rate or a loaded machine explains the wait.
constexpr int kFirstToldSeconds = 2;

}  // namespace

void SampleWait::nothing(double now_ms) {
  const int seconds = static_cast<int>((now_ms - since_ms_) / 1000.0);
  if (seconds >= kFirstToldSeconds && seconds > told_) {
    told_ = seconds;
    events_.waiting(seconds);
  }
}

void SampleWait::sample(double now_ms) {
  since_ms_ = now_ms;
  if (told_ != 0) {
    told_ = 0;
    events_.waiting(0);
  }
}

}  // namespace veltrix::capture
