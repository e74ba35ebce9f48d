#pragma once
// Waiting for a board that went away to come back, then connecting to it
// and restoring what the operator set (devices/board_reconnect.h): what a
// capture that goes on across a lost board needs when nobody is there to
// press Reconnect. Only the same board counts (devices/board_identity.h):
// one with another serial number is never taken.
//
// Thread contract: the thread that owns the device, never while a capture
// runs (as reconnect_device). Blocks until the board is back, `deadline`
// passes or `give_up` returns true.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "devices/board_reconnect.h"
#include "devices/ikor.h"
#include "devices/model_catalogue.h"

namespace veltrix::devices {

struct BoardReturn {
  std::unique_ptr<ikor> device;  // connected and restored; null when the board did not return
  std::string port;              // where it came back
  Restore restore;               // of the last attempt
};

// Looks for the remembered board every `kBoardLookPeriod`; where it is found,
// connects a new device of `model` over `mode` (MODE_I2C, MODE_SPI) and
// restores it. A board found but not restored (still not answering) is
// tried again at the next look.
inline constexpr std::chrono::milliseconds kBoardLookPeriod{100};
[[nodiscard]] BoardReturn await_board_return(const ModelEntry& model, int mode,
                                             std::chrono::steady_clock::time_point deadline,
                                             const std::function<bool()>& give_up);

// "KOR 73 at /dev/ttyACM0 (serial 0042)": the remembered board, for messages.
std::string remembered_board_name(const std::string& model_name);

}  // namespace veltrix::devices
