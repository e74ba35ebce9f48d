#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace veltrix::sim {

int open_pseudo_terminal(PseudoTerminal& pty) {
  PseudoTerminal opened;
  opened.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (opened.master < 0) {
    return errno;
  }
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
  opened.close_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (opened.close_watch < 0 ||
      inotify_add_watch(opened.close_watch, opened.path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
    const int error = errno;
    close_pseudo_terminal(opened);
    return error;
  }
  pty = std::move(opened);
  return 0;
}

void release_exclusive_use(PseudoTerminal& pty) {
  std::array<char, 1024> events{};
  while (read(pty.close_watch, events.data(), events.size()) > 0) {
  }
  ioctl(pty.slave, TIOCNXCL);
}

void close_pseudo_terminal(PseudoTerminal& pty) {
  for (int* fd : {&pty.close_watch, &pty.slave, &pty.master}) {
    if (*fd >= 0) {
      close(*fd);
    }
    *fd = -1;
  }
}

}  // namespace veltrix::sim
