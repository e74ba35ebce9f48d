#pragma once
// The board's answer to one command line (without its line end):
//   "RDsseecc"  read cc registers of bus ss from ee (wrapping at 256):
//               "RDssee" + two upper-case hex digits per byte + "\r\n"
//   "WRss..."   write data bytes (register address first, then values for
//               consecutive registers): "WRssOK\r\n"
//   "SD", "IE2", "ID", "DD", "CS1": the command echoed + "\r\n"
// Anything else, or a malformed register command, gets "ERR\r\n" and touches
// no register. Hex digits in commands may be of either case.
//
// Thread contract: the caller serialises access to the sensor.

#include <string>
#include <string_view>

#include "sim/sensor_model.h"

namespace veltrix::sim {

std::string answer_command(std::string_view line, SensorModel& sensor, SensorModel::Clock::time_point now);

}  // namespace veltrix::sim
