#pragma once
// Sleeping until the port has bytes. Two threads do: the reader thread and an
// exchange waiting for its reply, which reads the reply itself. Each waits on
// a set of its own (epoll): the port, registered exclusively, and an eventfd
// of its own. The exchange's set is made first, so while it sleeps only it
// wakes for new bytes; while it does not, the reader wakes instead.
//
// Thread contract: a set is waited on by one thread at a time.

#include "link_internal.h"

struct PortWake {
  short port_events = 0;  // poll(2) bits of the port: POLLIN, POLLHUP, POLLERR
  bool event = false;     // the set's eventfd is readable
};

// A set of `port` and `event`: its descriptor, or -1 with errno set.
int port_wait_set(int port, int event);

// Waits on `set` up to `timeout_ms`. 0 with `wake` filled (both clear on a
// timeout or a signal), or -1 with errno set.
int port_wait(int set, int port, int timeout_ms, PortWake& wake);
