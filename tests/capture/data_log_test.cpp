// The data log file reports a write that did not reach the disk; the capture
// tests show the file left ending on a whole line.

#include "capture/data_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

using veltrix::capture::DataLog;

namespace {

TEST(DataLogTest, AFullDiskIsReportedByWriteOrClose) {
  DataLog log;
  ASSERT_EQ(log.open("/dev/full"), 0);
  EXPECT_EQ(log.path(), "/dev/full");
  // Small writes stay in the log's buffer; the error shows when it is written out.
  const std::string line(100, 'x');
  int write_error = 0;
  for (int i = 0; i < 1000 && write_error == 0; ++i) {
    write_error = log.write(line);
  }
  const int close_error = log.close();
  EXPECT_TRUE(write_error == ENOSPC || close_error == ENOSPC) << write_error << " " << close_error;
  EXPECT_FALSE(log.is_open());
  EXPECT_EQ(log.close(), 0);
}

TEST(DataLogTest, AFolderThatDoesNotExistIsReportedAtOpen) {
  DataLog log;
  EXPECT_EQ(log.open("/nonexistent-folder/dataLog1.csv"), ENOENT);
  EXPECT_FALSE(log.is_open());
  EXPECT_EQ(log.close(), 0);
}

}  // namespace
