#pragma once
// Connecting a model to its sensor: the one sequence the window and
// veltrix-cli share. Finds the board's port, initializes the device on it and
// points the link's burst reads at the model's FIFO data register. No sampling
// rate is applied here; the window applies its own afterwards.
//
// Thread contract: call from the thread that owns the device (the window's or
// the command line's), never while a capture runs. What the last connect left
// for connect_failure_detail is locked, so any thread may ask.

#include <string>
#include <vector>

#include "devices/ikor.h"

namespace veltrix::devices {

// VELTRIX_PORT when set, else the lowest-numbered USB CDC-ACM tty; "" when
// neither exists.
std::string discover_board_port();

// Initializes the freshly constructed `device` over `mode` (MODE_I2C or
// MODE_SPI) on `port`, or on discover_board_port() when `port` is empty, and
// stores the model's FIFO_R_W address (0x74 when its table has none) in
// KORREG_FIFO_R_W. On success it remembers the board's identity
// (devices/board_identity.h) and empties the operator's journal
// (devices/operator_writes.h). Returns initialize's status: 0 on success.
[[nodiscard]] long connect_device(ikor& device, int mode, const std::string& port);

// The operator's message for a failed connect in `mode`.
const char* connect_failure_message(int mode);

// Why the last connect_device failed, in one line of plain words for under
// connect_failure_message: the port in use by another program, permission
// denied, the port missing, or no board found. "" when the last connect
// succeeded or nothing more is known (the board did not answer, say).
std::string connect_failure_detail();

// What the operator is told of the last failed connect in `mode`, a line
// each: connect_failure_message, then the detail, or else what the board's
// silence or loss was.
std::vector<std::string> connect_failure_lines(int mode);

// Closes the link and joins its reader, and forgets the model's FIFO_R_W
// address (the next connect_device stores its own). Closing a closed link
// does nothing.
void disconnect_device();

}  // namespace veltrix::devices
