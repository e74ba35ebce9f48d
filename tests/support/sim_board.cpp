#include "tests/support/sim_board.h"

#include <gtest/gtest.h>

#include <utility>

namespace veltrix::test {

sim::BoardOptions board_options(std::string_view model_class, sim::SensorOptions sensor, sim::Faults faults) {
  sim::BoardOptions options;
  options.sensor = std::move(sensor);
  options.sensor.model_class = std::string(model_class);
  options.faults = faults;
  return options;
}

SimBoard::SimBoard(const sim::BoardOptions& options) : sim::BoardSim(options) {
  const int error = start();
  EXPECT_EQ(error, 0) << "simulator did not start";
  started_ = error == 0;
}

SimBoard::SimBoard(std::string_view model_class) : SimBoard(board_options(model_class)) {}

std::vector<std::string> SimBoard::lines() const {
  std::vector<std::string> out;
  for (const auto& record : commands()) {
    out.push_back(record.line);
  }
  return out;
}

void SimBoard::go_silent() {
  sim::Faults faults;
  faults.silent = true;
  set_faults(faults);
}

}  // namespace veltrix::test
