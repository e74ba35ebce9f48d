// The analysis of one hour at 8 kHz on one channel (28.8 M samples of white
// noise on a random walk): the Allan deviation alone (target at most 1 s),
// beside NumPy's plain cumulative-sum form on the same samples in the same run
// (target: at least 3 times faster), and the Welch PSD. Wall and process CPU
// time: on a shared, busy machine the wall time includes waiting for a core.
//
// First (see analyze_log_run.h), `veltrix-cli analyze` end to end on a data
// log of three gyroscope axes at 8 kHz written by the capture's writer, with
// its sidecar: the program's wall and CPU time and its peak resident memory
// (targets 10 s and 1 GB for an hour). The log's length in seconds is the
// argument: by default ten minutes, since writing the hour's 0.63 GB takes
// longer than analysing it; `bench_analysis 3600` runs the hour, 0 skips it.

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/allan_deviation.h"
#include "analysis/welch_psd.h"
#include "bench/analysis/analyze_log_run.h"

namespace {

using Clock = std::chrono::steady_clock;
using veltrix::analysis::Segment;

constexpr double kRate = 8000;
constexpr std::size_t kSamples = 3600 * 8000;

double process_cpu_s() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Timing {
  double wall_s;
  double cpu_s;
};

template <typename Work>
Timing timed(Work work) {
  const double cpu = process_cpu_s();
  const auto start = Clock::now();
  work();
  return {std::chrono::duration<double>(Clock::now() - start).count(), process_cpu_s() - cpu};
}

std::vector<std::int16_t> one_hour() {
  std::mt19937_64 generator(2024);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<std::int16_t> samples(kSamples);
  double bias = 0;
  for (auto& v : samples) {
    bias += 0.01 * normal(generator);
    v = static_cast<std::int16_t>(std::lround(bias + 60 * normal(generator)));
  }
  return samples;
}

// NumPy's own computation time on the samples, from the reference script.
double numpy_seconds(const std::vector<std::int16_t>& samples) {
  char path[] = "/tmp/veltrix-bench-adev-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    return -1;
  }
  close(fd);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(samples.data()),
             static_cast<std::streamsize>(samples.size() * sizeof(std::int16_t)));
  const std::string command = std::string(VELTRIX_NUMPY_PYTHON) + " " + VELTRIX_ADEV_REFERENCE + " --time " +
                              std::to_string(kRate) + " " + path;
  double seconds = -1;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    if (std::fscanf(pipe, "%lf", &seconds) != 1) {
      seconds = -1;
    }
    pclose(pipe);
  }
  unlink(path);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const double log_seconds = argc > 1 ? std::strtod(argv[1], nullptr) : 600.0;
  std::optional<veltrix::bench::AnalyzeRun> analyze;
  if (log_seconds > 0) {
    analyze = veltrix::bench::run_analyze_log(log_seconds, kRate);
  }
  const std::vector<std::int16_t> samples = one_hour();
  const Segment segment(samples);

  std::size_t points = 0;
  const Timing adev = timed([&] { points = veltrix::analysis::allan_deviation({&segment, 1}, kRate)->size(); });
  const Timing psd = timed([&] { (void)veltrix::analysis::welch_psd({&segment, 1}, kRate); });
  const double numpy = numpy_seconds(samples);

  std::printf("Allan deviation, 28.8 M samples, %zu octave taus: %.3f s wall, %.3f s CPU (target at most 1 s)\n",
              points, adev.wall_s, adev.cpu_s);
  if (numpy > 0) {
    std::printf("NumPy cumulative-sum reference: %.3f s; ratio NumPy / ours: %.1f (target at least 3)\n", numpy,
                numpy / adev.wall_s);
  } else {
    std::printf("NumPy cumulative-sum reference: could not run %s\n", VELTRIX_NUMPY_PYTHON);
  }
  std::printf("Welch PSD (4096-sample Hann frames, half overlap): %.3f s wall, %.3f s CPU\n", psd.wall_s, psd.cpu_s);
  if (analyze) {
    std::printf(
        "veltrix-cli analyze end to end (read, Allan deviation, PSD), %.0f s at %.0f Hz, 3 gyro axes (%zu lines, "
        "%.2f GB, written in %.1f s): %.3f s wall, %.3f s CPU, peak RSS %.0f MB (targets for one hour: 10 s, "
        "1 GB); NumPy's Allan deviation of one channel of one hour alone: %.3f s; exit status %d\n",
        log_seconds, kRate, analyze->lines, static_cast<double>(analyze->log_bytes) / 1e9, analyze->write_s,
        analyze->wall_s, analyze->cpu_s, analyze->peak_rss_mb, numpy, analyze->exit_status);
  }
  return log_seconds > 0 && (!analyze || analyze->exit_status != 0) ? 1 : 0;
}
