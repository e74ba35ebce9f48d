#pragma once
// Threads the session starts (the link's reader, the capture thread, the
// supervisor) must never take Python's SIGINT: a system call of theirs would
// fail with EINTR, and only the interpreter's thread acts on it. While one of
// these is alive, the calling thread holds the stop signals, so every thread
// started meanwhile is born holding them; the caller gets them back after.
//
// Thread contract: the calling thread's own signal mask only.

#include <signal.h>

namespace veltrix::python {

class HeldSignals {
 public:
  HeldSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, &before_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t before_;
};

}  // namespace veltrix::python
