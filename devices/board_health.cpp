#include "devices/board_health.h"

#include "link/board_protocol.h"

namespace veltrix::devices {

bool board_lost() { return vtx_serial_lost(); }

long board_unanswered_ms() { return vtx_serial_unanswered_ms(); }

}  // namespace veltrix::devices
