#pragma once
// The verdict of the kor42 gyroscope self test, apart from its bus work: the
// change each axis should show from its factory code, and whether the change
// measured between the two series lies in that axis's pass band.
//
// Thread contract: pure functions, callable from any thread.

#include <array>

namespace veltrix::devices {

using AxisCodes = std::array<unsigned char, 3>;
using AxisReferences = std::array<double, 3>;
using AxisAverages = std::array<float, 3>;

// Expected change of X, Y and Z for their codes (the low five bits of the
// self-test registers). Y responds in the opposite sense, so its reference is
// negative; a code of 0 gives no reference (0.0).
AxisReferences gyro_self_test_references(const AxisCodes& codes);

// True when every axis's change from `normal` to `self_test` deviates from its
// reference by 10 % to 105 % (Y by -105 % to -10 %), bounds included. An axis
// without a reference fails.
bool gyro_self_test_passes(const AxisReferences& reference, const AxisAverages& normal, const AxisAverages& self_test);

}  // namespace veltrix::devices
