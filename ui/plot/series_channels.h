#pragma once
// The live plot's recent samples as the analysis reads a data log: each
// recorded channel as int16 counts in gap-free segments. A sample lacking one
// of the channels, or a step of more than 1.5 sample periods (samples the
// display skipped), ends a segment, as a gap in a log does.
//
// Thread contract: a pure function; any thread.

#include "analysis/log_channels.h"
#include "ui/plot/sample_series.h"

namespace veltrix::ui::plot {

struct SeriesChannels {
  veltrix::analysis::LogChannels log;
  double rate_hz = 0;  // from the samples' times; 0 with fewer than two
};

// The samples of the last `seconds` of `series` (x in milliseconds).
SeriesChannels series_channels(const SampleSeries& series, double seconds);

}  // namespace veltrix::ui::plot
