// The capture report: the accumulator on chosen timestamps, then captures of
// the simulated board, clean and stalled, with the estimate held against the
// samples the sensor really produced; and the plot queue against the
// recorded lines.

#include "capture/capture_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/sample_queue.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

using namespace std::chrono_literals;

// 125 Hz: an 8 ms period, so every time below is exact in binary.
TEST(CaptureReportAccumulatorTest, LongIntervalsStartAboveOneAndAHalfPeriodsAndTheMissedFigureIsCountedApart) {
  CaptureReportAccumulator accumulator(125);
  const CaptureReport empty = accumulator.report();
  EXPECT_EQ(report_line(empty),
            "Capture report: 0 samples in 0.000 s, mean rate n/a (sensor 125 Hz), largest interval 0.0 ms, "
            "0 intervals over 1.5 periods, 0 samples missed");

  // Intervals: 8 (one period), 12 (exactly 1.5: not long), 12.5 (2 periods
  // rounded: 1 missed), 20 (2.5 rounds away from zero to 3: 2 missed), 19
  // (2.375: 1 missed), 79.5 (9.94: 9 missed).
  for (const double time : {0.0, 8.0, 20.0, 32.5, 52.5, 71.5, 151.0}) {
    accumulator.add_sample(time);
  }
  const CaptureReport report = accumulator.report();
  EXPECT_EQ(report.samples, 7);
  EXPECT_EQ(report.duration_ms, 151.0);
  EXPECT_EQ(report.largest_interval_ms, 79.5);
  EXPECT_EQ(report.long_intervals, 4);
  EXPECT_EQ(report.missed_samples, 0);
  EXPECT_DOUBLE_EQ(report.mean_rate_hz, 6 * 1000.0 / 151.0);
  accumulator.set_missed(13, true);
  EXPECT_EQ(report_line(accumulator.report()),
            "Capture report: 7 samples in 0.151 s, mean 39.7 Hz (sensor 125 Hz), largest interval 79.5 ms, "
            "4 intervals over 1.5 periods, about 13 samples missed");
  EXPECT_EQ(report_json(accumulator.report()).dump(),
            R"({"samples":7,"duration_s":0.151,"mean_rate_hz":39.74,"reported_rate_hz":125,)"
            R"("largest_interval_ms":79.5,"long_intervals":4,"missed_samples":13,"missed_samples_estimated":true})");
  CaptureReport dropped = accumulator.report();
  dropped.console_lines_not_shown = 12;
  EXPECT_NE(report_line(dropped).find("about 13 samples missed, console: 12 lines not shown"), std::string::npos)
      << report_line(dropped);
  EXPECT_EQ(report_json(dropped)["console_lines_not_shown"], 12);
  EXPECT_EQ(report_from_json(report_json(dropped))->console_lines_not_shown, 12);
  accumulator.set_missed(2, false);
  accumulator.keep_samples(5);
  EXPECT_EQ(report_line(accumulator.report()).substr(0, 25), "Capture report: 5 samples");
  EXPECT_NE(report_line(accumulator.report()).find("periods, 2 samples missed"), std::string::npos);
}

TEST(CaptureReportAccumulatorTest, WithoutARateOrASecondSampleNothingIsGuessed) {
  CaptureReportAccumulator one(200);
  one.add_sample(42.0);
  EXPECT_EQ(report_line(one.report()),
            "Capture report: 1 sample in 0.000 s, mean rate n/a (sensor 200 Hz), largest interval 0.0 ms, "
            "0 intervals over 1.5 periods, 0 samples missed");
  EXPECT_TRUE(report_json(one.report())["mean_rate_hz"].is_null());

  // A sensor whose rate read back as 0: intervals are measured, not judged.
  CaptureReportAccumulator unknown(0);
  for (const double time : {0.0, 5.0, 1005.0}) {
    unknown.add_sample(time);
  }
  const CaptureReport report = unknown.report();
  EXPECT_EQ(report.largest_interval_ms, 1000.0);
  EXPECT_EQ(report.long_intervals, 0);
  EXPECT_EQ(report.missed_samples, 0);
  EXPECT_EQ(report_line(report),
            "Capture report: 3 samples in 1.005 s, mean 2.0 Hz (sensor rate unknown), largest interval 1000.0 ms, "
            "long intervals not judged");
  const auto json = report_json(report);
  EXPECT_TRUE(json["reported_rate_hz"].is_null());
  EXPECT_TRUE(json["long_intervals"].is_null());
  EXPECT_TRUE(json["missed_samples"].is_null());
  EXPECT_TRUE(json["missed_samples_estimated"].is_null());
}

// What a capture handed out: its report, the console text of each sample,
// and what reached the plot queue.
struct ObservedCapture {
  CaptureReport report;
  std::vector<std::string> texts;
  std::string failures;
  std::vector<PlotSample> plotted;
  std::uint64_t plot_drops = 0;
};

class CaptureReportTest : public CaptureTest {
 protected:
  // Records `samples` samples, calling `after_sample` on the capture thread
  // after each with the count so far.
  ObservedCapture observe(int samples, const std::function<void(int count)>& after_sample = {}) {
    CaptureRecorder log(samples);
    log.after_sample = after_sample;
    SampleQueue queue(1024);
    veltrix::capture::control::CaptureOptions options = log.options();
    options.plot_queue = &queue;
    EXPECT_TRUE(veltrix::capture::control::start(*device_, std::move(options)));
    EXPECT_TRUE(log.wait_for(samples, 20s));
    veltrix::capture::control::wait();

    ObservedCapture observed;
    const std::optional<CaptureReport> report = log.report();
    EXPECT_TRUE(report.has_value());
    observed.report = report.value_or(CaptureReport{});
    observed.failures = log.failures();
    observed.texts = log.texts();
    std::vector<PlotSample> popped(queue.capacity());
    observed.plotted.assign(popped.begin(), popped.begin() + static_cast<long>(queue.pop(popped)));
    observed.plot_drops = queue.dropped();
    return observed;
  }

  // The samples the sensor produced between the first and the last line but
  // that no line holds, from the sensor's formula: each gyroscope-only timed
  // line names its sample.
  static long long samples_skipped(const std::vector<std::string>& texts) {
    long long skipped = 0;
    std::optional<std::uint16_t> previous;
    for (const std::string& text : texts) {
      const auto lines = split_lines(text, "\r\n");
      std::uint16_t sample = 0;
      EXPECT_TRUE(sample_line_matches(lines.back(), COMPONENT_GYRO, true, &sample)) << text;
      if (previous) {
        skipped += static_cast<std::uint16_t>(sample - *previous) - 1;
      }
      previous = sample;
    }
    return skipped;
  }
};

// At 20 Hz a long interval means 75 ms without a sample: far beyond what a
// busy machine delays a clean capture.
TEST_F(CaptureReportTest, ACleanCaptureMissesNothing) {
  connect("kor73", "KOR 73", RATE_20HZ);
  select(COMPONENT_GYRO);
  const ObservedCapture capture = observe(30);
  const CaptureReport& report = capture.report;

  EXPECT_EQ(report.samples, 30);
  EXPECT_EQ(report.reported_rate_hz, 20);
  EXPECT_EQ(samples_skipped(capture.texts), 0);
  EXPECT_EQ(report.long_intervals, 0);
  EXPECT_EQ(report.missed_samples, 0);
  EXPECT_LT(report.largest_interval_ms, 75.0);
  EXPECT_NEAR(report.duration_ms, 29 * 50.0, 50.0);
  EXPECT_NEAR(report.mean_rate_hz, 20.0, 1.0);
}

// The board answers a quarter second late while one sample is taken: the
// sensor runs on and the capture misses the samples of that stall.
TEST_F(CaptureReportTest, AStalledBoardShowsTheSamplesItCostInTheEstimate) {
  connect("kor73", "KOR 73", RATE_20HZ);
  select(COMPONENT_GYRO);
  const ObservedCapture capture = observe(20, [this](int count) {
    veltrix::sim::Faults faults;
    if (count == 10) {
      faults.reply_delay = 250ms;
    }
    if (count == 10 || count == 11) {
      board_->set_faults(faults);
    }
  });
  const CaptureReport& report = capture.report;

  const long long skipped = samples_skipped(capture.texts);
  EXPECT_GE(skipped, 6);
  EXPECT_GE(report.long_intervals, 1);
  EXPECT_LE(report.long_intervals, 3);
  EXPECT_GE(report.largest_interval_ms, 250.0);
  // Estimated from host times, which the stall shifts by up to a delayed
  // reply against the values read.
  EXPECT_NEAR(static_cast<double>(report.missed_samples), static_cast<double>(skipped), 3.0);
  EXPECT_LT(report.mean_rate_hz, 20.0 * 0.9);
}

// Exactly the samples that hold a component reach the queue, with the time
// and values of their line; samples before the first selection do not.
TEST_F(CaptureReportTest, ThePlotQueueGetsEachRecordedSampleAsItsLineShowsIt) {
  connect("kor73", "KOR 73", RATE_100HZ);
  constexpr int kGyroAccelTemp = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP;
  const ObservedCapture capture = observe(12, [](int count) {
    if (count == 2) {
      select(kGyroAccelTemp);
    }
    if (count == 8) {
      select(COMPONENT_TEMP);
    }
  });

  // The two samples before the selection reached no output.
  EXPECT_EQ(capture.report.samples, 10);
  EXPECT_EQ(capture.plot_drops, 0u);
  ASSERT_EQ(capture.texts.size(), 12u);
  ASSERT_EQ(capture.plotted.size(), 10u);
  for (std::size_t i = 0; i < capture.plotted.size(); ++i) {
    const PlotSample& sample = capture.plotted[i];
    const std::string& text = capture.texts[i + 2];
    const int components = i < 6 ? kGyroAccelTemp : COMPONENT_TEMP;
    const std::string line = text.substr(0, text.size() - 2);
    ASSERT_TRUE(sample_line_matches(line, components, true)) << line;
    EXPECT_EQ(sample.components, components);

    const auto fields = split_lines(line, ",");
    EXPECT_EQ(static_cast<int>(sample.x), std::stoi(fields[0])) << line;
    std::vector<PlotChannel> channels;
    if (components & COMPONENT_GYRO) {
      channels.insert(channels.end(), {PlotChannel::kGyroX, PlotChannel::kGyroY, PlotChannel::kGyroZ});
    }
    if (components & COMPONENT_ACCEL) {
      channels.insert(channels.end(), {PlotChannel::kAccelX, PlotChannel::kAccelY, PlotChannel::kAccelZ});
    }
    channels.push_back(PlotChannel::kTemp);
    ASSERT_EQ(fields.size(), channels.size() + 1) << line;
    for (std::size_t c = 0; c < channels.size(); ++c) {
      EXPECT_EQ(sample.value(channels[c]), static_cast<float>(std::stoi(fields[c + 1]))) << line;
    }
    if (i > 0) {
      EXPECT_GE(sample.x, capture.plotted[i - 1].x);
    }
  }
}

// FIFO samples reach the capture thread in batches of dozens: the report
// and the plot go by the time the sensor made each one, not its arrival.
TEST_F(CaptureReportTest, AFifoCaptureIsJudgedByTheSensorsOwnSampleTimes) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  veltrix::capture::settings::FastCapture = true;
  const ObservedCapture capture = observe(4000);
  veltrix::capture::settings::FastCapture = false;
  const CaptureReport& report = capture.report;

  EXPECT_EQ(report.samples, 4000);
  const std::string& failures = capture.failures;
  if (failures.empty()) {
    EXPECT_EQ(report.long_intervals, 0);
    EXPECT_EQ(report.missed_samples, 0);
    EXPECT_NEAR(report.largest_interval_ms, 0.125, 1e-9);
    EXPECT_NEAR(report.mean_rate_hz, 8000.0, 0.5);
  } else {  // a machine too loaded to read the FIFO in time
    EXPECT_NE(failures.find("The sensor's FIFO overflowed"), std::string::npos) << failures;
    EXPECT_GE(report.missed_samples, 1);
  }
  ASSERT_GE(capture.plotted.size(), 2u);
  for (std::size_t i = 1; i < capture.plotted.size() && failures.empty(); ++i) {
    EXPECT_NEAR(capture.plotted[i].x - capture.plotted[i - 1].x, 0.125, 1e-9) << i;
  }
}

}  // namespace
}  // namespace veltrix::capture::test
