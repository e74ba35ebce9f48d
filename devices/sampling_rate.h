#pragma once
// Sampling-rate arithmetic shared by every sensor family: which CONFIG and
// divider values serve a rate constant, and the rate that register values
// give back. Pure functions; the device classes do the bus work.
//
// Thread contract: pure functions, callable from any thread.

#include <optional>

namespace veltrix::devices {

enum class WriteKind { kWriteBurst, kSingleWrite };

// How a family turns CONFIG and the divider back into Hz. The first form
// takes only filter setting 0 for the 8 kHz base, the second also 7.
enum class RateReadback { kFirstForm, kSecondForm };

// CONFIG rewritten to (base CONFIG without its filter bits) | filter.
struct ConfigRewrite {
  unsigned char filter;
  WriteKind write;
};

struct RatePlan {
  std::optional<ConfigRewrite> rewrite;  // before the divider
  unsigned char divider;
};

// The plan for `rate_constant` on a sensor whose base CONFIG is `base_config`.
RatePlan plan_sampling_rate(int rate_constant, unsigned char base_config);

// The base rate (8000 Hz or 1000 Hz by the filter setting in CONFIG's low
// three bits) / (divider + 1), truncated towards zero.
int rate_hz(RateReadback form, unsigned char divider, unsigned char config);

}  // namespace veltrix::devices
