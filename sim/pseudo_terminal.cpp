#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace veltrix::sim {

int open_pseudo_terminal(PseudoTerminal& pty) {
  PseudoTerminal opened;
  opened.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (opened.master < 0) return errno;
  std::array<char, 128> name{};
  if (grantpt(opened.master) != 0 || unlockpt(opened.master) != 0 ||
      ptsname_r(opened.master, name.data(), name.size()) != 0) {
    const int error = errno;
    close_pseudo_terminal(opened);
    return error;
  }
  opened.path = name.data();
  opened.slave = open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (opened.slave < 0 || tcgetattr(opened.slave, &settings) != 0) {
    const int error = errno;
    close_pseudo_terminal(opened);
    return error;
  }
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  cfsetspeed(&settings, B115200);
  if (tcsetattr(opened.slave, TCSANOW, &settings) != 0) {
    const int error = errno;
    close_pseudo_terminal(opened);
    return error;
  }
  pty = std::move(opened);
  return 0;
}

void close_pseudo_terminal(PseudoTerminal& pty) {
  if (pty.slave >= 0) close(pty.slave);
  if (pty.master >= 0) close(pty.master);
  pty.slave = -1;
  pty.master = -1;
}

}  // namespace veltrix::sim
