#pragma once
// One channel of a data log as the analysis sees it: raw signed 16-bit counts
// in gap-free segments, all at one sample rate. A log split at its gaps gives
// several segments, and nothing is ever computed across the boundary between
// two of them: no difference, average or FFT frame spans a gap.
//
// Every result is in counts (PSD in counts²/Hz). Everything but the PSD is
// linear in the samples, so results in physical units are the counts divided
// by the counts per unit (the PSD by its square).

#include <cstdint>
#include <span>

namespace veltrix::analysis {

using Segment = std::span<const std::int16_t>;
using Segments = std::span<const Segment>;

}  // namespace veltrix::analysis
