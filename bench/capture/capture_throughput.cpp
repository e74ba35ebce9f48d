// Capture throughput against the in-process simulated board, through the
// real capture thread, device model and link, with file logging on.
// 1. kor73 at 200 Hz with every component for 20 s: the share of the
//    simulator's samples that the capture recorded (target 1.000).
// 2. kor23 at 8 kHz with the gyroscope only: the recorded sample rate against
//    the limit the link sets, one data-ready poll and one data read per sample
//    at the round trip measured just before (1.000 would use every exchange).

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "sim/board_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kExchangesPerSample = 2;  // is_data_ready, one component read
constexpr int kRoundTrips = 4000;

// The simulated sensor's gyroscope X of sample n is 37 n modulo 2^16, so the
// line's first gyroscope field names the sample. The inverse is found at
// compile time: the observer runs on the capture thread and must not slow it.
constexpr std::uint16_t kInverseOf37 = [] {
  std::uint16_t inverse = 1;
  while (static_cast<std::uint16_t>(37u * inverse) != 1)
    ++inverse;
  return inverse;
}();

std::uint16_t sample_of_gyro_x(int value) {
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(value) * kInverseOf37);
}

// Written by the capture thread's observer, read after the thread is joined.
struct Recording {
  int field = 0;  // index of the gyroscope X field in a line
  bool any = false;
  std::uint16_t previous = 0;
  std::int64_t first_sample = 0;
  std::int64_t last_sample = 0;
  std::int64_t distinct = 0;
  int count = 0;
  Clock::time_point first_time;
  Clock::time_point last_time;

  void add(std::string_view text, int sample_count) {
    count = sample_count;
    if (text.size() < 2) return;
    text.remove_suffix(2);
    std::string_view line = text.substr(text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
    for (int i = 0; i < field; ++i)
      line.remove_prefix(line.find(',') + 1);
    const std::uint16_t sample = sample_of_gyro_x(std::atoi(std::string(line.substr(0, line.find(','))).c_str()));
    last_time = Clock::now();
    if (!any) {
      any = true;
      first_time = last_time;
      first_sample = last_sample = sample;
      distinct = 1;
    } else if (sample != previous) {
      last_sample += static_cast<std::uint16_t>(sample - previous);
      ++distinct;
    }
    previous = sample;
  }
};

struct Connection {
  std::unique_ptr<veltrix::sim::BoardSim> board;
  std::unique_ptr<ikor> device;
};

Connection connect(const char* model_class, const char* model, int rate) {
  Connection connection;
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = model_class;
  connection.board = std::make_unique<veltrix::sim::BoardSim>(options);
  if (connection.board->start() != 0) return {};
  connection.device = find_model(model)->create();
  if (connection.device->initialize(connection.board->port_path().c_str(), MODE_I2C) != 0 ||
      connection.device->set_sampling_rate(rate) != 0) {
    return {};
  }
  return connection;
}

bool run_capture(Connection& connection, int components, const std::string& folder, Clock::duration length,
                 Recording& recording) {
  using namespace capture_settings;
  EnableLogToConsole = true;
  EnableLogToFile = true;
  FileLogFolder.set(folder);
  select_components(components);
  if (!capture_control::start(*connection.device,
                              [&recording](std::string_view text, int count) { recording.add(text, count); })) {
    return false;
  }
  std::this_thread::sleep_for(length);
  capture_control::request_stop();
  capture_control::wait();
  return capture_control::take_failure_messages().empty() && recording.any;
}

// Mean time of the capture's two exchanges, alternating.
double mean_round_trip_us(ikor& device) {
  float values[3];
  const auto start = Clock::now();
  for (int i = 0; i < kRoundTrips / 2; ++i) {
    (void)device.is_data_ready();
    device.get_component_data(COMPONENT_GYRO, values);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kRoundTrips;
}

int fail(const char* what) {
  std::fprintf(stderr, "capture throughput: %s\n", what);
  veltrix::devices::disconnect_device();
  return 1;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/veltrix-bench-capture-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return fail("no temporary folder");
  const std::string folder = pattern;

  Recording all;
  all.field = 1;  // after the time column
  {
    Connection kor73 = connect("kor73", "KOR 73", RATE_200HZ);
    if (!kor73.device) return fail("kor73 did not connect");
    constexpr int kAll = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP;
    if (!run_capture(kor73, kAll, folder, 20s, all)) return fail("the 200 Hz capture failed");
  }
  const std::int64_t offered = all.last_sample - all.first_sample + 1;
  std::printf("kor73 200 Hz, every component, 20 s: %lld of %lld simulator samples recorded (%d lines)\n",
              static_cast<long long>(all.distinct), static_cast<long long>(offered), all.count);
  std::printf("ratio recorded / simulator samples at 200 Hz: %.4f (target 1.000)\n",
              static_cast<double>(all.distinct) / static_cast<double>(offered));

  Recording gyro;
  double round_trip_us = 0;
  {
    Connection kor23 = connect("kor23", "KOR 23", RATE_8KHZ);
    if (!kor23.device) return fail("kor23 did not connect");
    round_trip_us = mean_round_trip_us(*kor23.device);
    if (!run_capture(kor23, COMPONENT_GYRO, folder, 5s, gyro)) return fail("the 8 kHz capture failed");
  }
  veltrix::devices::disconnect_device();
  std::filesystem::remove_all(folder);

  const double seconds = std::chrono::duration<double>(gyro.last_time - gyro.first_time).count();
  const double recorded_hz = (gyro.count - 1) / seconds;
  const double limit_hz = 1e6 / (kExchangesPerSample * round_trip_us);
  std::printf("kor23 8 kHz, gyroscope, 5 s: %.0f samples/s recorded (%.3f of the sensor's 8000)\n", recorded_hz,
              recorded_hz / 8000.0);
  std::printf("link limit: %d exchanges x %.1f us round trip = %.0f samples/s\n", kExchangesPerSample, round_trip_us,
              limit_hz);
  std::printf("ratio recorded / link limit at 8 kHz: %.3f%s\n", recorded_hz / limit_hz,
              limit_hz > 8000.0 ? " (the link outpaces the sensor, which sets the rate)" : "");
  return 0;
}
