// The overview written beside a data log: what the capture's writer leaves
// reads back as the lines written say, block by block; it is taken only for
// its own log as the log is now; and a log that was not closed whole leaves
// none that a reader takes.

#include "capture/log_overview.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "capture/data_log.h"
#include "capture/sample_format.h"
#include "tests/support/file_size_limit.h"

namespace veltrix::capture {
namespace {

// One line as written: where it starts, and what a reader finds in it.
struct WrittenLine {
  std::uint64_t offset = 0;
  DataLogLine kind = DataLogLine::kSample;
  int time_ms = 0;  // the last time written, for a line without one
  std::vector<std::int16_t> values;
};

struct WrittenLog {
  std::string text;
  std::uint64_t first_line = 0;
  std::uint64_t lines_end = 0;
  std::vector<WrittenLine> lines;
};

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Sets the file's modification time to `other`'s: an edit that hides.
void same_time_as(const std::string& path, const std::string& other) {
  struct stat info {};
  ASSERT_EQ(::stat(other.c_str(), &info), 0);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class LogOverviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/log_overview_testXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  // Writes `lines` lines through the capture's data log: `components` at
  // `rate_hz` with random values, and with `varied` now and then a gap or a
  // line of other components; the summary above 200 Hz. Leaves the log open
  // when asked.
  static WrittenLog write_log(DataLog& log, const std::string& path, int rate_hz, int components, int lines,
                              std::uint32_t seed, bool varied = true, bool close = true) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> count(-32768, 32767);
    const bool timed = data_log_has_time(rate_hz);
    WrittenLog written;
    EXPECT_EQ(log.open(path), 0);
    SampleText line;
    format_header(line, timed, components);
    written.text.append(line.view()).append(kLineEnd);
    written.first_line = written.text.size();
    EXPECT_EQ(log.write(written.text), 0);
    int time_ms = 0;
    for (int n = 0; n < lines; ++n) {
      WrittenLine entry;
      entry.offset = written.text.size();
      const int pick = varied ? static_cast<int>(random() % 100) : 99;
      const int shown = pick < 3 ? 0 : pick < 5 ? (components ^ COMPONENT_TEMP) : components;
      entry.kind = shown == 0            ? DataLogLine::kGap
                   : shown == components ? DataLogLine::kSample
                                         : DataLogLine::kOtherColumns;
      if (entry.kind != DataLogLine::kOtherColumns) {
        time_ms += static_cast<int>(random() % 20);
      }
      entry.time_ms = time_ms;
      SampleValues values;
      for (const int component : kColumnOrder) {
        for (int axis = 0; axis < 3; ++axis) {
          values.of(component)[axis] = static_cast<float>(count(random));
        }
        for (int axis = 0; axis < (component == COMPONENT_TEMP ? 1 : 3) && (components & component) != 0; ++axis) {
          entry.values.push_back(static_cast<std::int16_t>(values.of(component)[axis]));
        }
      }
      format_sample_line(line, shown, values, timed ? std::optional<double>(time_ms) : std::nullopt);
      std::string text(line.view());
      text.append(kLineEnd);
      EXPECT_EQ(log.write(text), 0);
      written.text += text;
      written.lines.push_back(entry);
    }
    written.lines_end = written.text.size();
    if (!timed) {
      format_summary(line, time_ms, lines);
      EXPECT_EQ(log.write(line.view()), 0);
      written.text.append(line.view());
    }
    if (close) {
      EXPECT_EQ(log.close(), 0);
      EXPECT_EQ(read_file(path), written.text);
    }
    return written;
  }

  std::filesystem::path folder_;
};

TEST_F(LogOverviewTest, WhatTheCaptureWritesReadsBackAsItsLinesSay) {
  const struct {
    int rate_hz;
    int components;
    int lines;
  } cases[] = {
      {8000, COMPONENT_GYRO, 64 * 200 + 17},
      {100, COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP, 64 * 3},
      {1000, veltrix::devices::kAllComponents, 5},
      {20, COMPONENT_COMPASS, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate_hz << " Hz, " << c.lines << " lines");
    const std::string log_path = path("dataLog7.csv");
    DataLog log;
    const WrittenLog written = write_log(log, log_path, c.rate_hz, c.components, c.lines, 11);
    EXPECT_EQ(log_overview_path(log_path), path("dataLog7_overview.bin"));
    const LogOverviewReading reading = read_log_overview(path("dataLog7_overview.bin"), log_path);
    ASSERT_TRUE(reading.overview) << reading.refused;
    const LogOverview& overview = *reading.overview;
    const bool timed = data_log_has_time(c.rate_hz);
    EXPECT_EQ(overview.has_time, timed);
    const auto columns = static_cast<std::size_t>(overview.value_columns);
    std::size_t expected_columns = 0;
    for (const DataLogGroup& group : kDataLogGroups) {
      expected_columns += (c.components & group.component) != 0 ? static_cast<std::size_t>(group.axes) : 0;
    }
    EXPECT_EQ(columns, expected_columns);
    EXPECT_EQ(overview.first_line, written.first_line);
    EXPECT_EQ(overview.lines_end, written.lines_end);
    EXPECT_EQ(overview.lines, written.lines.size());
    EXPECT_EQ(overview.other_lines, static_cast<std::uint64_t>(std::count_if(
                                        written.lines.begin(), written.lines.end(), [](const WrittenLine& line) {
                                          return line.kind == DataLogLine::kOtherColumns;
                                        })));
    EXPECT_EQ(overview.last_time_ms.has_value(), timed && !written.lines.empty());
    if (overview.last_time_ms) {
      EXPECT_EQ(*overview.last_time_ms, written.lines.back().time_ms);
    }
    const std::size_t blocks = (written.lines.size() + kOverviewBlockLines - 1) / kOverviewBlockLines;
    ASSERT_EQ(overview.block_offsets.size(), blocks);
    ASSERT_EQ(overview.block_times.size(), timed ? blocks : 0);
    ASSERT_EQ(overview.ranges.size(), blocks * 2 * columns);
    for (std::size_t b = 0; b < blocks; ++b) {
      const WrittenLine& first = written.lines[b * kOverviewBlockLines];
      EXPECT_EQ(overview.block_offsets[b], first.offset) << b;
      if (timed) {
        EXPECT_EQ(overview.block_times[b], first.time_ms) << b;
      }
      for (std::size_t column = 0; column < columns; ++column) {
        std::int16_t lo = INT16_MAX, hi = INT16_MIN;
        for (std::size_t i = b * kOverviewBlockLines; i < std::min(written.lines.size(), (b + 1) * kOverviewBlockLines);
             ++i) {
          if (written.lines[i].kind == DataLogLine::kSample) {
            lo = std::min(lo, written.lines[i].values[column]);
            hi = std::max(hi, written.lines[i].values[column]);
          }
        }
        EXPECT_EQ(overview.ranges[(b * columns + column) * 2], lo) << "block " << b << ", column " << column;
        EXPECT_EQ(overview.ranges[(b * columns + column) * 2 + 1], hi) << "block " << b << ", column " << column;
      }
    }
  }
}

TEST_F(LogOverviewTest, IsTakenOnlyForItsOwnLogAsItIs) {
  const std::string log_path = path("dataLog1.csv");
  const std::string overview_path = path("dataLog1_overview.bin");
  const std::string other_path = path("dataLog2.csv");
  DataLog log;
  const WrittenLog written = write_log(log, log_path, 8000, COMPONENT_GYRO, 5000, 1, false);
  const WrittenLog other = write_log(log, other_path, 8000, COMPONENT_GYRO, 5000, 2, false);
  ASSERT_EQ(written.text.size(), other.text.size());
  const std::string overview = read_file(overview_path);
  ASSERT_TRUE(read_log_overview(overview_path, log_path).overview);

  const auto refused_for = [&](const std::string& log_text, bool same_time) {
    write_file(log_path, log_text);
    if (same_time) {
      same_time_as(log_path, overview_path);
    }
    const LogOverviewReading reading = read_log_overview(overview_path, log_path);
    write_file(log_path, written.text);
    same_time_as(log_path, overview_path);
    return reading.overview ? std::string("taken") : reading.refused;
  };
  std::string edited_first = written.text;
  edited_first[written.lines[3].offset + 2] = edited_first[written.lines[3].offset + 2] == '1' ? '2' : '1';
  std::string edited_last = written.text;
  edited_last[written.lines.back().offset + 3] = edited_last[written.lines.back().offset + 3] == '1' ? '2' : '1';
  std::string edited_middle = written.text;
  edited_middle[written.lines[2500].offset + 3] = edited_middle[written.lines[2500].offset + 3] == '1' ? '2' : '1';

  EXPECT_NE(refused_for(written.text.substr(0, written.lines_end), true).find("size"), std::string::npos);
  EXPECT_NE(refused_for(written.text + "     1,     2,     3\r\n", true).find("size"), std::string::npos);
  EXPECT_NE(refused_for(edited_first, true).find("first or last bytes"), std::string::npos);
  EXPECT_NE(refused_for(edited_last, true).find("first or last bytes"), std::string::npos);
  EXPECT_NE(refused_for(other.text, true).find("first or last bytes"), std::string::npos);
  // An edit the ends do not show shows in the time: the log is newer.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_NE(refused_for(edited_middle, false).find("changed after"), std::string::npos);
  ASSERT_TRUE(read_log_overview(overview_path, log_path).overview);

  // Another log's overview, and a damaged one.
  write_file(overview_path, read_file(path("dataLog2_overview.bin")));
  EXPECT_EQ(read_log_overview(overview_path, log_path).refused,
            "The log's first or last bytes are not the ones its overview describes.");
  std::string damaged = overview;
  damaged[100] = static_cast<char>(damaged[100] ^ 1);
  write_file(overview_path, damaged);
  EXPECT_EQ(read_log_overview(overview_path, log_path).refused, "The overview is damaged.");
  write_file(overview_path, overview);
  EXPECT_TRUE(read_log_overview(overview_path, log_path).overview);
  EXPECT_FALSE(read_log_overview(path("none_overview.bin"), log_path).overview);
}

TEST_F(LogOverviewTest, ALogNotClosedWholeLeavesNoneTaken) {
  // Still being written (or never closed: the process ended): no trailer.
  const std::string log_path = path("dataLog3.csv");
  {
    DataLog log;
    (void)write_log(log, log_path, 1000, COMPONENT_ACCEL, 3000, 3, true, false);
    EXPECT_EQ(read_log_overview(path("dataLog3_overview.bin"), log_path).refused,
              "The overview is not one, or was never finished.");
  }
  EXPECT_TRUE(read_log_overview(path("dataLog3_overview.bin"), log_path).overview);

  // A write that fails cuts the log back and removes the overview.
  {
    DataLog log;
    veltrix::test::FileSizeLimit limit(20000);
    ASSERT_EQ(log.open(log_path), 0);
    int error = log.write("Gyro_X, Gyro_Y, Gyro_Z\r\n");
    for (int i = 0; i < 2000 && error == 0; ++i) {
      error = log.write("     1,     2,     3\r\n");
    }
    EXPECT_EQ(error, EFBIG);
  }
  EXPECT_FALSE(std::filesystem::exists(path("dataLog3_overview.bin")));

  // A log that is no regular file gets none beside it.
  DataLog device;
  ASSERT_EQ(device.open("/dev/null"), 0);
  EXPECT_EQ(device.write("Gyro_X, Gyro_Y, Gyro_Z\r\n"), 0);
  EXPECT_EQ(device.close(), 0);
  EXPECT_FALSE(std::filesystem::exists("/dev/null_overview.bin"));
}

}  // namespace
}  // namespace veltrix::capture
