#pragma once
// One component's data-register bytes as the sensor holds them (a block read
// or a FIFO frame gives the same bytes): gyroscope and accelerometer three
// high-byte-first words, temperature one, the compass reading ST1, XL, XH,
// YL, YH, ZL, ZH, ST2.
//
// Thread contract: pure functions.

// The bytes of `component` (a COMPONENT_* identifier).

namespace veltrix::capture {
int component_byte_count(int component);

// Decodes `bytes` of `component` into `out` as get_component_data does. A
// compass reading that is not new leaves `out` as it was.
void decode_component(int component, const unsigned char* bytes, float* out);

}  // namespace veltrix::capture
