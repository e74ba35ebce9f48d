#include "devices/gyro_self_test.h"

#include <cmath>

namespace veltrix::devices {
namespace {

struct Band {
  double low;
  double high;
};
constexpr Band kBands[3] = {{10.0, 105.0}, {-105.0, -10.0}, {10.0, 105.0}};
constexpr double kAxisSign[3] = {1.0, -1.0, 1.0};

}  // namespace

AxisReferences gyro_self_test_references(const AxisCodes& codes) {
  AxisReferences reference{};
  for (int axis = 0; axis < 3; ++axis) {
    if (codes[axis] == 0) {
      continue;
    }
    reference[axis] = kAxisSign[axis] * 3275.0 * std::pow(1.046, static_cast<int>(codes[axis]) - 1);
  }
  return reference;
}

bool gyro_self_test_passes(const AxisReferences& reference, const AxisAverages& normal, const AxisAverages& self_test) {
  for (int axis = 0; axis < 3; ++axis) {
    if (reference[axis] == 0.0) {
      return false;
    }
    const double change = static_cast<double>(self_test[axis]) - normal[axis];
    const auto deviation =
        static_cast<float>(std::fabs((change - reference[axis]) / reference[axis]) * 100.0 * kAxisSign[axis]);
    if (!(deviation >= kBands[axis].low && deviation <= kBands[axis].high)) {
      return false;
    }
  }
  return true;
}

}  // namespace veltrix::devices
