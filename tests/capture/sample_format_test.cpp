// The capture's text on its own: header labels, field widths, the
// accelerometer's extra blank, the time column and the summary.

#include "capture/sample_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using veltrix::capture::format_header;
using veltrix::capture::format_sample_line;
using veltrix::capture::format_summary;
using veltrix::capture::SampleText;
using veltrix::capture::SampleValues;

namespace {

using veltrix::devices::kAllComponents;

std::string header(bool timed, int components) {
  SampleText line;
  line.append("left over");
  format_header(line, timed, components);
  return std::string(line.view());
}

std::string sample_line(int components, const SampleValues& values, std::optional<double> elapsed_ms) {
  SampleText line;
  line.append("left over");
  format_sample_line(line, components, values, elapsed_ms);
  return std::string(line.view());
}

SampleValues values(float gyro, float accel, float compass, float temp) {
  SampleValues v;
  for (int axis = 0; axis < 3; ++axis) {
    v.gyro[axis] = gyro + static_cast<float>(axis);
    v.accel[axis] = accel + static_cast<float>(axis);
    v.compass[axis] = compass + static_cast<float>(axis);
  }
  v.temp[0] = temp;
  v.temp[1] = v.temp[2] = -1.0f;  // never shown
  return v;
}

TEST(SampleFormatTest, HeaderLabelsFollowTheColumnOrderWhateverTheBitsSay) {
  EXPECT_EQ(header(true, kAllComponents),
            "Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z,Temp");
  EXPECT_EQ(header(false, COMPONENT_TEMP | COMPONENT_GYRO), "Gyro_X, Gyro_Y, Gyro_Z,Temp");
  EXPECT_EQ(header(false, COMPONENT_COMPASS | COMPONENT_ACCEL), "Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z");
  EXPECT_EQ(header(true, COMPONENT_TEMP), "Time,Temp");
  EXPECT_EQ(header(true, 0), "Time");
  EXPECT_EQ(header(false, 0), "");
}

TEST(SampleFormatTest, LinesKeepTheirWidthsAndTheAccelerometersExtraBlank) {
  const SampleValues example{{-15, 3, 20}, {-120, 40, 16384}, {}, {1234}};
  EXPECT_EQ(sample_line(COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_TEMP, example, 12.9),
            "     12,   -15,     3,    20,   -120,    40, 16384,  1234");

  // The extremes of a signed 16-bit count fill the fields exactly.
  EXPECT_EQ(sample_line(kAllComponents, values(-32768, -32768, 32765, -32768), 1234567.0),
            "1234567,-32768,-32767,-32766, -32768,-32767,-32766, 32765, 32766, 32767,-32768");
  EXPECT_EQ(sample_line(COMPONENT_COMPASS | COMPONENT_ACCEL, values(9, 7, 5, 3), std::nullopt),
            "      7,     8,     9,     5,     6,     7");
  EXPECT_EQ(sample_line(COMPONENT_TEMP, values(0, 0, 0, 1234), 105.0), "    105,  1234");
  EXPECT_EQ(sample_line(COMPONENT_TEMP, values(0, 0, 0, 1233.6f), std::nullopt), "  1234");
  // No component: the time alone, or nothing at all above 200 Hz.
  EXPECT_EQ(sample_line(0, values(1, 2, 3, 4), 99999.5), "  99999");
  EXPECT_EQ(sample_line(0, values(1, 2, 3, 4), std::nullopt), "");
  // A capture running for more than 24 days does not wrap the time column.
  EXPECT_EQ(sample_line(COMPONENT_TEMP, values(0, 0, 0, 1), 3e9), std::to_string(INT_MAX) + ",     1");
}

TEST(SampleFormatTest, TheSummaryIsSixtyTwoCharactersBeforeItsLineEndsBecomeCrLf) {
  SampleText summary;
  format_summary(summary, 1503.7, 40);
  EXPECT_EQ(summary.view(), "Total Time    1503 ms\r\n Total Sample recorded      40 \r\n        ");
  EXPECT_EQ(summary.view().size(), 64u);
}

}  // namespace
