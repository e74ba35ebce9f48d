#pragma once
// Opens a raw pseudo-terminal pair for the simulated board. The slave end is
// made raw before its path is handed out (a cooked terminal would rewrite the
// protocol's "\n\r" line ends), and the board keeps one slave descriptor
// open itself so the master never sees a hang-up while no host is attached.
//
// Thread contract: plain functions; the caller owns the descriptors.

#include <string>

namespace veltrix::sim {

struct PseudoTerminal {
  int master = -1;  // non-blocking
  int slave = -1;
  std::string path;
};

// 0 or an errno value; on failure nothing stays open.
int open_pseudo_terminal(PseudoTerminal& pty);
void close_pseudo_terminal(PseudoTerminal& pty);

}  // namespace veltrix::sim
