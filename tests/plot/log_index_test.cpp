// The min/max pyramid against brute force, and data logs opened through the
// index: read whole, drawn exactly when zoomed in, read on as a capture
// appends to them, cut mid-line, and refused with a message; a big log read
// on every core as it reads in order; a log the capture wrote drawn from its
// overview as from its lines, and timed by its sidecar's rate.

#include "ui/plot/log_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>

#include "capture/capture_sidecar.h"
#include "capture/data_log.h"
#include "capture/log_overview.h"
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

// Before a line is read, the range is the whole log's: from its first and
// last line's time, or from its size where every line has one width. (Read
// by then, the index gives the same.)
TEST_F(IndexedLogTest, TheWholeRangeIsKnownBeforeTheLinesAreRead) {
  constexpr LogLayout kTimed{true, COMPONENT_GYRO | COMPONENT_TEMP};
  std::string text = veltrix::ui::plot::test::header_line(kTimed);
  for (int n = 0; n < 150'000; ++n) {
    PlotSample sample = gyro(n);
    sample.x = 17 + n * 5;
    sample.set_component(COMPONENT_TEMP, sample.values.data());
    text += veltrix::ui::plot::test::sample_line(kTimed, sample);
  }
  write(text);
  IndexedLog timed;
  std::string message;
  ASSERT_TRUE(timed.open(path_, message)) << message;
  EXPECT_EQ(timed.first_x(), 17);
  EXPECT_EQ(timed.last_x(), 17 + 149'999 * 5);
  timed.wait();
  EXPECT_EQ(timed.last_x(), 17 + 149'999 * 5);

  write(veltrix::ui::plot::test::header_line(kLayout) + lines(0, 150'000) +
        veltrix::ui::plot::test::summary(18'750, 150'000));
  IndexedLog numbered;
  ASSERT_TRUE(numbered.open(path_, message)) << message;
  EXPECT_EQ(numbered.first_x(), 0);
  EXPECT_EQ(numbered.last_x(), 149'999);
  numbered.wait();
  EXPECT_EQ(numbered.last_x(), 149'999);
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

// Every pixel column of every channel over [x0, x1] in `width` columns.
ChannelColumns drawn(IndexedLog& log, double x0, double x1, std::size_t width) {
  ChannelMask wanted;
  wanted.fill(true);
  ChannelColumns columns;
  log.decimate(x0, x1, width, wanted, columns);
  return columns;
}

bool same_columns(const ChannelColumns& a, const ChannelColumns& b) {
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) {
      return false;
    }
    for (std::size_t i = 0; i < a[c].size(); ++i) {
      const auto& p = a[c][i];
      const auto& q = b[c][i];
      if (p.count != q.count || (!p.empty() && (p.min != q.min || p.max != q.max || p.first != q.first ||
                                                p.last != q.last || p.gap_before != q.gap_before))) {
        return false;
      }
    }
  }
  return true;
}

// A big log without time column, as the capture writes it above 200 Hz, with
// now and then a gap and a line of other columns from line `varied` on; the
// line that is `bad` (when given) holds a word.
std::string big_log(int lines, int varied = 0, int bad = -1) {
  constexpr LogLayout kGyro{false, COMPONENT_GYRO};
  constexpr LogLayout kGyroAndTemp{false, COMPONENT_GYRO | COMPONENT_TEMP};
  std::string text = veltrix::ui::plot::test::header_line(kGyro);
  text.reserve(static_cast<std::size_t>(lines) * 24);
  for (int n = 0; n < lines; ++n) {
    PlotSample sample;
    const float values[3] = {static_cast<float>((n * 37) % 20001 - 10000), static_cast<float>(-(n % 30000)),
                             static_cast<float>(n % 7 + (n == 345678 ? 30000 : 0))};
    if (n == bad) {
      text += "  high,     1,     2\r\n";
    } else if (n >= varied && n % 5003 == 17) {
      text += "\r\n";
    } else if (n >= varied && n % 7919 == 5) {
      sample.set_component(COMPONENT_GYRO, values);
      sample.set_component(COMPONENT_TEMP, values);
      text += veltrix::ui::plot::test::sample_line(kGyroAndTemp, sample);
    } else {
      sample.set_component(COMPONENT_GYRO, values);
      text += veltrix::ui::plot::test::sample_line(kGyro, sample);
    }
  }
  return text;
}

// Read on every core: lines of one width as whole blocks, the rest (from
// where a gap or a line of other columns comes) line by line.
TEST_F(IndexedLogTest, ABigLogIsReadOnEveryCoreAsItReadsInOrder) {
  constexpr int kLines = 420'000;  // about 9 MB
  const std::string text = big_log(kLines, 250'000);
  // The same text in small pieces: read in order, one piece at a time.
  IndexedLog in_order;
  std::string message;
  write(text.substr(0, 300'000));
  ASSERT_TRUE(in_order.open(path_, message)) << message;
  in_order.wait();
  for (std::size_t at = 300'000; at < text.size(); at += 2'000'000) {
    write(text.substr(at, 2'000'000), true);
    ASSERT_TRUE(in_order.read_on());
    in_order.wait();
  }
  IndexedLog parallel;
  ASSERT_TRUE(parallel.open(path_, message)) << message;
  // Before it is read, the range is known from the size and the first line.
  EXPECT_NEAR(parallel.last_x(), kLines - 1, 200);
  parallel.wait();
  const auto summary = parallel.summary();
  EXPECT_EQ(summary.lines, static_cast<std::size_t>(kLines));
  EXPECT_EQ(summary.skipped_lines, in_order.summary().skipped_lines);
  EXPECT_GT(summary.skipped_lines, 10u);
  EXPECT_TRUE(summary.error.empty()) << summary.error;
  EXPECT_FALSE(summary.cut_last_line);
  EXPECT_EQ(parallel.last_x(), kLines - 1);
  for (const auto& [x0, x1, width] :
       {std::tuple{0.0, kLines - 1.0, 700}, std::tuple{345000.0, 346000.0, 300}, std::tuple{123456.0, 123500.0, 44}}) {
    const ChannelColumns columns = drawn(parallel, x0, x1, static_cast<std::size_t>(width));
    EXPECT_TRUE(same_columns(columns, drawn(in_order, x0, x1, static_cast<std::size_t>(width)))) << x0;
    float hi = -1e9f;
    for (const auto& column : columns[2]) {
      hi = column.empty() ? hi : std::max(hi, column.max);
    }
    EXPECT_EQ(hi, x0 <= 345678 && 345678 <= x1 ? 30004.f : 6.f) << x0;
  }
  for (const double x : {0.0, 17.0, 5003.0 + 17, 7919.0 + 5, 250'000.0 + 4, 299999.0, 419999.0}) {
    EXPECT_EQ(parallel.value_at(PlotChannel::kGyroY, x, 0), in_order.value_at(PlotChannel::kGyroY, x, 0)) << x;
  }

  // A fault deep inside stops it where reading in order stops, with the
  // same words; a last line cut short is left for later.
  write(big_log(kLines, 250'000, 400'001));
  IndexedLog bad;
  ASSERT_TRUE(bad.open(path_, message));
  bad.wait();
  EXPECT_EQ(bad.summary().lines, 400'001u);
  EXPECT_EQ(bad.summary().error, "line 400003: \"high\" is not a number.");
  write(text.substr(0, text.size() - 5));
  IndexedLog cut;
  ASSERT_TRUE(cut.open(path_, message));
  cut.wait();
  EXPECT_EQ(cut.summary().lines, static_cast<std::size_t>(kLines - 1));
  EXPECT_TRUE(cut.summary().cut_last_line);
  EXPECT_TRUE(cut.summary().error.empty());
}

// A log as a capture leaves it: written through the data log (which writes
// its overview) and described by a sidecar at 8 kHz.
class CapturedLogTest : public IndexedLogTest {
 protected:
  void capture(int lines) {
    veltrix::capture::DataLog log;
    ASSERT_EQ(log.open(path_), 0);
    const std::string text = big_log(lines);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at) + 1;
      ASSERT_EQ(log.write(std::string_view(text).substr(at, end - at)), 0);
      at = end;
    }
    ASSERT_EQ(log.write(veltrix::ui::plot::test::summary(lines / 8, lines)), 0);
    ASSERT_EQ(log.close(), 0);
    veltrix::capture::SidecarFacts facts;
    facts.paths.data_log = path_;
    facts.rate_hz = 8000;
    facts.components = COMPONENT_GYRO;
    facts.header = "Gyro_X, Gyro_Y, Gyro_Z";
    ASSERT_EQ(veltrix::capture::write_sidecar(facts, nullptr), 0);
  }
  void TearDown() override {
    std::remove(veltrix::capture::sidecar_path(path_).c_str());
    std::remove(veltrix::capture::log_overview_path(path_).c_str());
    IndexedLogTest::TearDown();
  }
};

TEST_F(CapturedLogTest, IsDrawnFromItsOverviewAsFromItsLinesAndTimedByItsRate) {
  constexpr int kLines = 70'000;
  capture(kLines);
  IndexedLog overview;
  std::string message;
  ASSERT_TRUE(overview.open(path_, message)) << message;
  // Whole at once: every line is in the index before any is read.
  EXPECT_TRUE(overview.from_overview());
  EXPECT_EQ(overview.overview_refused(), "");
  EXPECT_EQ(overview.summary().lines, static_cast<std::size_t>(kLines));
  EXPECT_TRUE(overview.has_time());
  EXPECT_EQ(overview.rate_hz(), 8000);
  constexpr double kLastMs = (kLines - 1) / 8.0;
  EXPECT_EQ(overview.last_x(), kLastMs);
  overview.wait();
  EXPECT_EQ(overview.summary().total_samples, kLines);
  EXPECT_TRUE(overview.summary().error.empty()) << overview.summary().error;

  // Without it, the same log read line by line draws the same.
  std::remove(veltrix::capture::log_overview_path(path_).c_str());
  IndexedLog read;
  ASSERT_TRUE(read.open(path_, message)) << message;
  read.wait();
  EXPECT_FALSE(read.from_overview());
  EXPECT_EQ(read.overview_refused(), "The overview cannot be read: No such file or directory.");
  EXPECT_EQ(read.last_x(), kLastMs);
  EXPECT_EQ(read.summary().skipped_lines, overview.summary().skipped_lines);
  for (const auto& [x0, x1, width] :
       {std::tuple{0.0, kLastMs, 900}, std::tuple{1000.0, 1004.0, 100}, std::tuple{-50.0, 7000.0, 333}}) {
    EXPECT_TRUE(same_columns(drawn(overview, x0, x1, static_cast<std::size_t>(width)),
                             drawn(read, x0, x1, static_cast<std::size_t>(width))))
        << x0;
  }
  EXPECT_EQ(overview.value_at(PlotChannel::kGyroX, 4321.0, 0), read.value_at(PlotChannel::kGyroX, 4321.0, 0));

  // An overview the log no longer matches is not used: the lines are read.
  capture(kLines);
  write(veltrix::ui::plot::test::header_line(kLayout) + lines(0, 100));
  IndexedLog changed;
  ASSERT_TRUE(changed.open(path_, message)) << message;
  changed.wait();
  EXPECT_FALSE(changed.from_overview());
  EXPECT_FALSE(changed.overview_refused().empty());
  EXPECT_EQ(changed.summary().lines, 100u);
}

}  // namespace
