// Asks the link whether the board was lost, as capture/ or cli/ could through
// the project root. Only the device layer may: must not compile.
#include "link/board_protocol.h"

bool board_gone() { return vtx_serial_lost(); }
