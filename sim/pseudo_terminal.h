#pragma once
// Opens a raw pseudo-terminal pair for the simulated board. The slave end is
// made raw before its path is handed out (a cooked terminal would rewrite the
// protocol's "\n\r" line ends), and the board keeps one slave descriptor
// open itself so the master never sees a hang-up while no host is attached
// and the settings survive between hosts.
//
// Holding the slave open also keeps a host's exclusive-use flag (TIOCEXCL)
// alive after that host has closed the port, which a real board's last close
// would clear; close_watch reports closes of the port so the board can clear
// it (release_exclusive_use) and the next host can open it.
//
// Thread contract: plain functions; the caller owns the descriptors.

#include <string>

namespace veltrix::sim {

struct PseudoTerminal {
  int master = -1;  // non-blocking
  int slave = -1;
  int close_watch = -1;  // non-blocking inotify descriptor: readable when a host closes the port
  std::string path;
};

// 0 or an errno value; on failure nothing stays open.
int open_pseudo_terminal(PseudoTerminal& pty);
void close_pseudo_terminal(PseudoTerminal& pty);

// Consumes the close notices and clears the exclusive-use flag.
void release_exclusive_use(PseudoTerminal& pty);

}  // namespace veltrix::sim
