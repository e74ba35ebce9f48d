// The min/max pyramid against brute force, and data logs opened through the
// index: read whole, drawn exactly when zoomed in, read on as a capture
// appends to them, cut mid-line, and refused with a message.

#include "ui/plot/log_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "tests/plot/written_log.h"
#include "ui/plot/indexed_log.h"

using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;
using veltrix::ui::plot::ChannelColumns;
using veltrix::ui::plot::ChannelMask;
using veltrix::ui::plot::IndexedLog;
using veltrix::ui::plot::LogIndex;
using veltrix::ui::plot::ValueRange;
using veltrix::ui::plot::test::LogLayout;

namespace {

constexpr std::size_t kBlock = LogIndex::kBlockLines;

TEST(LogIndex, RangesOverAnyBlocksMatchBruteForce) {
  std::mt19937 random(7);
  for (const std::size_t lines : {std::size_t{1}, kBlock, kBlock * 9 + 5, kBlock * 700 + 33}) {
    LogIndex index(2);
    std::vector<std::array<std::int16_t, 2>> values(lines);
    std::vector<bool> gap(lines);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (std::size_t i = 0; i < lines; ++i) {
      values[i] = {static_cast<std::int16_t>(value(random)), static_cast<std::int16_t>(value(random) / 100)};
      gap[i] = random() % 50 == 0;
      index.append(static_cast<double>(i), i * 22, gap[i] ? nullptr : values[i].data());
      // Queries between appends see every line so far.
      if (random() % 97 == 0 || i + 1 == lines) {
        index.settle();
        const std::size_t blocks = index.block_count();
        ASSERT_EQ(blocks, i / kBlock + 1);
        for (int trial = 0; trial < 20; ++trial) {
          std::size_t first = random() % blocks;
          std::size_t end = first + 1 + random() % (blocks - first);
          for (int column = 0; column < 2; ++column) {
            ValueRange expected;
            for (std::size_t line = first * kBlock; line < std::min(end * kBlock, i + 1); ++line) {
              if (!gap[line]) {
                expected.add(values[line][static_cast<std::size_t>(column)]);
              }
            }
            const ValueRange got = index.range(column, first, end);
            ASSERT_EQ(got.empty(), expected.empty());
            if (!expected.empty()) {
              ASSERT_EQ(got.min, expected.min) << lines << " lines, blocks " << first << ".." << end;
              ASSERT_EQ(got.max, expected.max);
            }
          }
        }
      }
    }
    EXPECT_EQ(index.line_count(), lines);
    EXPECT_EQ(index.block_offset(index.block_count() - 1), (index.block_count() - 1) * kBlock * 22);
  }
}

class IndexedLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/indexed_log_testXXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    path_ = folder_ + "/dataLog0.csv";
  }
  void TearDown() override {
    std::remove(path_.c_str());
    std::remove(folder_.c_str());
  }
  void write(const std::string& text, bool append = false) {
    std::ofstream(path_, std::ios::binary | (append ? std::ios::app : std::ios::trunc)) << text;
  }
  static PlotSample gyro(int n) {
    PlotSample sample;
    sample.x = n;
    const float values[3] = {static_cast<float>((n * 37) % 2001 - 1000), static_cast<float>(-n % 30000),
                             static_cast<float>(n % 7)};
    sample.set_component(COMPONENT_GYRO, values);
    return sample;
  }
  static std::string lines(int from, int to) {
    std::string text;
    for (int n = from; n < to; ++n) {
      text += veltrix::ui::plot::test::sample_line(kLayout, gyro(n));
    }
    return text;
  }
  static constexpr LogLayout kLayout{false, COMPONENT_GYRO};

  std::string folder_, path_;
};

TEST_F(IndexedLogTest, DrawsEveryExtremeAndReadsOnAsTheCaptureAppends) {
  write(veltrix::ui::plot::test::header_line(kLayout) + lines(0, 20000));
  IndexedLog log;
  std::string message;
  ASSERT_TRUE(log.open(path_, message)) << message;
  log.wait();
  EXPECT_EQ(log.summary().lines, 20000u);
  EXPECT_FALSE(log.summary().cut_last_line);
  EXPECT_EQ(log.last_x(), 19999);

  // Whole (pyramid) and zoomed in (lines parsed again): each pixel column's
  // extremes are the samples' own.
  ChannelMask wanted{};
  wanted[0] = true;
  ChannelColumns columns;
  for (const auto& [x0, x1, width] : {std::tuple{0.0, 19999.0, 100}, std::tuple{1234.0, 1334.0, 50}}) {
    log.decimate(x0, x1, static_cast<std::size_t>(width), wanted, columns);
    float lo = 1e9, hi = -1e9, expected_lo = 1e9, expected_hi = -1e9;
    for (const auto& column : columns[0]) {
      if (!column.empty()) {
        lo = std::min(lo, column.min);
        hi = std::max(hi, column.max);
      }
    }
    for (int n = static_cast<int>(x0); n <= static_cast<int>(x1); ++n) {
      expected_lo = std::min(expected_lo, gyro(n).values[0]);
      expected_hi = std::max(expected_hi, gyro(n).values[0]);
    }
    EXPECT_EQ(lo, expected_lo) << x0;
    EXPECT_EQ(hi, expected_hi) << x0;
    EXPECT_TRUE(columns[1].empty() || columns[1][0].empty());
  }
  EXPECT_EQ(log.value_at(PlotChannel::kGyroX, 4321.5, 0), gyro(4321).values[0]);

  // A capture appends, the last line still unfinished.
  const std::string more = lines(20000, 20500);
  write(more.substr(0, more.size() - 7), true);
  ASSERT_TRUE(log.read_on());
  log.wait();
  EXPECT_EQ(log.summary().lines, 20499u);
  EXPECT_TRUE(log.summary().cut_last_line);
  EXPECT_FALSE(log.read_on());  // nothing new
  write(more.substr(more.size() - 7), true);
  ASSERT_TRUE(log.read_on());
  log.wait();
  EXPECT_EQ(log.summary().lines, 20500u);
  EXPECT_FALSE(log.summary().cut_last_line);
  EXPECT_EQ(log.value_at(PlotChannel::kGyroY, 20499, 0), gyro(20499).values[1]);
}

TEST_F(IndexedLogTest, SaysWhyALogIsRefusedOrStopsShort) {
  IndexedLog missing;
  std::string message;
  EXPECT_FALSE(missing.open(folder_ + "/none.csv", message));
  EXPECT_EQ(message, "No such file or directory");

  // A FIFO nobody writes is refused at once, not waited on.
  const std::string fifo = folder_ + "/fifo.csv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  IndexedLog piped;
  EXPECT_FALSE(piped.open(fifo, message));
  EXPECT_EQ(message, "not a regular file");

  write("");
  IndexedLog empty;
  EXPECT_FALSE(empty.open(path_, message));
  EXPECT_EQ(message, "The file is empty.");

  write("name,value\r\nspeed,12\r\n");
  IndexedLog foreign;
  EXPECT_FALSE(foreign.open(path_, message));
  EXPECT_NE(message.find("not a data log header"), std::string::npos);

  // A bad field keeps the lines before it and names its line.
  write(veltrix::ui::plot::test::header_line(kLayout) + lines(0, 300) + " high,     1,     2\r\n" + lines(301, 400));
  IndexedLog bad;
  ASSERT_TRUE(bad.open(path_, message));
  bad.wait();
  EXPECT_EQ(bad.summary().lines, 300u);
  EXPECT_EQ(bad.summary().error, "line 302: \"high\" is not a number.");
  EXPECT_FALSE(bad.read_on());

  // The summary of a capture above 200 Hz ends the log.
  write(veltrix::ui::plot::test::header_line(kLayout) + lines(0, 100) + veltrix::ui::plot::test::summary(12, 100));
  IndexedLog summed;
  ASSERT_TRUE(summed.open(path_, message));
  summed.wait();
  EXPECT_EQ(summed.summary().lines, 100u);
  EXPECT_EQ(summed.summary().total_samples, 100);
  EXPECT_TRUE(summed.summary().error.empty());
}

}  // namespace
