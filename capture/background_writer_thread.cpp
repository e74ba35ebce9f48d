#include "capture/background_writer_thread.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "capture/capture_clock.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "capture/data_log.h"
#include "capture/log_naming.h"
#include "capture/sample_format.h"
#include "capture/sample_reads.h"
#include "capture/sample_text.h"
#include "devices/board_health.h"
#include "devices/device_status.h"

using veltrix::capture::CaptureSink;
using veltrix::capture::data_log_has_time;
using veltrix::capture::DataLog;
using veltrix::capture::EndReason;
using veltrix::capture::format_header;
using veltrix::capture::format_sample_line;
using veltrix::capture::format_summary;
using veltrix::capture::kColumnOrder;
using veltrix::capture::kLineEnd;
using veltrix::capture::log_paths_for_folder;
using veltrix::capture::LogPaths;
using veltrix::capture::SampleReads;
using veltrix::capture::SampleText;
using veltrix::capture::SampleValues;

namespace {

using namespace std::chrono_literals;
using namespace veltrix::capture::settings;

constexpr int kWarmUpSamples = 5;
constexpr auto kOutputsOffPause = 200ms;
// A board that has left every exchange unanswered this long has stopped: a
// few reply deadlines, far beyond any pause a working board takes.
constexpr long kUnansweredLimitMs = 1000;

int active_components(ikor& device) {
  const int available = device.get_available_components();
  int selected = 0;
  selected |= chkGyroStatus.load() ? COMPONENT_GYRO : 0;
  selected |= chkAccelStatus.load() ? COMPONENT_ACCEL : 0;
  selected |= chkCompStatus.load() ? COMPONENT_COMPASS : 0;
  selected |= chkTempStatus.load() ? COMPONENT_TEMP : 0;
  return available & selected;
}

bool outputs_off() { return !EnableLogToConsole.load() && !EnableLogToFile.load(); }

double elapsed_ms() {
  return vtxn_base_config::get_counter(&vtxn_base_config::counter_start, &vtxn_base_config::pc_freq);
}

// Why the board can no longer be polled, or nullopt while it can.
std::optional<EndReason> link_failure() {
  // An unplugged board fails every exchange at once: polling on would only
  // burn a core at raised priority.
  if (veltrix::devices::board_lost()) {
    return EndReason::kBoardLost;
  }
  if (veltrix::devices::board_unanswered_ms() >= kUnansweredLimitMs) {
    return EndReason::kBoardNotAnswering;
  }
  return std::nullopt;
}

// Reads every component in `components` into `values`, stopping at the first
// read that fails. Returns whether all succeeded.
bool read_components(ikor& device, int components, SampleValues& values) {
  for (const int component : kColumnOrder) {
    if ((components & component) != 0 && device.get_component_data(component, values.of(component)) != 0) {
      return false;
    }
  }
  return true;
}

std::string dropped_text(int dropped) {
  return std::to_string(dropped) +
         (dropped == 1 ? " sample could not be read from the sensor and was left out of the capture."
                       : " samples could not be read from the sensor and were left out of the capture.");
}

std::string fifo_overflow_text(long lost) {
  return "The sensor's FIFO overflowed; about " + std::to_string(lost) +
         (lost == 1 ? " sample was lost." : " samples were lost.");
}

std::string failure_text(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

// Creates the data log and the register log of this capture.
void open_logs(ikor& device, DataLog& data_log, CaptureSink& sink, const SampleText& header, int components) {
  const std::string folder = FileLogFolder.get();
  LogPaths paths;
  if (const int error = log_paths_for_folder(folder, paths); error != 0) {
    sink.failure(failure_text("Unable to create the data log in", folder, error));
    return;
  }
  if (const int error = data_log.open(paths.data_log); error != 0) {
    sink.failure(failure_text("Unable to create the data log", paths.data_log, error));
    return;
  }
  const long status = device.save_register_map(paths.register_log.c_str());
  if (status == kStatusFileOpenFailed) {
    sink.failure("Unable to write the register log " + paths.register_log);
  } else if (status != 0) {
    sink.failure("A register could not be read for the register log " + paths.register_log + "; it shows 0");
  }
  vtxn_base_config::first_time_logToFile = 2;
  sink.logs_created(paths, header.view(), components);
}

}  // namespace

int background_writer_thread(ikor* device_pointer, CaptureSink& sink) {
  assert(device_pointer != nullptr);
  ikor& device = *device_pointer;

  unsigned char divider = 0;
  unsigned char filter = 0;
  const int rate_hz = device.get_current_sampling_rate(divider, filter);
  const bool timed = data_log_has_time(rate_hz);
  sink.capture_began(rate_hz);
  SampleReads reads(device, sink, rate_hz, timed, FastCapture.load(), active_components(device));
  int warm_up = 0;
  int sample_count = 0;
  int dropped = 0;
  bool recorded = false;
  // A data log whose write failed has closed itself: file logging ends there.
  DataLog data_log;
  auto report_data_log_error = [&](int error) {
    if (error != 0) {
      sink.failure(failure_text("Unable to write the data log", data_log.path(), error));
    }
  };
  EndReason end_reason = EndReason::kStopRequested;
  // The run status changes first: whoever hears of the failure finds the
  // capture ending.
  auto stop_on_link_failure = [&] {
    if (const auto failure = link_failure()) {
      end_reason = *failure;
      BackgroundThreadRunningStatus.store(2);
      sink.failure(veltrix::capture::end_reason_text(end_reason));
    }
  };
  // Each component's last reading of this capture: a compass without a new
  // reading shows its previous one, 0 before its first.
  SampleValues values;
  SampleValues read_whole;
  SampleText header;
  SampleText line;
  SampleText text;
  if (reads.logs_first() && EnableLogToFile.load() && vtxn_base_config::first_time_logToFile == 1) {
    const int components = active_components(device);
    format_header(header, timed, components);
    open_logs(device, data_log, sink, header, components);
  }
  if (reads.start(active_components(device), elapsed_ms()) != 0) {
    stop_on_link_failure();
  }

  while (BackgroundThreadRunningStatus.load() == 1) {
    const int polled_components = active_components(device);
    bool ready = false;
    bool whole = false;
    // A failed fast read counts as a sample that could not be read.
    if (reads.poll(polled_components, ready, whole, read_whole) != 0) {
      ++dropped;
      stop_on_link_failure();
      continue;
    }
    if (!ready) {
      stop_on_link_failure();
      continue;
    }
    // Checking the run status here too lets a stop end a capture that has
    // nowhere to send its samples.
    while (outputs_off() && BackgroundThreadRunningStatus.load() == 1) {
      std::this_thread::sleep_for(kOutputsOffPause);
    }
    if (outputs_off()) {
      continue;
    }

    const int active = whole ? polled_components : active_components(device);
    if (warm_up < kWarmUpSamples) {
      SampleValues discarded;
      if (!whole) {
        (void)read_components(device, active, discarded);
      }
      ++warm_up;
      continue;
    }

    // Taken at every rate for the capture report and the plot; the data log
    // shows it only when timed.
    const double taken_ms = reads.sample_time_ms(elapsed_ms());
    std::optional<double> time;
    if (timed) {
      vtxn_base_config::time_ms = taken_ms;
      time = vtxn_base_config::time_ms;
    }
    // Values that could not be read are not the sensor's: the sample is left
    // out rather than written with them.
    if (whole) {
      for (const int component : kColumnOrder) {
        std::copy_n(read_whole.of(component), 3, values.of(component));
      }
    } else if (!read_components(device, active, values)) {
      ++dropped;
      stop_on_link_failure();
      continue;
    }

    header.clear();
    if (sample_count == 0) {
      format_header(header, timed, active);
      if (EnableLogToFile.load() && vtxn_base_config::first_time_logToFile == 1 && !reads.logs_first()) {
        open_logs(device, data_log, sink, header, active);
      }
    }
    format_sample_line(line, active, values, time);
    recorded = recorded || active != 0;
    ++sample_count;
    sink.sample_taken(taken_ms, active, values);

    text.clear();
    if (!header.empty()) {
      text.append(header.view());
      text.append(kLineEnd);
    }
    text.append(line.view());
    text.append(kLineEnd);
    std::string_view console_text;
    if (recorded && EnableLogToConsole.load()) {
      console_text = text.view();
      veltrix::capture::console_buffer::append(console_text);
    }
    if (recorded && EnableLogToFile.load() && data_log.is_open()) {
      report_data_log_error(data_log.write(text.view()));
    }
    sink.sample_recorded(console_text, sample_count);
  }

  if (EnableLogToFile.load() && data_log.is_open() && !timed) {
    vtxn_base_config::time_ms = elapsed_ms();
    format_summary(text, vtxn_base_config::time_ms, sample_count);
    report_data_log_error(data_log.write(text.view()));
  }
  report_data_log_error(data_log.close());
  reads.stop();
  if (reads.lost_samples() > 0) {
    sink.failure(fifo_overflow_text(reads.lost_samples()));
  }
  if (dropped > 0) {
    sink.failure(dropped_text(dropped));
  }
  sink.capture_ended(end_reason);
  return 0;
}
