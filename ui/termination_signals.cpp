#include "ui/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <QSocketNotifier>
#include <QWidget>

namespace veltrix::ui {

namespace {

int signal_pipe[2] = {-1, -1};

void on_signal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a close request; nothing more is needed.
  (void)!write(signal_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool close_on_termination_signals(QWidget& window) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signal_pipe) != 0) {
    return false;
  }
  auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, &window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
    char bytes[16];
    while (read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
    window.close();
  });
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal_number, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
  return true;
}

}  // namespace veltrix::ui
