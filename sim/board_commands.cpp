#include "sim/board_commands.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/hex_digit.h"

namespace veltrix::sim {
namespace {

using veltrix::hex_digit;

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kError = "ERR\r\n";
constexpr std::array<std::string_view, 5> kTextCommands{"SD", "IE2", "ID", "DD", "CS1"};

// The whole text as bytes, two hex digits each; nothing for odd or bad text.
std::optional<std::vector<std::uint8_t>> hex_bytes(std::string_view text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hex_digit(text[i]);
    const int low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

void append_hex(std::string& out, std::uint8_t byte) {
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0x0F]);
}

std::string read_registers(std::string_view args, SensorModel& sensor, SensorModel::Clock::time_point now) {
  const auto fields = hex_bytes(args);
  if (!fields || fields->size() != 3) {
    return std::string(kError);
  }
  const std::uint8_t bus = (*fields)[0];
  const std::uint8_t first = (*fields)[1];
  const int count = (*fields)[2];
  std::string reply = "RD";
  append_hex(reply, bus);
  append_hex(reply, first);
  for (const std::uint8_t byte : sensor.read(bus, first, count, now)) {
    append_hex(reply, byte);
  }
  reply += kLineEnd;
  return reply;
}

std::string write_registers(std::string_view args, SensorModel& sensor, SensorModel::Clock::time_point now) {
  const auto fields = hex_bytes(args);
  if (!fields || fields->empty()) {
    return std::string(kError);
  }
  const std::uint8_t bus = (*fields)[0];
  if (fields->size() > 2) {
    const std::uint8_t first = (*fields)[1];
    for (std::size_t i = 2; i < fields->size(); ++i) {
      sensor.write(bus, static_cast<std::uint8_t>(first + i - 2), (*fields)[i], now);
    }
  }
  std::string reply = "WR";
  append_hex(reply, bus);
  reply += "OK";
  reply += kLineEnd;
  return reply;
}

}  // namespace

bool reads_sensor_register(std::string_view line, int reg) {
  if (!line.starts_with("RD") || reg < 0) {
    return false;
  }
  const auto fields = hex_bytes(line.substr(2));
  if (!fields || fields->size() != 3 || (*fields)[0] != kSensorBus) {
    return false;
  }
  // Addresses wrap at 256.
  const int offset = (reg - (*fields)[1] + 256) % 256;
  return offset < (*fields)[2];
}

std::string answer_command(std::string_view line, SensorModel& sensor, BoardState& board,
                           SensorModel::Clock::time_point now) {
  if (line.starts_with("RD")) {
    return read_registers(line.substr(2), sensor, now);
  }
  if (line.starts_with("WR")) {
    return write_registers(line.substr(2), sensor, now);
  }
  if (line == "IE2") {
    board.interrupt_stream = true;
  }
  if (line == "SD") {
    board.interrupt_stream = false;
  }
  for (const auto command : kTextCommands) {
    if (line == command) {
      return std::string(line) + std::string(kLineEnd);
    }
  }
  return std::string(kError);
}

}  // namespace veltrix::sim
