#pragma once
// The board's answer to one command line (without its line end):
//   "RDsseecc"  read cc registers of bus ss from ee (wrapping at 256):
//               "RDssee" + two upper-case hex digits per byte + "\r\n"
//   "WRss..."   write data bytes (register address first, then values for
//               consecutive registers): "WRssOK\r\n"
//   "SD", "IE2", "ID", "DD", "CS1": the command echoed + "\r\n"; "IE2" also
//               turns the board's interrupt stream on, "SD" turns it off
// Anything else, or a malformed register command, gets "ERR\r\n" and touches
// no register. Hex digits in commands may be of either case.
//
// Thread contract: the caller serialises access to the sensor.

#include <string>
#include <string_view>

#include "sim/sensor_model.h"

namespace veltrix::sim {

// What the board itself keeps between commands.
struct BoardState {
  bool interrupt_stream = false;  // off at power-up
};

// Whether `line` is a register read of the sensor (bus 0x68) that reaches
// register `reg`.
bool reads_sensor_register(std::string_view line, int reg);

std::string answer_command(std::string_view line, SensorModel& sensor, BoardState& board,
                           SensorModel::Clock::time_point now);

}  // namespace veltrix::sim
