// What an open Live Plot costs the capture, in one run: each workload is
// captured from an in-process simulated board (console on, no file log) once
// with the plot closed (nobody takes the queue) and once with it shown
// offscreen, its 30 fps timer running on the event loop. Workloads: kor73 at
// 200 Hz with every component (the described capture) and kor23 at 8 kHz
// gyroscope (the fast capture, reading the FIFO).
// Completeness: distinct samples recorded / samples the sensor made from the
// first recorded one to the last, each line's sample decoded from its
// gyroscope X value with the simulator's formula. With the plot open, also
// the share of the recorded samples the plot drew (the rest it skipped for
// display only, and said so).

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "bench/support/sample_count.h"
#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/sample_queue.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "sim/board_sim.h"
#include "tests/support/capture_recorder.h"
#include "ui/plot/live_plot_window.h"

namespace {

using namespace std::chrono_literals;
using veltrix::capture::SampleQueue;
using veltrix::ui::plot::LivePlotWindow;

constexpr auto kCaptureLength = 3s;
using veltrix::devices::kAllComponents;

struct Workload {
  const char* name;
  const char* model_class;
  const char* model;
  int rate;  // RATE_*
  int components;
  bool fast;
  bool timed;  // lines start with the time column
};

constexpr Workload kWorkloads[] = {
    {"kor73 200 Hz all, described", "kor73", "KOR 73", RATE_200HZ, kAllComponents, false, true},
    {"kor23 8 kHz gyro, fast (FIFO)", "kor23", "KOR 23", RATE_8KHZ, COMPONENT_GYRO, true, false},
};

// The sample count of a capture's text, one line at a time (the first
// sample's text has the header too). Written on the capture thread only.
class SampleCount {
 public:
  void add(std::string_view text, bool timed) {
    ++lines_;
    text.remove_suffix(2);
    text.remove_prefix(text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
    if (timed) {
      text.remove_prefix(text.find(',') + 1);
    }
    samples_.add(std::atoi(std::string(text).c_str()));
  }
  double percent() const { return samples_.percent(); }
  long distinct() const { return samples_.distinct(); }
  long lines() const { return lines_; }

 private:
  long lines_ = 0;
  veltrix::bench::SampleCount samples_;
};

struct Result {
  double completeness = -1;  // negative: the capture did not run cleanly
  double drawn = 0;          // percent of the recorded samples the plot took
};

Result run_capture(ikor& device, const Workload& w, bool plot_open) {
  SampleQueue queue;
  std::unique_ptr<LivePlotWindow> window;
  if (plot_open) {
    window = std::make_unique<LivePlotWindow>(&queue, veltrix::ui::plot::PlotPrompts{}, nullptr);
    window->resize(1040, 680);
    window->show();
    window->begin_capture();
  }
  veltrix::test::CaptureRecorder recorder;
  veltrix::capture::control::CaptureOptions options = recorder.options();
  options.plot_queue = &queue;
  const bool started = veltrix::capture::control::start(device, std::move(options));
  if (started) {
    if (plot_open) {
      QEventLoop loop;
      QTimer::singleShot(kCaptureLength, &loop, &QEventLoop::quit);
      loop.exec();
    } else {
      std::this_thread::sleep_for(kCaptureLength);
    }
    veltrix::capture::control::request_stop();
    veltrix::capture::control::wait();
  }
  Result result;
  if (window) {
    window->refresh();  // what the queue still holds
  }
  // An open plot that drew nothing would measure nothing.
  const bool plot_fed = !window || !window->shown_series().empty();
  SampleCount count;
  for (const std::string& text : recorder.texts()) {
    count.add(text, w.timed);
  }
  if (!started || !recorder.failures().empty() || count.distinct() == 0 || !plot_fed) {
    return result;
  }
  result.completeness = count.percent();
  if (window) {
    result.drawn = 100.0 * static_cast<double>(window->shown_series().size()) / static_cast<double>(count.lines());
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  using namespace veltrix::capture::settings;
  EnableLogToConsole = true;
  EnableLogToFile = false;
  int failed = 0;
  for (const Workload& w : kWorkloads) {
    veltrix::sim::BoardOptions board_options;
    board_options.sensor.model_class = w.model_class;
    veltrix::sim::BoardSim board(board_options);
    std::unique_ptr<ikor> device = find_model(w.model)->create();
    if (board.start() != 0 || veltrix::devices::connect_device(*device, MODE_I2C, board.port_path()) != 0 ||
        device->set_sampling_rate(w.rate) != 0) {
      std::fprintf(stderr, "%s: the simulated board did not connect\n", w.name);
      return 1;
    }
    FastCapture = w.fast;
    select_components(w.components);
    const Result closed = run_capture(*device, w, false);
    const Result open = run_capture(*device, w, true);
    veltrix::devices::disconnect_device();
    if (closed.completeness <= 0 || open.completeness < 0) {
      std::fprintf(stderr, "%s: a capture failed\n", w.name);
      ++failed;
      continue;
    }
    std::printf(
        "Capture completeness, %s: plot closed %.1f %%, plot open %.1f %% (the plot drew %.1f %% of it), ratio Y/X = "
        "%.3f\n",
        w.name, closed.completeness, open.completeness, open.drawn, open.completeness / closed.completeness);
    std::fflush(stdout);
  }
  return failed == 0 ? 0 : 1;
}
