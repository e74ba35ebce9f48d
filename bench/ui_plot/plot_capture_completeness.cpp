// What an open Live Plot costs the capture: a kor73 at 200 Hz with every
// component, captured from an in-process simulated board (console on, no file
// log) once with the plot closed (nobody takes the queue) and once with it
// shown offscreen, its 30 fps timer running on the event loop, in one run.
// Completeness: samples recorded / samples the sensor made from the first
// recorded one to the last.

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <thread>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/sample_queue.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "sim/board_sim.h"
#include "ui/plot/live_plot_window.h"

namespace {

using namespace std::chrono_literals;
using veltrix::capture::SampleQueue;
using veltrix::ui::plot::LivePlotWindow;

constexpr auto kCaptureLength = 3s;
constexpr int kAll = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP;

// Percent of the sensor's samples recorded, or a negative value when the
// capture did not run cleanly.
double capture_completeness(ikor& device, const veltrix::sim::BoardSim& board, bool plot_open) {
  SampleQueue queue;
  std::unique_ptr<LivePlotWindow> window;
  if (plot_open) {
    window = std::make_unique<LivePlotWindow>(&queue, veltrix::ui::plot::PlotPrompts{}, nullptr);
    window->resize(1040, 680);
    window->show();
    window->begin_capture();
  }
  // Written on the capture thread, read after wait() has joined it.
  std::atomic<int> recorded{0};
  std::atomic<std::uint32_t> first{0};
  std::atomic<std::uint32_t> last{0};
  veltrix::capture::control::CaptureOptions options;
  options.plot_queue = &queue;
  const bool started = veltrix::capture::control::start(
      device,
      [&](std::string_view, int count) {
        const std::uint32_t now = board.sample_index();
        if (count == 1) {
          first = now;
        }
        last = now;
        recorded = count;
      },
      {}, options);
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
  // An open plot that drew nothing would measure nothing.
  const bool plot_fed = !window || !window->shown_series().empty();
  if (!started || !veltrix::capture::control::take_failure_messages().empty() || recorded == 0 || !plot_fed) {
    return -1;
  }
  return 100.0 * recorded / static_cast<double>(last - first + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  veltrix::sim::BoardOptions board_options;
  board_options.sensor.model_class = "kor73";
  veltrix::sim::BoardSim board(board_options);
  std::unique_ptr<ikor> device = find_model("KOR 73")->create();
  if (board.start() != 0 || veltrix::devices::connect_device(*device, MODE_I2C, board.port_path()) != 0 ||
      device->set_sampling_rate(RATE_200HZ) != 0) {
    std::fprintf(stderr, "the simulated board did not connect\n");
    return 1;
  }
  using namespace veltrix::capture::settings;
  EnableLogToConsole = true;
  EnableLogToFile = false;
  select_components(kAll);
  const double closed = capture_completeness(*device, board, false);
  const double open = capture_completeness(*device, board, true);
  veltrix::devices::disconnect_device();
  if (closed <= 0 || open < 0) {
    std::fprintf(stderr, "a capture failed\n");
    return 1;
  }
  std::printf(
      "Capture completeness at 200 Hz, all components: plot closed %.1f %%, plot open %.1f %%, ratio Y/X = %.3f\n",
      closed, open, open / closed);
  return 0;
}
