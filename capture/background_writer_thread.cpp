#include "capture/background_writer_thread.h"

#include <cassert>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "capture/capture_clock.h"
#include "capture/capture_reports.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "capture/data_log.h"
#include "capture/log_naming.h"
#include "capture/sample_text.h"
#include "devices/device_status.h"
#include "link/board_protocol.h"

namespace {

using namespace std::chrono_literals;
using namespace capture_settings;

constexpr int kWarmUpSamples = 5;
constexpr int kTimedRateLimitHz = 200;  // time column only at this rate or below
constexpr auto kOutputsOffPause = 200ms;

struct Component {
  int id;
  const char* label;
};

// The order of the columns.
constexpr Component kComponents[] = {
    {COMPONENT_GYRO, "Gyro_X, Gyro_Y, Gyro_Z"},
    {COMPONENT_ACCEL, "Accel_X, Accel_Y, Accel_Z"},
    {COMPONENT_COMPASS, "Comp_X, Comp_Y, Comp_Z"},
    {COMPONENT_TEMP, "Temp"},
};

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

int whole_ms(double ms) { return ms < static_cast<double>(INT_MAX) ? static_cast<int>(ms) : INT_MAX; }

double elapsed_ms() {
  return vtxn_base_config::get_counter(&vtxn_base_config::counter_start, &vtxn_base_config::pc_freq);
}

// Starts the empty `text` with the header line; leaves it empty when the
// header would be.
void append_header(SampleText& text, bool timed, int active) {
  if (timed) {
    text.append("Time");
  }
  for (const Component& component : kComponents) {
    if ((active & component.id) == 0) {
      continue;
    }
    if (!text.empty()) {
      text.append(",");
    }
    text.append(component.label);
  }
  if (!text.empty()) {
    text.append("\r\n");
  }
}

// Returns whether any component was appended.
bool append_values(SampleText& line, ikor& device, int active) {
  bool appended = false;
  float values[3] = {};
  for (const Component& component : kComponents) {
    if ((active & component.id) == 0) {
      continue;
    }
    if (!line.empty()) {
      line.append(",");
    }
    device.get_component_data(component.id, values);
    if (component.id == COMPONENT_TEMP) {
      line.appendf("%6.0f", static_cast<double>(values[0]));
    } else {
      line.appendf(component.id == COMPONENT_ACCEL ? " %6.0f,%6.0f,%6.0f" : "%6.0f,%6.0f,%6.0f",
                   static_cast<double>(values[0]), static_cast<double>(values[1]), static_cast<double>(values[2]));
    }
    appended = true;
  }
  return appended;
}

std::string failure_text(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

// Creates the data log and the register log of this capture.
void open_logs(ikor& device, DataLog& data_log) {
  const std::string folder = FileLogFolder.get();
  LogPaths paths;
  if (const int error = log_paths_for_folder(folder, paths); error != 0) {
    capture_control::reports::failure(failure_text("Unable to create the data log in", folder, error));
    return;
  }
  if (const int error = data_log.open(paths.data_log); error != 0) {
    capture_control::reports::failure(failure_text("Unable to create the data log", paths.data_log, error));
    return;
  }
  const long status = device.save_register_map(paths.register_log.c_str());
  if (status == kStatusFileOpenFailed) {
    capture_control::reports::failure("Unable to write the register log " + paths.register_log);
  } else if (status != 0) {
    capture_control::reports::failure("A register could not be read for the register log " + paths.register_log +
                                      "; it shows 0");
  }
  vtxn_base_config::first_time_logToFile = 2;
}

}  // namespace

int background_writer_thread(ikor* device_pointer) {
  assert(device_pointer != nullptr);
  ikor& device = *device_pointer;

  unsigned char divider = 0;
  unsigned char filter = 0;
  const bool timed = device.get_current_sampling_rate(divider, filter) <= kTimedRateLimitHz;
  int warm_up = 0;
  int sample_count = 0;
  bool recorded = false;
  DataLog data_log;
  bool data_log_failed = false;  // after the first failed write the log is left alone
  auto report_data_log_error = [&](int error) {
    if (error != 0 && !data_log_failed) {
      data_log_failed = true;
      capture_control::reports::failure(failure_text("Unable to write the data log", data_log.path(), error));
    }
  };
  SampleText text;
  SampleText line;

  while (BackgroundThreadRunningStatus.load() == 1) {
    if (!device.is_data_ready()) {
      // An unplugged board fails every exchange at once: polling on would
      // only burn a core at raised priority.
      if (vtx_serial_lost()) {
        capture_control::reports::failure("The link to the board was lost; the capture has stopped.");
        BackgroundThreadRunningStatus.store(2);
      }
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

    const int active = active_components(device);
    if (warm_up < kWarmUpSamples) {
      float discarded[3];
      for (const Component& component : kComponents) {
        if ((active & component.id) != 0) {
          device.get_component_data(component.id, discarded);
        }
      }
      ++warm_up;
      continue;
    }

    text.clear();
    if (sample_count == 0) {
      append_header(text, timed, active);
      if (EnableLogToFile.load() && vtxn_base_config::first_time_logToFile == 1) {
        open_logs(device, data_log);
      }
    }
    line.clear();
    if (timed) {
      vtxn_base_config::time_ms = elapsed_ms();
      line.appendf("%7i", whole_ms(vtxn_base_config::time_ms));
    }
    recorded = append_values(line, device, active) || recorded;
    text.append(line.view());
    text.append("\r\n");
    ++sample_count;

    std::string_view console_text;
    if (recorded && EnableLogToConsole.load()) {
      console_text = text.view();
      console_buffer::append(console_text);
    }
    if (recorded && EnableLogToFile.load() && data_log.is_open() && !data_log_failed) {
      report_data_log_error(data_log.write(text.view()));
    }
    capture_control::reports::sample_recorded(console_text, sample_count);
  }

  if (EnableLogToFile.load() && data_log.is_open() && !timed && !data_log_failed) {
    vtxn_base_config::time_ms = elapsed_ms();
    char summary[128];
    const int length =
        std::snprintf(summary, sizeof summary, "Total Time %7i ms\r\n Total Sample recorded %7i \r\n        ",
                      whole_ms(vtxn_base_config::time_ms), sample_count);
    report_data_log_error(data_log.write({summary, static_cast<std::size_t>(length)}));
  }
  report_data_log_error(data_log.close());
  return 0;
}
