#include "tests/analysis/test_log.h"

#include <gtest/gtest.h>

#include <chrono>

#include "capture/capture_sidecar.h"

namespace veltrix::analysis::test {

using capture::SampleText;

TestLog::TestLog(const std::string& path, bool timed, int components) : timed_(timed), components_(components) {
  EXPECT_EQ(log_.open(path), 0) << path;
  SampleText header;
  capture::format_header(header, timed, components);
  text(header.view());
  text(capture::kLineEnd);
}

void TestLog::line(int components, const capture::SampleValues& values, double time_ms) {
  SampleText line;
  capture::format_sample_line(line, components, values, timed_ ? std::optional<double>(time_ms) : std::nullopt);
  text(line.view());
  text(capture::kLineEnd);
  last_ms_ = time_ms;
}

void TestLog::text(std::string_view text) { EXPECT_EQ(log_.write(text), 0); }

void TestLog::close(int total_samples) {
  if (!timed_ && total_samples >= 0) {
    SampleText summary;
    capture::format_summary(summary, last_ms_, total_samples);
    text(summary.view());
  }
  EXPECT_EQ(log_.close(), 0);
}

void write_test_sidecar(const std::string& data_log_path, int rate_hz, int components, int samples) {
  capture::SidecarFacts facts;
  facts.paths.data_log = data_log_path;
  facts.rate_hz = rate_hz;
  facts.components = components;
  SampleText header;
  capture::format_header(header, capture::data_log_has_time(rate_hz), components);
  facts.header = std::string(header.view());
  facts.started = std::chrono::system_clock::now();
  const double period_ms = 1000.0 / rate_hz;
  const capture::CaptureReport report{
      samples, (samples - 1) * period_ms, rate_hz, static_cast<double>(rate_hz), period_ms, 0, 0};
  ASSERT_EQ(capture::write_sidecar(facts, &report), 0);
}

}  // namespace veltrix::analysis::test
