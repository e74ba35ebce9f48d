#include "tests/devices/sim_board.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "devices/model_catalogue.h"

namespace veltrix::devices::testing {
namespace {

sim::BoardOptions board_options(sim::SensorOptions sensor, sim::Faults faults) {
  sim::BoardOptions options;
  options.sensor = std::move(sensor);
  options.faults = faults;
  return options;
}

int hex_pair(std::string_view text) { return std::stoi(std::string(text.substr(0, 2)), nullptr, 16); }

}  // namespace

void PrintTo(const RegisterWrite& w, std::ostream* os) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X<-%02X", w.reg, w.value);
  *os << text;
}

std::unique_ptr<ikor> make_device(std::string_view class_name) {
  for (const ModelEntry& m : model_catalogue()) {
    if (class_name == m.class_name) return m.create();
  }
  ADD_FAILURE() << "no model of class " << class_name;
  return nullptr;
}

SimBoard::SimBoard(sim::SensorOptions sensor, sim::Faults faults)
    : class_name_(sensor.model_class), sim_(board_options(sensor, faults)) {
  const int error = sim_.start();
  EXPECT_EQ(error, 0) << "simulator did not start";
  started_ = error == 0;
}

SimBoard::SimBoard(std::string_view class_name)
    : SimBoard([&] {
        sim::SensorOptions sensor;
        sensor.model_class = std::string(class_name);
        return sensor;
      }()) {}

std::unique_ptr<ikor> SimBoard::connect(int mode) {
  auto device = make_device(class_name_);
  if (!device || !started_) return nullptr;
  const long status = device->initialize(port().c_str(), mode);
  EXPECT_EQ(status, 0) << class_name_ << " did not connect";
  return status == 0 ? std::move(device) : nullptr;
}

std::vector<std::string> SimBoard::lines() const {
  std::vector<std::string> out;
  for (const auto& record : sim_.commands())
    out.push_back(record.line);
  return out;
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

void SimBoard::go_silent() {
  sim::Faults faults;
  faults.silent = true;
  sim_.set_faults(faults);
}

}  // namespace veltrix::devices::testing
