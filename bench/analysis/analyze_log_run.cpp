#include "bench/analysis/analyze_log_run.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "capture/capture_sidecar.h"
#include "capture/data_log.h"
#include "capture/sample_format.h"

extern char** environ;

namespace veltrix::bench {
namespace {

using Clock = std::chrono::steady_clock;
using veltrix::capture::SampleText;

// White noise of 60 counts on a bias walking 0.01 counts per sample, per axis.
class NoisyAxis {
 public:
  explicit NoisyAxis(std::uint64_t seed) : generator_(seed) {}
  float next() {
    bias_ += 0.01 * normal_(generator_);
    return static_cast<float>(std::lround(bias_ + 60 * normal_(generator_)));
  }

 private:
  std::mt19937_64 generator_;
  std::normal_distribution<double> normal_{0.0, 1.0};
  double bias_ = 0;
};

// dataLog1.csv and dataLog1.json in `folder`; false when a write failed.
bool write_log(const std::string& folder, std::size_t samples, double rate_hz) {
  veltrix::capture::SidecarFacts facts;
  facts.paths.capture_number = 1;
  facts.paths.data_log = folder + "/dataLog1.csv";
  facts.paths.register_log = folder + "/dataLog1_reg.txt";
  facts.rate_hz = static_cast<int>(rate_hz);
  facts.components = COMPONENT_GYRO;
  facts.started = std::chrono::system_clock::now();
  veltrix::capture::DataLog log;
  SampleText line;
  const bool timed = veltrix::capture::data_log_has_time(facts.rate_hz);
  veltrix::capture::format_header(line, timed, COMPONENT_GYRO);
  facts.header = std::string(line.view());
  int error = log.open(facts.paths.data_log);
  error = error != 0 ? error : log.write(std::string(line.view()).append(veltrix::capture::kLineEnd));
  NoisyAxis axes[3] = {NoisyAxis(1), NoisyAxis(2), NoisyAxis(3)};
  veltrix::capture::SampleValues values;
  const double period_ms = 1000.0 / rate_hz;
  for (std::size_t i = 0; i < samples && error == 0; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      values.gyro[axis] = axes[axis].next();
    }
    const auto at_ms = timed ? std::optional<double>(static_cast<double>(i) * period_ms) : std::nullopt;
    veltrix::capture::format_sample_line(line, COMPONENT_GYRO, values, at_ms);
    error = log.write(line.view());
    error = error != 0 ? error : log.write(veltrix::capture::kLineEnd);
  }
  const double duration_ms = static_cast<double>(samples) * period_ms;
  if (error == 0 && !timed) {
    veltrix::capture::format_summary(line, duration_ms, static_cast<int>(samples));
    error = log.write(line.view());
  }
  error = error != 0 ? error : log.close();
  const veltrix::capture::CaptureReport report{
      static_cast<int>(samples), duration_ms, facts.rate_hz, rate_hz, period_ms, 0, 0};
  return error == 0 && veltrix::capture::write_sidecar(facts, &report) == 0;
}

}  // namespace

std::optional<AnalyzeRun> run_analyze_log(double seconds, double rate_hz) {
  char pattern[] = "/tmp/veltrix-bench-analyze-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return std::nullopt;
  }
  const std::string folder = pattern;
  AnalyzeRun run;
  run.lines = static_cast<std::size_t>(seconds * rate_hz);
  const auto written = Clock::now();
  const bool ok = write_log(folder, run.lines, rate_hz);
  run.write_s = std::chrono::duration<double>(Clock::now() - written).count();
  std::string log = folder + "/dataLog1.csv";
  std::error_code ignored;
  run.log_bytes = std::filesystem::file_size(log, ignored);
  std::optional<AnalyzeRun> result;
  if (!ok) {
    std::printf("analyze end to end: could not write the data log in %s\n", folder.c_str());
  } else {
    std::string program = VELTRIX_CLI;
    std::string command = "analyze";
    std::string json_flag = "--json";
    std::string json_path = folder + "/analysis.json";
    char* argv[] = {program.data(), command.data(), log.data(), json_flag.data(), json_path.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = Clock::now();
    pid_t pid = -1;
    rusage usage{};
    int wait_status = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0 &&
        wait4(pid, &wait_status, 0, &usage) == pid) {
      run.wall_s = std::chrono::duration<double>(Clock::now() - started).count();
      run.cpu_s = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      run.peak_rss_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
      run.exit_status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
      result = run;
    } else {
      std::printf("analyze end to end: could not run %s\n", program.c_str());
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  std::filesystem::remove_all(folder, ignored);
  return result;
}

}  // namespace veltrix::bench
