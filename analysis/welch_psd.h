#pragma once
// Power spectral density by Welch's method, and the noise density read from it.
//
// Each segment of the series is cut into frames of `frame_length` samples
// (a power of two) overlapping by half; a segment shorter than a frame gives
// none. Each frame has its mean removed and a periodic Hann window applied
// before a real FFT (KissFFT, single precision: the frame is centred first,
// so float keeps far more range than 16-bit data has). The squared
// magnitudes of all frames of all segments are averaged and scaled to a
// one-sided density in counts²/Hz (DC and Nyquist not doubled), so white
// noise of standard deviation σ reads σ² / (rate / 2). When no segment holds
// a frame, the frame length shrinks to the largest power of two the longest
// segment holds (no PSD below 16 samples).
//
// noise_density(): √ of the mean PSD level over 10 % to 50 % of the Nyquist
// frequency, the white region of a sensor at rest: above where drifts and
// random walks rise (1/f, 1/f²) and below where an anti-alias filter rolls
// off. counts/√Hz.
//
// Thread contract: pure functions; safe on any thread (see progress.h).

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/progress.h"
#include "analysis/series.h"

namespace veltrix::analysis {

struct PsdSettings {
  std::size_t frame_length = 4096;
};

struct PowerSpectrum {
  double resolution_hz = 0;     // bin i lies at i × resolution_hz, i = 0 .. frame_length / 2
  std::vector<double> density;  // counts²/Hz, one-sided
  std::uint64_t frames = 0;     // frames averaged; 0: no spectrum
};

// std::nullopt only when cancelled. rate_hz > 0.
std::optional<PowerSpectrum> welch_psd(Segments segments, double rate_hz, const Progress& progress = {},
                                       const PsdSettings& settings = {});

std::optional<double> noise_density(const PowerSpectrum& spectrum);

}  // namespace veltrix::analysis
