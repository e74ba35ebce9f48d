#pragma once
// What reading a data log learnt that its figures alone do not say, and the
// rate its own lines imply, so every face tells the same.
//
// Thread contract: pure functions (implied_log_rate reads the file); safe on
// any thread.

#include <optional>
#include <string>
#include <vector>

#include "analysis/log_channels.h"
#include "analysis/log_rate.h"

namespace veltrix::analysis {

// One sentence each: the reader's notes (a last line cut short), then the
// samples the capture report counts missed that a log without a time column
// cannot place.
std::vector<std::string> log_notes(const LogChannels& log, const LogRate& rate);

// The sample rate a log's own lines imply, in Hz to three significant
// digits: its closing summary's samples over its time (above 200 Hz), else
// the median step of the time column over its first lines. nullopt when the
// file cannot be read or tells neither. A suggestion for a log without a
// sidecar, never a rate to analyse at unasked: the summary's time is the
// host's, not the sensor's clock.
std::optional<double> implied_log_rate(const std::string& log_path);

}  // namespace veltrix::analysis
