// The data log file: a write that does not reach the disk is reported, and
// the file is left ending on a whole line.

#include "capture/data_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/capture/file_size_limit.h"
#include "tests/capture/sample_line_check.h"

namespace {

TEST(DataLogTest, AFullDiskIsReportedByWriteOrClose) {
  DataLog log;
  ASSERT_EQ(log.open("/dev/full"), 0);
  EXPECT_EQ(log.path(), "/dev/full");
  // Small writes stay in the log's buffer; the error shows when it is written out.
  const std::string line(100, 'x');
  int write_error = 0;
  for (int i = 0; i < 1000 && write_error == 0; ++i)
    write_error = log.write(line);
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

// A file-size limit stops a write part-way, as a full disk does.
TEST(DataLogTest, AWriteThatFailsPartWayLeavesTheLogOnItsLastWholeLine) {
  char pattern[] = "/tmp/veltrix-data-log-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path file = std::filesystem::path(pattern) / "dataLog1.csv";
  constexpr rlim_t kLimit = 1000;

  DataLog log;
  std::string all;
  int error = 0;
  int close_error = 0;
  {
    capture_testing::FileSizeLimit limit(kLimit);
    error = log.open(file);
    for (int i = 0; i < 400 && error == 0; ++i) {
      char line[32];
      const int size = std::snprintf(line, sizeof line, "%7i,%7i\r\n", i, -i);
      all.append(line, static_cast<std::size_t>(size));
      error = log.write({line, static_cast<std::size_t>(size)});
    }
    close_error = log.close();
  }

  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(close_error, 0);
  EXPECT_FALSE(log.is_open());
  const std::string kept = capture_testing::read_file(file);
  EXPECT_EQ(kept.size(), kLimit / 17 * 17);  // every 17-byte line that fits whole
  EXPECT_EQ(all.compare(0, kept.size(), kept), 0);
  std::filesystem::remove_all(pattern);
}

}  // namespace
