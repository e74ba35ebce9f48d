// Reading data logs back: with and without the time column, the capture's
// gaps and summary, and text that is not a data log.

#include "ui/plot/data_log_series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "devices/ikor.h"
#include "tests/plot/written_log.h"

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;
using veltrix::ui::plot::load_data_log;
using veltrix::ui::plot::SampleSeries;

namespace {

using veltrix::ui::plot::test::LogLayout;

using veltrix::devices::kAllComponents;

PlotSample random_sample(std::mt19937& random, double x, int components) {
  std::uniform_int_distribution<int> value(-32768, 32767);
  PlotSample sample;
  sample.x = x;
  for (const int component : {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP}) {
    const float values[3] = {static_cast<float>(value(random)), static_cast<float>(value(random)),
                             static_cast<float>(value(random))};
    if ((components & component) != 0) {
      sample.set_component(component, values);
    }
  }
  return sample;
}

void expect_same_samples(const SampleSeries& read, const std::vector<PlotSample>& written) {
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(read.x()[i], written[i].x) << i;
    for (int c = 0; c < kPlotChannelCount; ++c) {
      const auto channel = static_cast<PlotChannel>(c);
      if (!written[i].has(channel)) {
        continue;
      }
      ASSERT_FALSE(read.values(channel).empty()) << c;
      EXPECT_EQ(read.values(channel)[i], written[i].value(channel)) << "sample " << i << ", channel " << c;
    }
  }
}

TEST(DataLogReader, ReadsTheCaptureExampleLine) {
  const auto reading = load_data_log(
      "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Temp\r\n"
      "     12,   -15,     3,    20,   -120,    40, 16384,  1234\r\n");
  ASSERT_TRUE(reading.log) << reading.error;
  const SampleSeries& samples = reading.log->samples;
  EXPECT_TRUE(reading.log->has_time);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples.x()[0], 12);
  EXPECT_EQ(samples.values(PlotChannel::kGyroX)[0], -15);
  EXPECT_EQ(samples.values(PlotChannel::kGyroZ)[0], 20);
  EXPECT_EQ(samples.values(PlotChannel::kAccelX)[0], -120);
  EXPECT_EQ(samples.values(PlotChannel::kAccelZ)[0], 16384);
  EXPECT_EQ(samples.values(PlotChannel::kTemp)[0], 1234);
  EXPECT_TRUE(samples.values(PlotChannel::kCompX).empty());
  EXPECT_EQ(samples.components(), COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP);
  EXPECT_FALSE(reading.log->total_time_ms);
}

TEST(DataLogReader, ReadsEveryComponentSetWithAndWithoutTimeColumn) {
  std::mt19937 random(7);
  for (const bool has_time : {true, false}) {
    for (int components = 1; components <= kAllComponents; ++components) {
      SCOPED_TRACE(testing::Message() << "time " << has_time << ", components " << components);
      const LogLayout layout{has_time, components};
      std::vector<PlotSample> samples;
      for (int i = 0; i < 50; ++i) {
        samples.push_back(random_sample(random, has_time ? 10 * i + i % 3 : i, components));
      }
      std::string text = veltrix::ui::plot::test::data_log(layout, samples);
      if (!has_time) {
        text += veltrix::ui::plot::test::summary(6, 50);
      }

      const auto reading = load_data_log(text);
      ASSERT_TRUE(reading.log) << reading.error;
      EXPECT_EQ(reading.log->has_time, has_time);
      EXPECT_EQ(reading.log->samples.components(), components);
      EXPECT_EQ(reading.log->skipped_lines, 0u);
      expect_same_samples(reading.log->samples, samples);
      if (!has_time) {
        EXPECT_EQ(reading.log->total_time_ms, 6);
        EXPECT_EQ(reading.log->total_samples, 50);
      }
    }
  }
}

// A sample with no component selected leaves the time alone, or an empty line
// without time column: a gap. A line with other components than the header's
// is skipped but still counts as a sample.
TEST(DataLogReader, KeepsGapsAndSkipsLinesWithOtherColumns) {
  std::mt19937 random(11);
  const LogLayout timed{true, COMPONENT_GYRO};
  const auto reading =
      load_data_log(veltrix::ui::plot::test::header_line(timed) +
                    veltrix::ui::plot::test::sample_line(timed, random_sample(random, 5, COMPONENT_GYRO)) +
                    veltrix::ui::plot::test::sample_line(timed, random_sample(random, 10, 0)) +
                    veltrix::ui::plot::test::sample_line(timed, random_sample(random, 15, kAllComponents)) +
                    veltrix::ui::plot::test::sample_line(timed, random_sample(random, 20, COMPONENT_GYRO)));
  ASSERT_TRUE(reading.log) << reading.error;
  const SampleSeries& samples = reading.log->samples;
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples.x()[1], 10);
  EXPECT_TRUE(std::isnan(samples.values(PlotChannel::kGyroY)[1]));
  EXPECT_EQ(samples.x()[2], 20);
  EXPECT_EQ(reading.log->skipped_lines, 1u);

  const LogLayout untimed{false, COMPONENT_TEMP | COMPONENT_COMPASS};
  const auto numbered = load_data_log(
      veltrix::ui::plot::test::header_line(untimed) +
      veltrix::ui::plot::test::sample_line(untimed, random_sample(random, 0, COMPONENT_TEMP | COMPONENT_COMPASS)) +
      "\r\n" + veltrix::ui::plot::test::sample_line(untimed, random_sample(random, 0, COMPONENT_TEMP)) +
      veltrix::ui::plot::test::sample_line(untimed, random_sample(random, 0, COMPONENT_TEMP | COMPONENT_COMPASS)) +
      "\r\n" + veltrix::ui::plot::test::summary(1, 5));
  ASSERT_TRUE(numbered.log) << numbered.error;
  ASSERT_EQ(numbered.log->samples.size(), 4u);
  EXPECT_EQ(numbered.log->samples.x()[1], 1);
  EXPECT_TRUE(std::isnan(numbered.log->samples.values(PlotChannel::kTemp)[1]));
  EXPECT_EQ(numbered.log->samples.x()[2], 3);  // sample 2 was skipped
  EXPECT_EQ(numbered.log->samples.x()[3], 4);
  EXPECT_EQ(numbered.log->skipped_lines, 1u);
}

TEST(DataLogReader, RefusesTextThatIsNotADataLogAndSaysWhere) {
  const std::string header = "Time,Gyro_X, Gyro_Y, Gyro_Z\r\n";
  const struct {
    const char* name;
    std::string text;
    const char* error;
  } cases[] = {
      {"empty", "", "empty"},
      {"other CSV", "a,b,c\r\n1,2,3\r\n", "not a data log header"},
      {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "not a data log header"},
      {"time alone", "Time\r\n     12\r\n", "not a data log header"},
      {"axes out of order", "Gyro_X, Gyro_Z, Gyro_Y\r\n", "not a data log header"},
      {"group cut short", "Time,Accel_X, Accel_Y\r\n", "not a data log header"},
      {"no header", "     12,    -1,     2,     3\r\n", "no header"},
      {"word in a value", header + "     12,    -1,     2,     3\r\n     22,    -1,  high,     3\r\n",
       "line 3: \"high\" is not a number"},
      {"time backwards", header + "     12,    -1,     2,     3\r\n     11,    -1,     2,     3\r\n",
       "line 3: the time goes backwards"},
      {"summary cut short", "Gyro_X, Gyro_Y, Gyro_Z\r\n    -1,     2,     3\r\nTotal Time       9 ms\r\n",
       "summary is incomplete"},
      {"text after the summary",
       "Gyro_X, Gyro_Y, Gyro_Z\r\n    -1,     2,     3\r\n" + veltrix::ui::plot::test::summary(9, 1) + "\r\nmore\r\n",
       "line 6: text after the closing summary"},
  };
  for (const auto& c : cases) {
    const auto reading = load_data_log(c.text);
    EXPECT_FALSE(reading.log) << c.name;
    EXPECT_NE(reading.error.find(c.error), std::string::npos) << c.name << ": " << reading.error;
  }
}

TEST(SampleSeries, DroppingOldSamplesKeepsChannelsAlignedWhenOneStartsLate) {
  SampleSeries series;
  for (int i = 0; i < 100; ++i) {
    PlotSample sample;
    sample.x = i;
    const float values[3] = {static_cast<float>(i), static_cast<float>(-i), 7};
    sample.set_component(COMPONENT_GYRO, values);
    if (i >= 60) {
      sample.set_component(COMPONENT_TEMP, values);
    }
    series.append(sample);
    if (i % 10 == 9) {
      series.drop_before(i - 25);
    }
  }
  ASSERT_EQ(series.size(), 26u);  // 74..99
  for (std::size_t i = 0; i < series.size(); ++i) {
    EXPECT_EQ(series.values(PlotChannel::kGyroX)[i], series.x()[i]);
    EXPECT_EQ(series.values(PlotChannel::kGyroY)[i], -series.x()[i]);
    EXPECT_EQ(series.values(PlotChannel::kTemp)[i], series.x()[i]);
  }
  EXPECT_EQ(series.value_at(PlotChannel::kTemp, 80.5, 0), 80);
  EXPECT_FALSE(series.value_at(PlotChannel::kCompX, 99, 0));
}

}  // namespace
