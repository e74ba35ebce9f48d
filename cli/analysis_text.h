#pragma once
// The analyze command's report on stdout: per channel its statistics, its
// Allan deviation table, the noise terms read from the curve and the noise
// density, in counts or in the channel's unit.

#include <cstdio>

#include "analysis/analysis_report.h"

namespace veltrix::cli {

void print_channel_analysis(std::FILE* out, const veltrix::analysis::ChannelReport& channel);

}  // namespace veltrix::cli
