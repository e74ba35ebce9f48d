#include "devices/component_bytes.h"

#include "devices/compass_kor.h"
#include "devices/sample_decoding.h"

namespace veltrix::devices {

namespace {

constexpr unsigned char kFreshCompassReading = 0x01;  // ST1
static_assert(kCompassReadingBytes <= kMaxComponentBytes);

}  // namespace

float* ComponentValues::of(int component) {
  return const_cast<float*>(static_cast<const ComponentValues&>(*this).of(component));
}

const float* ComponentValues::of(int component) const {
  switch (component) {
    case COMPONENT_GYRO:
      return gyro;
    case COMPONENT_ACCEL:
      return accel;
    case COMPONENT_COMPASS:
      return compass;
    default:
      return temp;
  }
}

int component_byte_count(int component) {
  switch (component) {
    case COMPONENT_COMPASS:
      return kCompassReadingBytes;
    case COMPONENT_TEMP:
      return 2;
    default:
      return 6;
  }
}

void decode_component(int component, const unsigned char* bytes, float* out) {
  if (component == COMPONENT_COMPASS) {
    if (bytes[0] != kFreshCompassReading) {
      return;
    }
    for (int axis = 0; axis < 3; ++axis) {
      out[axis] = word_from_bytes(bytes[2 + 2 * axis], bytes[1 + 2 * axis]);
    }
    return;
  }
  for (int i = 0; i < component_byte_count(component) / 2; ++i) {
    out[i] = word_from_bytes(bytes[2 * i], bytes[2 * i + 1]);
  }
}

}  // namespace veltrix::devices
