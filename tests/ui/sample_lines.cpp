#include "tests/ui/sample_lines.h"

#include <cstdint>

#include "tests/capture/sample_line_check.h"

namespace veltrix::ui::test {

QString check_sample_text(const std::string& text, int components, SampleRun* run) {
  if (!text.empty() && !text.ends_with("\r\n")) {
    return QStringLiteral("the text ends in the middle of a line");
  }
  SampleRun counted;
  int previous = -1;  // none yet in this capture
  for (const std::string& line : veltrix::capture::test::split_lines(text, "\r\n")) {
    if (line.starts_with("Time,")) {
      ++counted.headers;
      previous = -1;
      continue;
    }
    std::uint16_t sample = 0;
    const auto matches = veltrix::capture::test::sample_line_matches(line, components, true, &sample);
    if (!matches) {
      return QString::fromStdString(matches.message());
    }
    if (previous >= 0 && sample < previous) {
      return QStringLiteral("sample %1 follows sample %2: %3\n%4")
          .arg(sample)
          .arg(previous)
          .arg(line.c_str(), text.c_str());
    }
    previous = sample;
    ++counted.samples;
  }
  if (run != nullptr) {
    *run = counted;
  }
  return {};
}

}  // namespace veltrix::ui::test
