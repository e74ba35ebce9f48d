// A long capture through the whole program, as an operator runs it: the
// window (MainUIForm2) offscreen with its console pane and the Live Plot open,
// driven through its own controls, against the veltrix-boardsim program in a
// child process, the capture logged to a file. Two workloads in turn: kor23 at
// 8 kHz gyroscope in the fast mode (the FIFO) over a board answering 1 ms
// late, and the described capture of kor73 at 200 Hz with every component.
//
// Per workload, after a warm-up (warm_up_ms):
// - missed: samples the sensor made from the log's first sample to its last
//   that no line holds (each line's sample decoded from its gyroscope X value
//   with the simulator's formula);
// - RSS of this process and of the simulator, after the warm-up and at the
//   end;
// - frame p99: the 99th percentile of the interval between ticks of a 16 ms
//   timer on the window thread (16 on an idle event loop);
// - CPU: user + system time of this process / wall time;
// - probe: the largest oversleep of a thread sleeping 1 ms at a time on each
//   CPU, and the largest crossing of one byte through a pseudo-terminal (the
//   kernel's tty worker, which the link waits for too), each delay above 5 ms
//   with its time; and for each gap of samples, the largest probe delay
//   while the lines around it were taken, so a loss can be matched to a
//   pause of the machine.
//
// Usage: bench_soak [SECONDS [WORKLOAD]]  (each capture's length, 60 by
// default; WORKLOAD: only the workloads whose name starts so, e.g. kor23)
// It says which user runs it: soak_as_normal_user.sh runs it as a user in
// dialout, with RealtimeKit, as the package's users run the program.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

#include "bench/soak/boardsim_process.h"
#include "bench/soak/latency_probe.h"
#include "bench/soak/process_figures.h"
#include "bench/support/sample_count.h"
#include "capture/capture_clock.h"
#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/data_log_reader.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"

namespace {

using veltrix::bench::LatencyProbe;
using veltrix::ui::test::WindowHarness;

constexpr int kWarmUpMs = 5000;
// The Live Plot keeps up to twice its longest span (60 s) of samples before
// it trims them; until then its memory grows by design, not by a leak.
constexpr int kPlotFullMs = 125000;

// Long runs judge memory once the plot is full; short ones say that their
// RSS growth includes the plot filling up.
int warm_up_ms(int seconds) { return seconds * 1000 >= 2 * kPlotFullMs ? kPlotFullMs : kWarmUpMs; }
constexpr int kFramePeriodMs = 16;

struct Workload {
  const char* name;
  const char* model_class;
  const char* model;
  bool fast;
  bool gyro_only;
  int rate_hz;
  std::vector<std::string> board_options;
};

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Probe delays printed with their time; smaller ones show only beside a gap.
constexpr double kReportedMs = 5.0;

struct ProbeDelay {
  std::string probe;
  veltrix::bench::Delay delay;
};

struct Figures {
  bool ran = false;
  veltrix::bench::SampleCount samples;
  Clock::time_point capture_start;  // the capture clock's zero
  double rss_start = 0, rss_end = 0, sim_rss_start = 0, sim_rss_end = 0;
  double frame_p99_ms = 0, cpu_percent = 0, probe_max_ms = 0, tty_max_ms = 0;
  std::vector<ProbeDelay> delays;
};

// The probes cover the whole capture, as the count of missed samples does.
struct Probes {
  std::vector<std::unique_ptr<LatencyProbe>> sleep;  // one per CPU
  std::unique_ptr<LatencyProbe> tty;                 // null without a pseudo-terminal

  Probes() {
    for (unsigned cpu = 0; cpu < std::max(1U, std::thread::hardware_concurrency()); ++cpu) {
      sleep.push_back(std::make_unique<LatencyProbe>("CPU " + std::to_string(cpu) + " probe",
                                                     veltrix::bench::oversleep_tick(), static_cast<int>(cpu)));
    }
    if (auto tick = veltrix::bench::tty_crossing_tick()) {
      tty = std::make_unique<LatencyProbe>("tty probe", std::move(tick));
    } else {
      std::printf("  no pseudo-terminal for the tty probe\n");
    }
  }
  std::vector<LatencyProbe*> all() const {
    std::vector<LatencyProbe*> probes;
    for (const auto& probe : sleep) {
      probes.push_back(probe.get());
    }
    if (tty) {
      probes.push_back(tty.get());
    }
    return probes;
  }
};

// The largest delay that overlaps [from, to]; a null probe name when none does.
ProbeDelay largest_delay(const std::vector<ProbeDelay>& delays, Clock::time_point from, Clock::time_point to) {
  ProbeDelay largest;
  for (const ProbeDelay& d : delays) {
    const auto end = d.delay.from +
                     std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(d.delay.ms));
    if (d.delay.from <= to && end >= from && d.delay.ms > largest.delay.ms) {
      largest = d;
    }
  }
  return largest;
}

// Intervals between ticks of a 16 ms timer on the window thread.
class FrameClock {
 public:
  FrameClock() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kFramePeriodMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      intervals_ms_.push_back(static_cast<double>(since_.nsecsElapsed()) / 1e6);
      since_.restart();
    });
  }
  void restart() {
    intervals_ms_.clear();
    since_.start();
    timer_.start();
  }
  double p99_ms() {
    if (intervals_ms_.empty()) {
      return 0;
    }
    auto at = intervals_ms_.begin() + static_cast<long>(intervals_ms_.size() * 99 / 100);
    std::nth_element(intervals_ms_.begin(), at, intervals_ms_.end());
    return *at;
  }

 private:
  QTimer timer_;
  QElapsedTimer since_;
  std::vector<double> intervals_ms_;
};

void run_event_loop_ms(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Sets a register through the window's write controls.
void write_register(WindowHarness& h, int address, const char* value) {
  h.child<QLineEdit>("txtWriteRegRegister")->setText(QString::asprintf("%02X", address));
  h.child<QLineEdit>("txtWriteRegData")->setText(QString::fromLatin1(value));
  h.click("btnwrite_to_register");
}

void set_box(WindowHarness& h, const char* name, bool on) {
  auto* box = h.child<QCheckBox>(name);
  if (box->isVisible() && box->isChecked() != on) {
    h.click(name);
  }
}

// The sample count of the only data log in `folder`; false when unreadable.
bool count_log(const QString& folder, veltrix::bench::SampleCount& samples) {
  for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString())) {
    if (entry.path().extension() != ".csv") {
      continue;
    }
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string_view view(text);
    veltrix::capture::DataLogReader reader;
    if (reader.start(view) != veltrix::capture::DataLogStatus::kRead) {
      return false;
    }
    const auto& columns = reader.columns();
    const auto gyro_x = std::find(columns.channels.begin(), columns.channels.begin() + columns.value_count,
                                  veltrix::capture::PlotChannel::kGyroX);
    if (gyro_x == columns.channels.begin() + columns.value_count) {
      return false;
    }
    const auto column = gyro_x - columns.channels.begin();
    veltrix::capture::DataLogRecord record;
    veltrix::capture::DataLogStatus status;
    while ((status = reader.next(view, record)) == veltrix::capture::DataLogStatus::kRead) {
      if (record.kind == veltrix::capture::DataLogLine::kSample) {
        samples.add(record.values[static_cast<std::size_t>(column)],
                    columns.has_time ? record.time_ms : veltrix::bench::SampleGap::kNoTime);
      }
    }
    return status == veltrix::capture::DataLogStatus::kEnd;
  }
  return false;
}

Figures soak(const Workload& w, int seconds, Probes& probes) {
  Figures f;
  veltrix::bench::BoardsimProcess sim(VELTRIX_BOARDSIM_PATH, w.board_options);
  if (sim.port().empty()) {
    std::fprintf(stderr, "%s: veltrix-boardsim did not start\n", w.name);
    return f;
  }
  WindowHarness h;
  qputenv("VELTRIX_PORT", QByteArray::fromStdString(sim.port()));
  h.window->show();
  if (!QTest::qWaitForWindowExposed(h.window.get())) {
    return f;
  }
  h.select_model(QString::fromLatin1(w.model));
  if (iKOR == nullptr) {
    std::fprintf(stderr, "%s: the window did not connect%s%s\n", w.name, h.prompts.errors.empty() ? "" : ": ",
                 h.prompts.errors.empty() ? "" : qPrintable(h.prompts.errors.front().text));
    return f;
  }
  if (w.fast) {
    // 8 kHz: no filter, no divider.
    write_register(h, iKOR->addr_config, "00");
    write_register(h, iKOR->addr_smplrt_div, "00");
    if (h.window->CurrentSampleRate != 8000) {
      std::fprintf(stderr, "%s: the rate read back is %d Hz\n", w.name, h.window->CurrentSampleRate);
      return f;
    }
  } else {
    QTest::mouseClick(h.child<QRadioButton>("rdSamplingRate200"), Qt::LeftButton);
  }
  set_box(h, "chkGyro", true);
  for (const char* other : {"chkAccel", "chkTemp", "chkCompass"}) {
    set_box(h, other, !w.gyro_only);
  }
  set_box(h, "chkFastCapture", w.fast);
  set_box(h, "chkEnableDisplay", true);
  h.click("btnLivePlot");
  QTemporaryDir folder;
  h.start_logged_capture(folder.path());
  if (veltrix::capture::settings::BackgroundThreadRunningStatus.load() != 1) {
    std::fprintf(stderr, "%s: the capture did not start\n", w.name);
    return f;
  }
  f.capture_start = Clock::time_point(Clock::duration(vtxn_base_config::counter_start));
  for (LatencyProbe* probe : probes.all()) {
    probe->restart_window();
  }

  run_event_loop_ms(warm_up_ms(seconds));
  FrameClock frames;
  frames.restart();
  f.rss_start = veltrix::bench::rss_mb();
  f.sim_rss_start = veltrix::bench::rss_mb(sim.pid());
  const double cpu_start = veltrix::bench::cpu_seconds();
  QElapsedTimer wall;
  wall.start();
  run_event_loop_ms(std::max(seconds * 1000 - warm_up_ms(seconds), 1000));
  f.cpu_percent = 100.0 * (veltrix::bench::cpu_seconds() - cpu_start) / (static_cast<double>(wall.elapsed()) / 1e3);
  f.rss_end = veltrix::bench::rss_mb();
  f.sim_rss_end = veltrix::bench::rss_mb(sim.pid());
  f.frame_p99_ms = frames.p99_ms();
  for (LatencyProbe* probe : probes.all()) {
    double& max_ms = probe == probes.tty.get() ? f.tty_max_ms : f.probe_max_ms;
    max_ms = std::max(max_ms, probe->max_ms());
    for (const auto& delay : probe->delays()) {
      f.delays.push_back({probe->name(), delay});
    }
  }
  h.click("btnStop");
  veltrix::capture::control::wait();
  run_event_loop_ms(200);
  // What the capture told the operator (a sample it could not read, an
  // overflow) is part of the figures, not a failure of the run.
  for (const auto& error : h.prompts.errors) {
    std::printf("  %s: told the operator: %s\n", w.name, qPrintable(error.text));
  }
  std::printf("  %s: %s\n", w.name, qPrintable(h.child<QLabel>("lblCaptureReport")->text()));
  f.ran = count_log(folder.path(), f.samples) && f.samples.distinct() > 0;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int seconds = 60;
  if (argc > 1) {
    char* end = nullptr;
    const long value = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || value < 10 || value > 24 * 3600) {
      std::fprintf(stderr,
                   "usage: bench_soak [SECONDS [WORKLOAD]]  (10 to 86400 s each capture; WORKLOAD: kor23 or kor73)\n");
      return 2;
    }
    seconds = static_cast<int>(value);
  }
  const std::string only = argc > 2 ? argv[2] : "";
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  std::printf("  as uid %u\n", static_cast<unsigned>(getuid()));
  Probes probes;
  const Workload workloads[] = {
      {"kor23 8 kHz gyro fast 1 ms",
       "kor23",
       "KOR 23",
       true,
       true,
       8000,
       {"--sensor", "kor23", "--reply-delay-us", "1000"}},
      {"kor73 200 Hz all described", "kor73", "KOR 73", false, false, 200, {"--sensor", "kor73"}},
  };
  int failed = 0;
  for (const Workload& w : workloads) {
    if (!std::string_view(w.name).starts_with(only)) {
      continue;
    }
    const Figures f = soak(w, seconds, probes);
    if (!f.ran) {
      std::fprintf(stderr, "%s: the capture did not run cleanly\n", w.name);
      ++failed;
      continue;
    }
    const auto since_start_s = [&f](Clock::time_point t) {
      return std::chrono::duration<double>(t - f.capture_start).count();
    };
    for (const ProbeDelay& d : f.delays) {
      if (d.delay.ms > kReportedMs) {
        std::printf("  %s: %s late %.1f ms at %.1f s\n", w.name, d.probe.c_str(), d.delay.ms,
                    since_start_s(d.delay.from));
      }
    }
    int beside_delay = 0;
    for (const auto& gap : f.samples.gaps()) {
      // Between the lines around the gap (their times are whole ms); a log
      // without times places it by its sample count, to half a second. A
      // line is stamped before its registers are read, so a pause while the
      // later line is read loses samples too: the window reaches as far past
      // that line as the gap is long.
      const bool timed = gap.before_ms != veltrix::bench::SampleGap::kNoTime;
      const auto periods = [&w](long n) {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(n) / w.rate_hz));
      };
      const auto at = f.capture_start + (timed ? std::chrono::milliseconds(gap.before_ms) : periods(gap.at));
      const auto from = at - (timed ? Clock::duration(1ms) : Clock::duration(500ms));
      const auto to =
          timed ? f.capture_start + std::chrono::milliseconds(gap.after_ms + 1) + periods(gap.missed + 2) : at + 500ms;
      std::printf("  %s: %ld samples missing at %.3f s", w.name, gap.missed, since_start_s(at));
      if (timed) {
        std::printf(", lines %d ms apart", gap.after_ms - gap.before_ms);
      }
      const ProbeDelay beside = largest_delay(f.delays, from, to);
      if (beside.probe.empty()) {
        std::printf("; no probe late %.0f ms or more there\n", LatencyProbe::kKeptMs);
      } else {
        ++beside_delay;
        std::printf("; %s late %.1f ms there\n", beside.probe.c_str(), beside.delay.ms);
      }
    }
    const long placed = static_cast<long>(f.samples.gaps().size());
    std::printf("  %s: %ld gaps of samples, %d beside a probe late %.0f ms or more", w.name, f.samples.gap_count(),
                beside_delay, LatencyProbe::kKeptMs);
    if (placed < f.samples.gap_count()) {
      std::printf(" (of the first %ld)", placed);
    }
    std::printf("; tty probe max %.1f ms\n", f.tty_max_ms);
    std::printf("  %s: RSS %.1f -> %.1f MB, simulator RSS %.1f -> %.1f MB, %ld samples recorded, %ld out of order\n",
                w.name, f.rss_start, f.rss_end, f.sim_rss_start, f.sim_rss_end, f.samples.distinct(),
                f.samples.out_of_order());
    if (warm_up_ms(seconds) < kPlotFullMs) {
      std::printf("  %s: shorter than %d s, so the RSS growth includes the Live Plot filling its history\n", w.name,
                  2 * kPlotFullMs / 1000);
    }
    std::printf("soak %s: missed %ld of %ld, RSS growth %.1f MB, frame p99 %.1f ms, CPU %.1f %%, probe max %.1f ms\n",
                w.name, f.samples.missed(), f.samples.made(), f.rss_end - f.rss_start, f.frame_p99_ms, f.cpu_percent,
                f.probe_max_ms);
    std::fflush(stdout);
  }
  return failed == 0 ? 0 : 1;
}
