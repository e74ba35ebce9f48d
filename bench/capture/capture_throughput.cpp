// Capture completeness and cost, through the real capture thread, device
// model and link, with file logging on, against the simulated board run in a
// child process (so the CPU figure is the capture process's alone).
//
// Table: mode (described, fast) x board (pseudo-terminal, replies 1 ms late)
// x workload (kor73 200 Hz every component; kor73 1 kHz every component, set
// by register write; kor23 8 kHz gyroscope). Per cell:
// - recorded: distinct simulator samples among the lines / samples the sensor
//   produced from the first line's to the last line's. Each line's sample is
//   decoded from every field with the simulator's formula; duplicates (the
//   sample of the line before) and mixed lines (fields of different samples)
//   are counted apart.
// - bound (described mode): min(sensor rate, link rate), the link rate from
//   its exchanges per sample and the round trip timed on the same connection
//   right after the capture; the recorded rate can never exceed it.
// - CPU: user + system time of this process during the capture / wall time.
// - missed: the capture report's figure ("~" where it says "about") beside
//   the truth from the log: the samples between the first and the last line
//   that no line holds, each line naming the sample of its first field (the
//   gyroscope's X, read first after the poll, so a mixed line names the
//   sample the poll found). "ok" where they agree within max(2, 1 % of the
//   samples) for an exact figure, max(3, 1 %) for an "about" one (a 2 %
//   clock error shows); "OUT" where not.
// Further cells (gyroscope only, so every line names its sample): a board
// with noise between replies, 1 ms replies in the described mode, a rate
// raised from 50 to 200 Hz a second into the capture, and a sensor clock
// 2 % slow and 2 % fast; and that clock again with every component at
// 200 Hz, in both modes.

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "sim/board_sim.h"
#include "sim/sample_formula.h"
#include "tests/support/capture_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using veltrix::sim::Channel;

constexpr auto kCaptureLength = 3s;
constexpr int kRoundTrips = 400;
using veltrix::devices::kAllComponents;

struct Workload {
  const char* name;
  const char* model_class;
  const char* model;
  int components;
  int rate_hz;
};

constexpr Workload kWorkloads[] = {
    {"kor73 200 Hz all", "kor73", "KOR 73", kAllComponents, 200},
    {"kor73 1 kHz all", "kor73", "KOR 73", kAllComponents, 1000},
    {"kor23 8 kHz gyro", "kor23", "KOR 23", COMPONENT_GYRO, 8000},
};

// The simulated board in a child process, until the pipe to it closes.
class ChildBoard {
 public:
  explicit ChildBoard(const veltrix::sim::BoardOptions& options) {
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) {
      return;
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child[1]);
      close(from_child[0]);
      veltrix::sim::BoardSim board(options);
      std::string path = board.start() == 0 ? board.port_path() : std::string();
      path.push_back('\n');
      if (write(from_child[1], path.data(), path.size()) < 0) {
        _exit(1);
      }
      char byte;
      while (read(to_child[0], &byte, 1) > 0) {
      }
      board.stop();
      _exit(0);
    }
    close(to_child[0]);
    close(from_child[1]);
    control_ = to_child[1];
    char buffer[256];
    const ssize_t n = read(from_child[0], buffer, sizeof buffer);
    close(from_child[0]);
    if (n > 1) {
      path_.assign(buffer, static_cast<std::size_t>(n - 1));
    }
  }
  ~ChildBoard() {
    if (control_ >= 0) {
      close(control_);
    }
    if (pid_ > 0) {
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = -1;
  int control_ = -1;
  std::string path_;
};

std::vector<Channel> channels_of(int components) {
  std::vector<Channel> channels;
  if (components & COMPONENT_GYRO) {
    channels.insert(channels.end(), {Channel::GyroX, Channel::GyroY, Channel::GyroZ});
  }
  if (components & COMPONENT_ACCEL) {
    channels.insert(channels.end(), {Channel::AccelX, Channel::AccelY, Channel::AccelZ});
  }
  if (components & COMPONENT_COMPASS) {
    channels.insert(channels.end(), {Channel::CompassX, Channel::CompassY, Channel::CompassZ});
  }
  if (components & COMPONENT_TEMP) {
    channels.push_back(Channel::Temp);
  }
  return channels;
}

// Distinct samples in a run of lines, and the samples from the first to the
// last of them.
class Run {
 public:
  // Whether `n` is the sample before read again.
  bool add(std::uint16_t n) {
    const bool again = distinct_ > 0 && n == previous_;
    if (distinct_ > 0 && !again) {
      position_ += static_cast<std::uint16_t>(n - previous_);
    }
    distinct_ += again ? 0 : 1;
    previous_ = n;
    return again;
  }
  std::int64_t distinct() const { return distinct_; }
  std::int64_t offered() const { return distinct_ > 0 ? position_ + 1 : 0; }

 private:
  std::int64_t distinct_ = 0;
  std::int64_t position_ = 0;
  std::uint16_t previous_ = 0;
};

struct Tally {
  std::int64_t distinct = 0;
  std::int64_t offered = 0;
  std::int64_t duplicates = 0;
  std::int64_t mixed = 0;
  // Each line by the sample its first field names.
  std::int64_t named = 0;
  std::int64_t named_offered = 0;
};

Tally tally(const std::vector<std::string>& lines, int components, bool timed) {
  const std::vector<Channel> channels = channels_of(components);
  Tally t;
  Run whole;
  Run named;
  for (const std::string& line : lines) {
    std::vector<int> fields;
    for (std::size_t at = 0; at < line.size();) {
      const std::size_t comma = line.find(',', at);
      fields.push_back(std::atoi(line.substr(at, comma - at).c_str()));
      at = comma == std::string::npos ? line.size() : comma + 1;
    }
    if (timed && !fields.empty()) {
      fields.erase(fields.begin());
    }
    if (line.find_first_not_of(" -0123456789,") != std::string::npos || fields.size() != channels.size()) {
      continue;  // the header
    }
    // The first channel of every workload is the gyroscope's X, which names its sample.
    const std::optional<std::uint16_t> n = veltrix::sim::sample_index(channels[0], fields[0]);
    if (!n) {
      continue;
    }
    (void)named.add(*n);
    bool same = true;
    for (std::size_t i = 0; same && i < channels.size(); ++i) {
      same = veltrix::sim::sample_value(channels[i], *n) == fields[i];
    }
    if (!same) {
      ++t.mixed;
    } else if (whole.add(*n)) {
      ++t.duplicates;
    }
  }
  t.distinct = whole.distinct();
  t.offered = whole.offered();
  t.named = named.distinct();
  t.named_offered = named.offered();
  return t;
}

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool set_rate(ikor& device, int rate_hz) {
  switch (rate_hz) {
    case 50:
      return device.set_sampling_rate(RATE_50HZ) == 0;
    case 200:
      return device.set_sampling_rate(RATE_200HZ) == 0;
    case 8000:
      return device.set_sampling_rate(RATE_8KHZ) == 0;
    default:  // 1 kHz: filter setting 1 (1 kHz base), divider 0
      return device.write_to_register(static_cast<char>(device.addr_smplrt_div), 0) == 0 &&
             device.write_to_register(static_cast<char>(device.addr_config), 1) == 0;
  }
}

// Mean time of one data-ready poll (a one-byte read) on this connection.
double round_trip_us(ikor& device) {
  const auto start = Clock::now();
  for (int i = 0; i < kRoundTrips; ++i) {
    (void)device.is_data_ready();
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRoundTrips;
}

// What a cell changes from a plain board at a steady rate.
struct Variation {
  std::chrono::microseconds reply_delay{0};
  bool noise = false;
  int clock_ppm = 0;
  int raised_to_hz = 0;  // the rate set a second into the capture; 0: none
};

constexpr auto kRaisedAfter = 1s;

struct Cell {
  Tally tally;
  long long missed = 0;
  bool missed_estimated = false;
  double cpu_share = 0;
  double bound_hz = 0;
  double seconds = 0;
  bool ok = false;
  std::string note;
};

Cell run_cell(const Workload& w, bool fast, const Variation& v, const std::string& folder) {
  Cell cell;
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = w.model_class;
  options.sensor.clock_ppm = v.clock_ppm;
  options.faults.reply_delay = v.reply_delay;
  options.faults.noise = v.noise;
  ChildBoard board(options);
  if (board.path().empty()) {
    cell.note = "board did not start";
    return cell;
  }
  std::unique_ptr<ikor> device = find_model(w.model)->create();
  if (device->initialize(board.path().c_str(), MODE_I2C) != 0 || !set_rate(*device, w.rate_hz)) {
    cell.note = "did not connect";
    veltrix::devices::disconnect_device();
    return cell;
  }
  using namespace veltrix::capture::settings;
  EnableLogToConsole = true;
  EnableLogToFile = true;
  FileLogFolder.set(folder);
  FastCapture = fast;
  select_components(w.components);
  veltrix::test::CaptureRecorder recorder;
  const double cpu_start = cpu_seconds();
  const auto start = Clock::now();
  const bool started = veltrix::capture::control::start(*device, recorder.options());
  if (started) {
    if (v.raised_to_hz > 0) {
      std::this_thread::sleep_for(kRaisedAfter);
      (void)set_rate(*device, v.raised_to_hz);
      std::this_thread::sleep_for(kCaptureLength - kRaisedAfter);
    } else {
      std::this_thread::sleep_for(kCaptureLength);
    }
    veltrix::capture::control::request_stop();
    veltrix::capture::control::wait();
  }
  cell.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  cell.cpu_share = (cpu_seconds() - cpu_start) / cell.seconds;
  const std::string failures = recorder.failures();
  if (const auto report = recorder.report()) {
    cell.missed = report->missed_samples;
    cell.missed_estimated = report->missed_samples_estimated;
  }
  std::vector<std::string> lines;
  for (const std::string& sample_text : recorder.texts()) {
    std::string_view text = sample_text;
    while (!text.empty()) {
      const std::size_t end = text.find("\r\n");
      lines.emplace_back(text.substr(0, end));
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
    }
  }
  // The described capture makes one poll and one read per component for each
  // sample; the fast one reads many samples per exchange, so only the sensor
  // bounds it.
  const int exchanges = 1 + std::popcount(static_cast<unsigned>(w.components));
  cell.bound_hz = fast ? w.rate_hz : std::min<double>(w.rate_hz, 1e6 / (exchanges * round_trip_us(*device)));
  veltrix::devices::disconnect_device();
  cell.tally = tally(lines, w.components, w.rate_hz <= 200);
  // What a capture reports (a FIFO overflow while a loaded machine held the
  // thread back) is a result, printed beside its cell; only a capture that
  // could not start fails the run.
  cell.ok = started;
  if (!failures.empty()) {
    cell.note = failures;
  }
  return cell;
}

struct Extra {
  const char* board;
  bool fast;
  Workload workload;
  Variation variation;
};

constexpr Workload kGyro200{"kor73 200 Hz gyro", "kor73", "KOR 73", COMPONENT_GYRO, 200};
constexpr Workload kAll200 = kWorkloads[0];

const Extra kExtras[] = {
    {"noise", true, kGyro200, {.noise = true}},
    {"1 ms", false, kGyro200, {.reply_delay = 1000us}},
    {"pty", false, {"kor73 50->200 Hz gyro", "kor73", "KOR 73", COMPONENT_GYRO, 50}, {.raised_to_hz = 200}},
    {"-2 %", false, kGyro200, {.clock_ppm = -20000}},
    {"+2 %", false, kGyro200, {.clock_ppm = 20000}},
    {"-2 %", false, kAll200, {.clock_ppm = -20000}},
    {"+2 %", false, kAll200, {.clock_ppm = 20000}},
    {"-2 %", true, kAll200, {.clock_ppm = -20000}},
    {"+2 %", true, kAll200, {.clock_ppm = 20000}},
};

// One row of the table; whether the capture started.
bool print_cell(const char* mode, const char* board, const Workload& w, const Cell& cell) {
  const Tally& t = cell.tally;
  const double share = t.offered > 0 ? static_cast<double>(t.distinct) / static_cast<double>(t.offered) : 0.0;
  const long long truth = t.named_offered - t.named;
  char missed[32];
  std::snprintf(missed, sizeof missed, "%s%lld/%lld", cell.missed_estimated ? "~" : "", cell.missed, truth);
  const double samples = static_cast<double>(t.named_offered);
  const double bound = cell.missed_estimated ? std::max(3.0, 0.01 * samples) : std::max(2.0, 0.01 * samples);
  const bool within = static_cast<double>(std::llabs(cell.missed - truth)) <= bound;
  std::printf("%-9s %-6s %-21s %10lld %8.1f%% %7lld %6lld %10.0f %5.1f%% %14s %-3s%s%s\n", mode, board, w.name,
              static_cast<long long>(t.distinct), 100.0 * share, static_cast<long long>(t.duplicates),
              static_cast<long long>(t.mixed), cell.bound_hz, 100.0 * cell.cpu_share, missed, within ? "ok" : "OUT",
              cell.note.empty() ? "" : "  ", cell.note.c_str());
  std::fflush(stdout);
  return cell.ok;
}

}  // namespace

// An argument runs only the cells whose "mode board workload" contains it.
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  char pattern[] = "/tmp/veltrix-bench-capture-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return 1;
  }
  const std::string folder = pattern;
  std::printf("%-9s %-6s %-21s %10s %9s %7s %6s %10s %6s %14s\n", "mode", "board", "workload", "recorded", "of sensor",
              "dupl.", "mixed", "bound/s", "CPU", "missed/truth");
  auto selected = [&only](const char* mode, const char* board, const Workload& w) {
    return (std::string(mode) + " " + board + " " + w.name).find(only) != std::string::npos;
  };
  int failed = 0;
  for (const bool fast : {false, true}) {
    for (const auto delay : {0us, 1000us}) {
      for (const Workload& w : kWorkloads) {
        const char* mode = fast ? "fast" : "described";
        const char* board = delay.count() == 0 ? "pty" : "1 ms";
        if (selected(mode, board, w)) {
          failed += print_cell(mode, board, w, run_cell(w, fast, {.reply_delay = delay}, folder)) ? 0 : 1;
        }
      }
    }
  }
  for (const Extra& extra : kExtras) {
    const char* mode = extra.fast ? "fast" : "described";
    if (selected(mode, extra.board, extra.workload)) {
      failed +=
          print_cell(mode, extra.board, extra.workload, run_cell(extra.workload, extra.fast, extra.variation, folder))
              ? 0
              : 1;
    }
  }
  std::filesystem::remove_all(folder);
  return failed == 0 ? 0 : 1;
}
