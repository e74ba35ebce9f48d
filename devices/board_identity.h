#pragma once
// Which board counts as the one connected, and finding it again after it
// went away. A port found by discovery belongs to the board with that USB
// serial number, wherever it comes back (/dev/ttyACM0 may return as
// /dev/ttyACM1); a port named by VELTRIX_PORT is the board at that path,
// and when sysfs knows its serial number that must match too.
//
// Thread contract: any thread; the remembered identity is locked.

#include <string>

namespace veltrix::devices {

struct BoardIdentity {
  std::string port;         // the path connected to
  std::string serial;       // its USB serial number; "" when none is known
  bool port_named = false;  // VELTRIX_PORT named the port
};

// The identity of the board at `port` now (serial number from sysfs).
BoardIdentity identify_board(const std::string& port);

// What connect_device remembered of the last board it connected.
BoardIdentity remembered_board();
void remember_board(const BoardIdentity& board);

enum class BoardSighting {
  kNone,   // no board there (yet)
  kSame,   // the same board, at `port`
  kOther,  // a board that cannot be told to be the same: ask the operator
};

struct FoundBoard {
  BoardSighting sighting = BoardSighting::kNone;
  std::string port;
  std::string serial;  // its serial number; "" when none is known
};

// Looks for `board` now: at its named path, or among the USB CDC-ACM ports
// by serial number. With discovery, a board without a known serial number
// is never taken for the same one.
FoundBoard find_same_board(const BoardIdentity& board);

}  // namespace veltrix::devices
