#pragma once
// The devices suites' board: the shared simulated board, plus devices of any
// family connected to it through the real link and its record of register
// writes.
//
// Thread contract: as veltrix::test::SimBoard; connect() on one thread.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string_view>
#include <vector>

#include "devices/ikor.h"
#include "tests/support/sim_board.h"

namespace veltrix::devices::test {

// A device of the family `class_name`, made through the model catalogue.
std::unique_ptr<ikor> make_device(std::string_view class_name);

struct RegisterWrite {
  std::uint8_t reg;
  std::uint8_t value;
  bool operator==(const RegisterWrite&) const = default;
};
void PrintTo(const RegisterWrite& w, std::ostream* os);

class SimBoard : public veltrix::test::SimBoard {
 public:
  explicit SimBoard(sim::SensorOptions sensor, sim::Faults faults = {});
  explicit SimBoard(std::string_view class_name);

  // A device of the board's class, initialized over `mode`; null when
  // initialize fails (the test then fails too).
  std::unique_ptr<ikor> connect(int mode = MODE_I2C);
  // The register writes at bus 0x68, in order.
  std::vector<RegisterWrite> sensor_writes() const;

 private:
  std::string class_name_;
};

}  // namespace veltrix::devices::test
