#pragma once
// Test helper: a file-size limit on this process, with SIGXFSZ ignored, so a
// write past the limit fails with EFBIG as a full disk fails with ENOSPC.
// Child processes started meanwhile inherit both. Restored when it goes.

#include <signal.h>
#include <sys/resource.h>

namespace veltrix::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_limit_{};
  struct sigaction old_action_ {};
};

}  // namespace veltrix::test
