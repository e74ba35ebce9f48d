#include "analysis/welch_psd.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <memory>
#include <numbers>
#include <type_traits>

namespace veltrix::analysis {
namespace {

constexpr std::size_t kMinFrame = 16;
constexpr std::uint64_t kFramesPerReport = 256;
constexpr double kWhiteBandLow = 0.1;  // of the Nyquist frequency
constexpr double kWhiteBandHigh = 0.5;

struct FftrFree {
  void operator()(kiss_fftr_cfg cfg) const { kiss_fftr_free(cfg); }
};

std::size_t frame_length_for(Segments segments, std::size_t wanted) {
  std::size_t longest = 0;
  for (const Segment& s : segments) {
    longest = std::max(longest, s.size());
  }
  const std::size_t length = std::min(std::bit_floor(wanted), std::bit_floor(longest));
  return length < kMinFrame ? 0 : length;
}

std::vector<double> hann(std::size_t length) {
  std::vector<double> window(length);
  for (std::size_t i = 0; i < length; ++i) {
    window[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(length));
  }
  return window;
}

}  // namespace

std::optional<PowerSpectrum> welch_psd(Segments segments, double rate_hz, const Progress& progress,
                                       const PsdSettings& settings) {
  assert(rate_hz > 0);
  PowerSpectrum spectrum;
  const std::size_t length = frame_length_for(segments, settings.frame_length);
  if (length == 0) {
    progress.update(1.0);
    return spectrum;
  }
  const std::size_t hop = length / 2;
  const std::size_t bins = length / 2 + 1;
  const std::vector<double> window = hann(length);
  const std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, FftrFree> plan(
      kiss_fftr_alloc(static_cast<int>(length), 0, nullptr, nullptr));
  std::vector<float> frame(length);
  std::vector<kiss_fft_cpx> transform(bins);
  std::vector<double> power(bins, 0.0);

  double work = 0;
  for (const Segment& s : segments) {
    work += static_cast<double>(s.size());
  }
  double done = 0;
  for (const Segment& segment : segments) {
    for (std::size_t start = 0; start + length <= segment.size(); start += hop) {
      const Segment piece = segment.subspan(start, length);
      std::int64_t sum = 0;
      for (const std::int16_t v : piece) {
        sum += v;
      }
      const double mean = static_cast<double>(sum) / static_cast<double>(length);
      for (std::size_t i = 0; i < length; ++i) {
        frame[i] = static_cast<float>((piece[i] - mean) * window[i]);
      }
      kiss_fftr(plan.get(), frame.data(), transform.data());
      for (std::size_t k = 0; k < bins; ++k) {
        const double re = transform[k].r;
        const double im = transform[k].i;
        power[k] += re * re + im * im;
      }
      ++spectrum.frames;
      if (spectrum.frames % kFramesPerReport == 0) {
        progress.update((done + static_cast<double>(start)) / work);
        if (progress.cancelled()) {
          return std::nullopt;
        }
      }
    }
    done += static_cast<double>(segment.size());
  }
  if (spectrum.frames == 0) {
    return spectrum;
  }

  double window_power = 0;
  for (const double w : window) {
    window_power += w * w;
  }
  const double scale = 1.0 / (rate_hz * window_power * static_cast<double>(spectrum.frames));
  spectrum.resolution_hz = rate_hz / static_cast<double>(length);
  spectrum.density.resize(bins);
  for (std::size_t k = 0; k < bins; ++k) {
    const bool unpaired = k == 0 || k == bins - 1;  // DC and Nyquist have no negative twin
    spectrum.density[k] = power[k] * scale * (unpaired ? 1.0 : 2.0);
  }
  progress.update(1.0);
  return spectrum;
}

std::optional<double> noise_density(const PowerSpectrum& spectrum) {
  if (spectrum.frames == 0) {
    return std::nullopt;
  }
  const std::size_t nyquist_bin = spectrum.density.size() - 1;
  const auto first = static_cast<std::size_t>(std::ceil(kWhiteBandLow * static_cast<double>(nyquist_bin)));
  const auto last = static_cast<std::size_t>(kWhiteBandHigh * static_cast<double>(nyquist_bin));
  double sum = 0;
  for (std::size_t k = first; k <= last; ++k) {
    sum += spectrum.density[k];
  }
  return std::sqrt(sum / static_cast<double>(last - first + 1));
}

}  // namespace veltrix::analysis
