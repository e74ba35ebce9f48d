#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

namespace veltrix::test {

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  EXPECT_EQ(sigaction(SIGXFSZ, &ignore, &old_action_), 0);
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit_), 0);
  const rlimit limit{bytes, old_limit_.rlim_max};
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &old_limit_);
  sigaction(SIGXFSZ, &old_action_, nullptr);
}

}  // namespace veltrix::test
