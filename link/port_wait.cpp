#include "port_wait.h"

#include <sys/epoll.h>

#include <unistd.h>

#include <cerrno>

int port_wait_set(int port, int event) {
  const int set = epoll_create1(EPOLL_CLOEXEC);
  if (set < 0) {
    return -1;
  }
  epoll_event on_port{};
  on_port.events = EPOLLIN | EPOLLEXCLUSIVE;
  on_port.data.fd = port;
  epoll_event on_event{};
  on_event.events = EPOLLIN;
  on_event.data.fd = event;
  if (epoll_ctl(set, EPOLL_CTL_ADD, port, &on_port) != 0 || epoll_ctl(set, EPOLL_CTL_ADD, event, &on_event) != 0) {
    const int error = errno;
    close(set);
    errno = error;
    return -1;
  }
  return set;
}

int port_wait(int set, int port, int timeout_ms, PortWake& wake) {
  wake = PortWake{};
  epoll_event ready[2];
  const int count = epoll_wait(set, ready, 2, timeout_ms);
  if (count < 0) {
    return errno == EINTR ? 0 : -1;
  }
  for (int i = 0; i < count; ++i) {
    if (ready[i].data.fd == port) {
      wake.port_events = static_cast<short>(ready[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR));
    } else {
      wake.event = true;
    }
  }
  return 0;
}
