#include "capture/sample_format.h"

#include <cassert>
#include <climits>

namespace veltrix::capture {

namespace {

const char* label_of(int component) {
  switch (component) {
    case COMPONENT_GYRO:
      return "Gyro_X, Gyro_Y, Gyro_Z";
    case COMPONENT_ACCEL:
      return "Accel_X, Accel_Y, Accel_Z";
    case COMPONENT_COMPASS:
      return "Comp_X, Comp_Y, Comp_Z";
    default:
      return "Temp";
  }
}

int whole_ms(double ms) { return ms < static_cast<double>(INT_MAX) ? static_cast<int>(ms) : INT_MAX; }

void separate(SampleText& line) {
  if (!line.empty()) {
    line.append(",");
  }
}

}  // namespace

float* SampleValues::of(int component) {
  return const_cast<float*>(static_cast<const SampleValues&>(*this).of(component));
}

const float* SampleValues::of(int component) const {
  switch (component) {
    case COMPONENT_GYRO:
      return gyro;
    case COMPONENT_ACCEL:
      return accel;
    case COMPONENT_COMPASS:
      return compass;
    default:
      assert(component == COMPONENT_TEMP);
      return temp;
  }
}

void format_header(SampleText& line, bool timed, int components) {
  line.clear();
  if (timed) {
    line.append("Time");
  }
  for (const int component : kColumnOrder) {
    if ((components & component) != 0) {
      separate(line);
      line.append(label_of(component));
    }
  }
}

void format_sample_line(SampleText& line, int components, const SampleValues& values,
                        std::optional<double> elapsed_ms) {
  line.clear();
  if (elapsed_ms) {
    line.appendf("%7i", whole_ms(*elapsed_ms));
  }
  for (const int component : kColumnOrder) {
    if ((components & component) == 0) {
      continue;
    }
    separate(line);
    const float* v = values.of(component);
    if (component == COMPONENT_TEMP) {
      line.appendf("%6.0f", static_cast<double>(v[0]));
    } else {
      line.appendf(component == COMPONENT_ACCEL ? " %6.0f,%6.0f,%6.0f" : "%6.0f,%6.0f,%6.0f", static_cast<double>(v[0]),
                   static_cast<double>(v[1]), static_cast<double>(v[2]));
    }
  }
}

void format_summary(SampleText& line, double elapsed_ms, int sample_count) {
  line.clear();
  line.appendf("Total Time %7i ms\r\n Total Sample recorded %7i \r\n        ", whole_ms(elapsed_ms), sample_count);
}

}  // namespace veltrix::capture
