#include "tests/devices/sim_board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "devices/model_catalogue.h"

namespace veltrix::devices::test {
namespace {

int hex_pair(std::string_view text) { return std::stoi(std::string(text.substr(0, 2)), nullptr, 16); }

}  // namespace

void PrintTo(const RegisterWrite& w, std::ostream* os) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X<-%02X", w.reg, w.value);
  *os << text;
}

std::unique_ptr<ikor> make_device(std::string_view class_name) {
  for (const ModelEntry& m : model_catalogue()) {
    if (class_name == m.class_name) {
      return m.create();
    }
  }
  ADD_FAILURE() << "no model of class " << class_name;
  return nullptr;
}

SimBoard::SimBoard(sim::SensorOptions sensor, sim::Faults faults)
    : veltrix::test::SimBoard(veltrix::test::board_options(sensor.model_class, sensor, faults)),
      class_name_(sensor.model_class) {}

SimBoard::SimBoard(std::string_view class_name) : veltrix::test::SimBoard(class_name), class_name_(class_name) {}

std::unique_ptr<ikor> SimBoard::connect(int mode) {
  auto device = make_device(class_name_);
  if (!device || !started()) {
    return nullptr;
  }
  const long status = device->initialize(port().c_str(), mode);
  EXPECT_EQ(status, 0) << class_name_ << " did not connect";
  return status == 0 ? std::move(device) : nullptr;
}

std::vector<RegisterWrite> SimBoard::sensor_writes() const {
  std::vector<RegisterWrite> out;
  for (const auto& line : lines()) {
    if (line.size() == 8 && line.starts_with("WR68")) {
      out.push_back(
          {static_cast<std::uint8_t>(hex_pair(line.substr(4))), static_cast<std::uint8_t>(hex_pair(line.substr(6)))});
    }
  }
  return out;
}

}  // namespace veltrix::devices::test
