#pragma once
// Physical units for an analysis done in raw counts. A scale divides: the
// sensor's counts per unit, and nothing added, so a channel with an offset
// (a temperature's zero) has its mean, min and max in units from the
// sensor's zero, while every noise figure is exact in units.
//
// Thread contract: plain values and pure functions; any thread.

#include <string>

#include "analysis/channel_analysis.h"

namespace veltrix::analysis {

struct ChannelScale {
  double counts_per_unit = 1;  // > 0
  std::string unit;            // e.g. "deg/s"
};

// Every figure of `counts` divided by counts_per_unit (the PSD by its square):
// statistics and Allan deviation in units, white noise and noise density in
// units/√Hz, rate random walk in units/√s.
ChannelAnalysis in_units(ChannelAnalysis counts, double counts_per_unit);

}  // namespace veltrix::analysis
