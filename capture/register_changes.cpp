#include "capture/register_changes.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/hex_digit.h"
#include "devices/board_health.h"
#include "devices/device_status.h"
#include "devices/register_comparison.h"
#include "devices/register_operations.h"
#include "devices/register_row.h"
#include "devices/register_sentences.h"

namespace veltrix::capture {

namespace {

using json = nlohmann::ordered_json;

constexpr const char* kNotReadAgain = "The registers could not be read again at the end. ";

RegistersAtEnd not_read_again(const std::string& cause) { return {false, kNotReadAgain + cause, {}}; }

std::string hex_text(unsigned char value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

// "0x1C" back to its value; nullopt for any other text.
std::optional<unsigned char> hex_value(const json& text) {
  if (!text.is_string()) {
    return std::nullopt;
  }
  const std::string& value = text.get_ref<const std::string&>();
  if (value.size() != 4 || !value.starts_with("0x") || hex_digit(value[2]) < 0 || hex_digit(value[3]) < 0) {
    return std::nullopt;
  }
  return static_cast<unsigned char>(hex_digit(value[2]) * 16 + hex_digit(value[3]));
}

}  // namespace

RegistersAtEnd registers_at_end(ikor& device, const std::string& register_log, EndReason reason) {
  using devices::FailureCause;
  if (reason == EndReason::kBoardLost || devices::board_lost()) {
    return not_read_again(devices::failure_sentence(FailureCause::kBoardLost, ""));
  }
  if (reason == EndReason::kBoardNotAnswering) {
    return not_read_again(devices::failure_sentence(FailureCause::kBoardSilent, ""));
  }
  if (register_log.empty()) {
    return not_read_again("No register log was written to compare them with.");
  }
  const devices::RegisterComparison comparison = devices::compare_sensor_with_file(device, register_log);
  if (comparison.status == kStatusFileOpenFailed || comparison.status == kStatusFileRejected) {
    return not_read_again("The register log " + register_log + " could not be read" +
                          (comparison.file_problem.empty() ? "." : ": " + comparison.file_problem));
  }
  if (comparison.status != 0) {
    std::string why;
    for (const devices::OperatorMessage& message : devices::comparison_messages(comparison)) {
      why += (why.empty() ? "" : " ") + devices::message_line(message);
    }
    return not_read_again(why);
  }
  RegistersAtEnd registers{true, {}, {}};
  for (const devices::RegisterDifference& difference : comparison.differences) {
    registers.changed.push_back({std::string(devices::field_text(difference.row->address)),
                                 std::string(devices::field_text(difference.row->name)), difference.second,
                                 difference.first});
  }
  return registers;
}

json registers_at_end_json(const RegistersAtEnd& registers) {
  json written;
  written["read_again"] = registers.read_again;
  if (!registers.read_again) {
    written["why"] = registers.why;
    return written;
  }
  written["changed"] = json::array();
  for (const RegisterChange& change : registers.changed) {
    written["changed"].push_back({{"address", change.address},
                                  {"name", change.name},
                                  {"at_start", hex_text(change.at_start)},
                                  {"at_end", hex_text(change.at_end)}});
  }
  return written;
}

std::optional<RegistersAtEnd> registers_at_end_from_json(const json& written) {
  if (!written.is_object()) {
    return std::nullopt;
  }
  const auto read_again = written.find("read_again");
  if (read_again == written.end() || !read_again->is_boolean()) {
    return std::nullopt;
  }
  RegistersAtEnd registers;
  registers.read_again = read_again->get<bool>();
  if (!registers.read_again) {
    const auto why = written.find("why");
    if (why == written.end() || !why->is_string()) {
      return std::nullopt;
    }
    registers.why = why->get<std::string>();
    return registers;
  }
  const auto changed = written.find("changed");
  if (changed == written.end() || !changed->is_array()) {
    return std::nullopt;
  }
  for (const json& change : *changed) {
    if (!change.is_object() || !change.contains("address") || !change["address"].is_string() ||
        !change.contains("name") || !change["name"].is_string()) {
      return std::nullopt;
    }
    const auto at_start = hex_value(change.value("at_start", json()));
    const auto at_end = hex_value(change.value("at_end", json()));
    if (!at_start || !at_end) {
      return std::nullopt;
    }
    registers.changed.push_back(
        {change["address"].get<std::string>(), change["name"].get<std::string>(), *at_start, *at_end});
  }
  return registers;
}

}  // namespace veltrix::capture
