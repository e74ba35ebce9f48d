// The data log reader on any bytes, read whole and again in two pieces split
// at a point the input chooses, as a growing log or a file read in chunks is
// read: the reader never moves past its view, a cut line leaves the view
// untouched, and both readings give the same lines, values and final status.
// The same bytes as the sidecar beside the log: read_sidecar never throws,
// refuses with a reason or gives a description whose rate is the whole
// number the text holds and whose components are ones this program knows.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "capture/capture_sidecar.h"
#include "capture/data_log_reader.h"
#include "fuzz/fuzz_check.h"

using veltrix::capture::DataLogLine;
using veltrix::capture::DataLogReader;
using veltrix::capture::DataLogRecord;
using veltrix::capture::DataLogStatus;

namespace {

struct Reading {
  DataLogStatus status = DataLogStatus::kEnd;
  std::vector<std::string> lines;  // each record, flattened
  long long lines_read = 0;
};

std::string flatten(const DataLogRecord& record, int values) {
  std::string text = std::to_string(static_cast<int>(record.kind));
  if (record.kind == DataLogLine::kSummary) {
    return text + " " + std::to_string(record.total_time_ms) + " " + std::to_string(record.total_samples);
  }
  text += " " + std::to_string(record.time_ms);
  for (int i = 0; record.kind == DataLogLine::kSample && i < values; ++i) {
    text += " " + std::to_string(record.values[static_cast<std::size_t>(i)]);
  }
  return text;
}

// Reads `text`, offered `split` bytes first and the rest after the reader
// asks for more (kCutLine), as a reader of a growing file does.
Reading read(std::string_view text, std::size_t split) {
  Reading reading;
  DataLogReader reader;
  std::size_t offered = split;
  std::string_view view = text.substr(0, offered);
  for (;;) {
    const std::string_view before = view;
    reading.status = reader.start(view);
    fuzz_check(view.data() >= before.data() && view.data() + view.size() == before.data() + before.size(),
               "start stays inside its view");
    // Nothing yet is a log still empty: a growing one is read again later.
    const bool more_to_come = reading.status == DataLogStatus::kCutLine || reading.status == DataLogStatus::kEmpty;
    if (!more_to_come || offered == text.size()) {
      break;
    }
    fuzz_check(view == before, "a cut header leaves the view as it was");
    offered = text.size();
    view = text.substr(0, offered);
  }
  if (reading.status != DataLogStatus::kRead) {
    return reading;
  }
  std::size_t consumed = 0;
  DataLogRecord record;
  for (;;) {
    const std::string_view before = view;
    reading.status = reader.next(view, record);
    fuzz_check(view.data() >= before.data() && view.data() + view.size() == before.data() + before.size(),
               "next stays inside its view");
    if (reading.status == DataLogStatus::kRead) {
      reading.lines.push_back(flatten(record, reader.columns().value_count));
      continue;
    }
    if (reading.status != DataLogStatus::kEnd) {
      fuzz_check(view == before, "a line not read leaves the view as it was");
    }
    if ((reading.status == DataLogStatus::kCutLine || reading.status == DataLogStatus::kEnd) && offered < text.size()) {
      offered = text.size();
      consumed = static_cast<std::size_t>(view.data() - text.data());
      view = text.substr(consumed);
      continue;
    }
    break;
  }
  reading.lines_read = reader.lines_read();
  return reading;
}

void check_sidecar(std::string_view text) {
  const veltrix::capture::SidecarReading reading = veltrix::capture::read_sidecar(text);
  fuzz_check(reading.sidecar.has_value() == reading.error.empty(), "a sidecar is read, or refused with a reason");
  if (!reading.sidecar) {
    return;
  }
  const nlohmann::json json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
  fuzz_check(json.is_object() && json.contains("rate_hz") && json["rate_hz"].is_number() &&
                 json["rate_hz"].get<double>() == reading.sidecar->rate_hz,
             "a sidecar's rate is the whole number its text holds");
  constexpr int kKnown = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP;
  fuzz_check((reading.sidecar->components & ~kKnown) == 0, "a sidecar's components are known ones");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = text.empty() ? 0 : data[0] * text.size() / 255;
  const Reading whole = read(text, text.size());
  const Reading pieces = read(text, split);
  fuzz_check(whole.status == pieces.status, "the same final status read whole or in pieces");
  fuzz_check(whole.lines == pieces.lines, "the same records read whole or in pieces");
  fuzz_check(whole.lines_read == pieces.lines_read, "the same line count read whole or in pieces");
  fuzz_check(whole.status != DataLogStatus::kRead, "a reading ends with a status other than kRead");
  check_sidecar(text);
  return 0;
}
