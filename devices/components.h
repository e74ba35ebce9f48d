#pragma once
// The sensor's components as bits, combined into selections.
//
// Thread contract: constants only.

inline constexpr int COMPONENT_GYRO = 1;
inline constexpr int COMPONENT_ACCEL = 2;
inline constexpr int COMPONENT_COMPASS = 4;
inline constexpr int COMPONENT_TEMP = 8;

namespace veltrix::devices {
inline constexpr int kAllComponents = COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP;
}  // namespace veltrix::devices
