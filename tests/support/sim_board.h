#pragma once
// A simulated board for one test: started on a fresh pseudo-terminal as it is
// made, with the lines it received and a switch to fall silent.
//
// Thread contract: as sim::BoardSim (every member safe from any thread).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_sim.h"

namespace veltrix::test {

sim::BoardOptions board_options(std::string_view model_class, sim::SensorOptions sensor = {}, sim::Faults faults = {});

class SimBoard : public sim::BoardSim {
 public:
  explicit SimBoard(const sim::BoardOptions& options = {});
  explicit SimBoard(std::string_view model_class);

  // False (and the test failed) when the simulator did not start.
  bool started() const { return started_; }
  const std::string& port() const { return port_path(); }

  // Every command line received since the last clear_commands().
  std::vector<std::string> lines() const;
  // From now on the board answers nothing.
  void go_silent();
  // A register of the sensor at bus 0x68.
  std::uint8_t reg(std::uint8_t address) const { return register_value(0x68, address); }

 private:
  bool started_ = false;
};

}  // namespace veltrix::test
