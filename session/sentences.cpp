#include "session/sentences.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "devices/register_row.h"

namespace veltrix::session {

namespace {

std::string hex_byte(unsigned value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFU);
  return text;
}

std::string hex_value(unsigned value) { return "0x" + hex_byte(value); }

std::string fixed3(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

std::string counted(long long count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string restored_phrase(int registers_written, int rates_set) {
  return counted(registers_written, "register write", "register writes") + " and " +
         counted(rates_set, "rate", "rates") + " restored";
}

}  // namespace

std::string board_lost_sentence(bool link_lost, bool capture_waits, double wait_seconds) {
  if (!capture_waits) {
    return link_lost ? "Board disconnected: waiting for it to return" : "Board not answering";
  }
  const std::string what = link_lost ? "The link to the board was lost" : "The board stopped answering";
  if (!std::isfinite(wait_seconds)) {
    return what + "; the capture waits for it to return.";
  }
  return what + "; the capture waits up to " + seconds_text(wait_seconds) + " for it to return.";
}

std::string still_differs_phrase(const devices::RegisterDifference& difference) {
  return "register " + std::string(devices::field_text(difference.row->address)) + " (" +
         std::string(devices::field_text(difference.row->name)) + ") reads " + hex_byte(difference.first) + ", was " +
         hex_byte(difference.second);
}

std::string board_back_sentence(const BoardBack& back) {
  std::string text = "Reconnected at " + back.port + ": ";
  if (back.rate_hz > 0) {
    text += std::to_string(back.rate_hz) + " Hz, ";
  }
  text += restored_phrase(back.registers_written, back.rates_set);
  if (back.registers_rewritten > 0) {
    text += ", " + counted(back.registers_rewritten, "other register", "other registers") + " set back";
  }
  if (back.read_back.empty() && back.still_differ.empty()) {
    return text + ", all read back";
  }
  for (const auto& difference : back.read_back) {
    text += "; " + devices::read_back_sentence(difference);
  }
  for (const auto& difference : back.still_differ) {
    text += "; " + still_differs_phrase(difference);
  }
  return text;
}

std::string gap_line(int number, const capture::CaptureGap& gap) {
  std::string line = "Gap " + std::to_string(number) + ": " + fixed3(gap.start_s) + " s to " + fixed3(gap.end_s) +
                     " s, " + (gap.lost_estimated ? "about " : "") + counted(gap.lost_samples, "sample", "samples") +
                     " lost; board back at " + gap.port + ", " +
                     restored_phrase(gap.registers_restored, gap.rates_restored);
  if (gap.registers_rewritten > 0) {
    line += ", " + counted(gap.registers_rewritten, "other register", "other registers") + " set back";
  }
  if (gap.differences.empty()) {
    return line + ", all read back";
  }
  for (const auto& difference : gap.differences) {
    line += "; register " + hex_byte(difference.address) + " reads back " + hex_byte(difference.read) +
            " after writing " + hex_byte(difference.written);
  }
  return line;
}

std::string board_gone_sentence(const std::string& board_name, double wait_seconds) {
  return "The board " + board_name + " did not come back within " + seconds_text(wait_seconds) + ".";
}

std::string time_ran_out_sentence(const std::string& board_name) {
  return "The capture's time ran out while the board " + board_name + " was away.";
}

std::string board_changed_sentence(int rate_then_hz, const BoardBack& back,
                                   const devices::RegisterDifference* shaping) {
  if (shaping != nullptr) {
    return "The board came back, but " + still_differs_phrase(*shaping) +
           " after writing it again; the capture has stopped.";
  }
  return "The board came back at " + (back.rate_hz > 0 ? std::to_string(back.rate_hz) + " Hz" : "an unknown rate") +
         ", not " + std::to_string(rate_then_hz) + " Hz; the capture has stopped.";
}

std::string not_back_sentence(const BoardSighting& sighting) {
  return "No board was found at " + (sighting.port.empty() ? std::string("any USB port") : sighting.port) + ".";
}

std::string reconnect_failed_sentence(const std::string& detail) {
  return board_lost_sentence(false, false, 0.0) + " (reconnecting failed" + (detail.empty() ? "" : ": " + detail) + ")";
}

std::string other_board_question(const BoardSighting& sighting, const std::string& remembered_serial) {
  const auto shown = [](const std::string& serial) { return serial.empty() ? std::string("(none)") : serial; };
  return "The board at " + sighting.port + " has serial number " + shown(sighting.serial) + ", not " +
         shown(remembered_serial) + ". Connect to it and give it this board's settings?";
}

std::string end_sentence(const Outcome& outcome) {
  switch (outcome.end) {
    case Outcome::End::kStopped:
    case Outcome::End::kSampleLimit:
      return "";
    case Outcome::End::kTimeUp:
      return outcome.waiting_for_board && !outcome.failures.empty() ? outcome.failures.back() : "";
    case Outcome::End::kByItself:
      return capture::end_reason_text(outcome.reason);
    case Outcome::End::kBoardGone:
    case Outcome::End::kBoardChanged:
      return outcome.failures.empty() ? "" : outcome.failures.back();
  }
  return "";
}

std::vector<std::string> report_lines(const Outcome& outcome) {
  std::vector<std::string> lines;
  if (outcome.segments.size() == 1 && outcome.gaps.empty()) {
    lines.push_back(capture::report_line(outcome.segments.front()));
    return lines;
  }
  for (std::size_t i = 0; i < outcome.segments.size(); ++i) {
    lines.push_back("Segment " + std::to_string(i + 1) + ": " + capture::report_line(outcome.segments[i]));
    if (i < outcome.gaps.size()) {
      lines.push_back(gap_line(static_cast<int>(i + 1), outcome.gaps[i]));
    }
  }
  return lines;
}

nlohmann::ordered_json outcome_json(const Outcome& outcome) {
  if (outcome.segments.size() == 1 && outcome.gaps.empty()) {
    return capture::report_json(outcome.segments.front());
  }
  nlohmann::ordered_json json;
  json["segments"] = nlohmann::ordered_json::array();
  for (const capture::CaptureReport& report : outcome.segments) {
    json["segments"].push_back(capture::report_json(report));
  }
  json["gaps"] = nlohmann::ordered_json::array();
  for (const capture::CaptureGap& gap : outcome.gaps) {
    nlohmann::ordered_json entry;
    entry["start_s"] = gap.start_s;
    entry["end_s"] = gap.end_s;
    entry["lost_samples"] = gap.lost_samples;
    entry["lost_samples_estimated"] = gap.lost_estimated;
    entry["port"] = gap.port;
    entry["registers_restored"] = gap.registers_restored;
    entry["rates_restored"] = gap.rates_restored;
    entry["registers_set_back"] = gap.registers_rewritten;
    // As the sidecar writes registers: the address in two hex digits, values as 0x..
    entry["differences"] = nlohmann::ordered_json::array();
    for (const auto& difference : gap.differences) {
      entry["differences"].push_back({{"address", hex_byte(difference.address)},
                                      {"written", hex_value(difference.written)},
                                      {"read", hex_value(difference.read)}});
    }
    json["gaps"].push_back(std::move(entry));
  }
  return json;
}

}  // namespace veltrix::session
