#include "capture/background_writer_thread.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
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
#include "capture/sample_schedule.h"
#include "capture/sample_text.h"
#include "capture/sample_wait.h"
#include "devices/board_health.h"
#include "devices/device_status.h"
#include "devices/register_map_file_access.h"

using veltrix::capture::CaptureAccount;
using veltrix::capture::CaptureEvents;
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
using veltrix::capture::SampleSchedule;
using veltrix::capture::SampleText;
using veltrix::capture::SampleValues;
using veltrix::capture::SampleWait;

namespace {

using namespace std::chrono_literals;
using namespace veltrix::capture::settings;

constexpr int kWarmUpSamples = 5;
constexpr auto kOutputsOffPause = 200ms;
// A board that has left every exchange unanswered this long has stopped: a
// few reply deadlines, far beyond any pause a working board takes.
constexpr long kUnansweredLimitMs = 1000;
// Reads that keep failing for this long, and this many sample periods, will
// not recover by themselves.
constexpr double kFailingLimitMs = 2000.0;
constexpr double kFailingLimitPeriods = 20.0;

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

// A read that lands after the sensor made its next sample shows that one,
// whose flag then brings it once more: the same sample read twice. Motion
// values are noisy, so the same gyroscope and accelerometer values twice in
// a row, after values that changed, are that, not a sensor at rest.
bool same_motion(int components, const SampleValues& read, const SampleValues& before) {
  const int motion = components & (COMPONENT_GYRO | COMPONENT_ACCEL);
  if (motion == 0) {
    return false;
  }
  for (const int component : {COMPONENT_GYRO, COMPONENT_ACCEL}) {
    if ((motion & component) != 0 && !std::equal(read.of(component), read.of(component) + 3, before.of(component))) {
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

std::string fifo_overflow_text(long long lost) {
  return "The sensor's FIFO overflowed; about " + std::to_string(lost) +
         (lost == 1 ? " sample was lost." : " samples were lost.");
}

std::string failure_text(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

void tell_sidecar_error(CaptureEvents& events, const CaptureAccount& account, int error) {
  if (error != 0) {
    events.failure(failure_text("Unable to write the capture description", account.sidecar(), error));
  }
}

// Creates the data log and the register log of this capture. Returns why the
// board can no longer be polled when the link failed meanwhile: both logs are
// then removed rather than left with rows nobody read.
std::optional<EndReason> open_logs(ikor& device, DataLog& data_log, CaptureEvents& events, CaptureAccount& account,
                                   const SampleText& header, int components) {
  const std::string folder = FileLogFolder.get();
  LogPaths paths;
  if (const int error = log_paths_for_folder(folder, paths); error != 0) {
    events.failure(failure_text("Unable to create the data log in", folder, error));
    return std::nullopt;
  }
  if (const int error = data_log.open(paths.data_log); error != 0) {
    events.failure(failure_text("Unable to create the data log", paths.data_log, error));
    return std::nullopt;
  }
  veltrix::devices::RegisterOutcome saved;
  const long status = device.save_register_map_checked(paths.register_log.c_str(), saved);
  if (status != 0 && status != kStatusFileOpenFailed) {
    if (const auto failure = link_failure()) {
      // The data log holds nothing yet: left behind, it would be a log of no
      // segment, outside the chain of a capture that goes on.
      std::remove(paths.register_log.c_str());
      (void)data_log.close();
      std::remove(paths.data_log.c_str());
      return failure;
    }
  }
  // A write that failed part-way (a full disk) leaves no part of a register
  // log, and a save cut short leaves none at all: the sidecar then names none.
  std::error_code ignored;
  if (status == kStatusFileOpenFailed && std::filesystem::is_regular_file(paths.register_log, ignored)) {
    std::remove(paths.register_log.c_str());
  }
  const bool written = std::filesystem::is_regular_file(paths.register_log, ignored);
  if (status == kStatusFileOpenFailed) {
    const std::string& problem = saved.file_problem;
    events.failure("Unable to write the register log " + paths.register_log + (problem.empty() ? "" : ": " + problem));
  } else if (status != 0 && written) {
    events.failure("A register could not be read for the register log " + paths.register_log + "; it shows 0");
  } else if (status != 0) {
    events.failure("The register log " + paths.register_log + " was not written: a register could not be read");
  }
  if (status != 0 && !written) {
    paths.register_log.clear();
  }
  vtxn_base_config::first_time_logToFile = 2;
  tell_sidecar_error(events, account, account.logs_created(paths, header.view(), components));
  events.logs_created(paths.data_log);
  return std::nullopt;
}

}  // namespace

int background_writer_thread(ikor* device_pointer, CaptureEvents& events, CaptureAccount& account) {
  assert(device_pointer != nullptr);
  ikor& device = *device_pointer;

  // Read before the rate, so that a change made meanwhile is followed.
  unsigned rate_changes = device.rate_changes();
  unsigned char divider = 0;
  unsigned char filter = 0;
  const int rate_hz = device.get_current_sampling_rate(divider, filter);
  int current_rate_hz = rate_hz;
  const bool timed = data_log_has_time(rate_hz);
  account.began(rate_hz);
  events.started(rate_hz);
  SampleReads reads(device, events, rate_hz, timed, FastCapture.load(), active_components(device));
  SampleSchedule schedule(rate_hz);
  int warm_up = 0;
  int sample_count = 0;
  int console_samples = 0;
  int log_samples = 0;
  int dropped = 0;
  int repeats = 0;        // recorded samples that were the one before read again
  bool changing = false;  // the last sample's motion values differed from the one before
  bool recorded = false;
  // A data log whose write failed has closed itself: file logging ends there.
  DataLog data_log;
  bool data_log_failed = false;
  bool header_logged = false;
  auto report_data_log_error = [&](int error) {
    if (error != 0) {
      data_log_failed = true;
      events.failure(failure_text("Unable to write the data log", data_log.path(), error));
    }
  };
  EndReason end_reason = EndReason::kStopRequested;
  // The run status changes first: whoever hears of the failure finds the
  // capture ending.
  auto end_capture = [&](EndReason reason) {
    end_reason = reason;
    BackgroundThreadRunningStatus.store(2);
    events.failure(veltrix::capture::end_reason_text(end_reason));
  };
  auto stop_on_link_failure = [&] {
    if (const auto failure = link_failure()) {
      end_capture(*failure);
    }
  };
  // Since when every attempt to read a sample has failed, while `failing`.
  bool failing = false;
  double failing_since_ms = 0.0;
  auto attempt_failed = [&] {
    const double now = elapsed_ms();
    const double limit =
        std::max(kFailingLimitMs, current_rate_hz > 0 ? kFailingLimitPeriods * 1000.0 / current_rate_hz : 0.0);
    if (!failing) {
      failing = true;
      failing_since_ms = now;
    } else if (now - failing_since_ms >= limit && BackgroundThreadRunningStatus.load() == 1) {
      end_capture(EndReason::kNothingRead);
    }
  };
  // Each component's last reading of this capture: a compass without a new
  // reading shows its previous one, 0 before its first.
  SampleValues values;
  SampleValues read_whole;
  SampleText header;
  SampleText line;
  SampleText text;
  auto open_logs_or_end = [&](int components) {
    if (const auto failure = open_logs(device, data_log, events, account, header, components)) {
      end_capture(*failure);
    }
  };
  if (reads.logs_first() && EnableLogToFile.load() && vtxn_base_config::first_time_logToFile == 1) {
    const int components = active_components(device);
    format_header(header, timed, components);
    open_logs_or_end(components);
  }
  if (BackgroundThreadRunningStatus.load() == 1 && reads.start(active_components(device), elapsed_ms()) != 0) {
    stop_on_link_failure();
  }
  SampleWait waited(events, elapsed_ms());

  while (BackgroundThreadRunningStatus.load() == 1) {
    // A rate changed mid-capture is followed at once; the data log keeps the
    // columns of the rate read at the start.
    if (const unsigned changes = device.rate_changes(); changes != rate_changes) {
      rate_changes = changes;
      if (const int changed_hz = device.get_current_sampling_rate(divider, filter); changed_hz > 0) {
        current_rate_hz = changed_hz;
        reads.rate_changed(changed_hz);
        schedule.rate_changed(elapsed_ms(), changed_hz);
      }
    }
    const int polled_components = active_components(device);
    const long overflows = reads.overflows();
    bool ready = false;
    bool whole = false;
    // A poll tells the sensor's state when it asked, not when its answer is
    // looked at, which may be long after: the process may have been stopped
    // meanwhile. A wait is judged from then.
    const double asked_ms = elapsed_ms();
    // A failed poll loses no sample of its own: the schedule counts what it cost.
    if (reads.poll(polled_components, ready, whole, read_whole) != 0) {
      attempt_failed();
      stop_on_link_failure();
      continue;
    }
    if (!ready) {
      if (reads.overflows() != overflows) {
        // The sensor made samples, more than its FIFO could keep.
        attempt_failed();
        waited.sample(asked_ms);
      } else {
        waited.nothing(asked_ms);
      }
      stop_on_link_failure();
      continue;
    }
    const double found_ms = elapsed_ms();
    waited.sample(found_ms);
    if (reads.arrival_pinned()) {
      schedule.arrived(found_ms);
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
    const SampleValues before = values;
    // Values that could not be read are not the sensor's: the sample is left
    // out rather than written with them.
    if (whole) {
      for (const int component : kColumnOrder) {
        std::copy_n(read_whole.of(component), 3, values.of(component));
      }
    } else if (!read_components(device, active, values)) {
      ++dropped;
      schedule.unreadable(taken_ms, reads.sample_number());
      attempt_failed();
      stop_on_link_failure();
      continue;
    }

    header.clear();
    if (sample_count == 0) {
      format_header(header, timed, active);
      if (EnableLogToFile.load() && vtxn_base_config::first_time_logToFile == 1 && !reads.logs_first()) {
        open_logs_or_end(active);
        // A capture that ends at its first sample (its logs failed) has
        // recorded nothing: the sample reaches no output.
        if (BackgroundThreadRunningStatus.load() != 1) {
          break;
        }
      }
    }
    // Logged as read, yet counted once.
    const bool same = sample_count > 0 && !reads.sample_number() && same_motion(active, values, before);
    const bool again = same && changing;
    changing = sample_count > 0 && !same;
    format_sample_line(line, active, values, time);
    recorded = recorded || active != 0;
    failing = false;

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
      ++console_samples;
    }
    if (recorded && EnableLogToFile.load() && data_log.is_open()) {
      header_logged = header_logged || !header.empty();
      ++log_samples;
      report_data_log_error(data_log.write(text.view()));
    }
    ++sample_count;
    if (recorded && again) {
      ++repeats;
      schedule.repeated(taken_ms);
    } else {
      if (recorded) {
        schedule.recorded(taken_ms, reads.sample_number());
      }
      account.sample_taken(taken_ms, active, values);
    }
    events.progress(console_text, sample_count);
  }

  // A log that recorded no sample has no header for a summary to close.
  if (EnableLogToFile.load() && data_log.is_open() && !timed && sample_count > 0) {
    vtxn_base_config::time_ms = elapsed_ms();
    format_summary(text, vtxn_base_config::time_ms, sample_count);
    report_data_log_error(data_log.write(text.view()));
  }
  report_data_log_error(data_log.close());
  reads.stop();
  // Samples still buffered when the data log failed never reached it.
  const long long logged =
      data_log_failed ? std::min<long long>(log_samples, data_log.lines() - (header_logged ? 1 : 0)) : log_samples;
  const int kept = std::max(0, std::max(console_samples, static_cast<int>(std::max(0LL, logged))) - repeats);
  if (reads.lost_samples() > 0) {
    schedule.numbers_estimated();
  }
  // Before the first recorded sample the schedule has nothing to count
  // between; samples lost to overflows were still missed.
  const bool before_first = sample_count == 0 && reads.lost_samples() > 0;
  const long long missed = before_first ? reads.lost_samples() : schedule.missed();
  account.counted(kept, missed, before_first || schedule.estimated());
  if (reads.lost_samples() > 0) {
    events.failure(fifo_overflow_text(missed));
  }
  if (dropped > 0) {
    events.failure(dropped_text(dropped));
  }
  tell_sidecar_error(events, account, account.ended(end_reason));
  events.ended(end_reason, account.report());
  return 0;
}
