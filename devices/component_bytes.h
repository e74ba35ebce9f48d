#pragma once
// One component's data-register bytes as the sensor holds them (a single
// read, a block read or a FIFO frame gives the same bytes): gyroscope and
// accelerometer three high-byte-first words, temperature one, the compass
// reading ST1, XL, XH, YL, YH, ZL, ZH, ST2. Every read of component data
// decodes through here.
//
// Thread contract: pure functions and plain values.

#include "devices/components.h"

namespace veltrix::devices {

// One sample's values by component, as get_component_data delivers them.
// Temperature uses its first value only.
struct ComponentValues {
  float gyro[3] = {};
  float accel[3] = {};
  float compass[3] = {};
  float temp[3] = {};

  // The array of a COMPONENT_* identifier.
  float* of(int component);
  const float* of(int component) const;
};

// The bytes of `component` (a COMPONENT_* identifier).
int component_byte_count(int component);
// The most bytes any component has.
inline constexpr int kMaxComponentBytes = 8;

// Decodes `bytes` of `component` into `out`. A compass reading that is not
// new leaves `out` as it was.
void decode_component(int component, const unsigned char* bytes, float* out);

}  // namespace veltrix::devices
