#include "capture/block_capture.h"

#include <algorithm>

#include "capture/component_bytes.h"
#include "devices/compass_kor.h"
#include "devices/register_row.h"

namespace veltrix::capture {

namespace {

using veltrix::devices::kAbsentAddress;
using veltrix::devices::kCompassReadingBytes;

constexpr unsigned char kDataReady = 0x01;

int first_or_absent(unsigned char address) { return address == kAbsentAddress ? -1 : address; }

}  // namespace

BlockCapture::BlockCapture(ikor& device)
    : device_(device),
      spans_{{{COMPONENT_GYRO, first_or_absent(device.addr_gyro_xout_h), 6},
              {COMPONENT_ACCEL, first_or_absent(device.addr_accel_xout_h), 6},
              {COMPONENT_COMPASS, first_or_absent(device.addr_compass_data), kCompassReadingBytes},
              {COMPONENT_TEMP, first_or_absent(device.addr_temp_out_h), 2}}} {
  const int available = device.get_available_components();
  for (Span& span : spans_) {
    if ((available & span.component) == 0) {
      span.first = -1;
    }
  }
}

std::optional<int> BlockCapture::block_length(int components) const {
  const int status = device_.addr_int_status;
  if (device_.addr_int_status == kAbsentAddress) {
    return std::nullopt;
  }
  int end = status + 1;
  for (const Span& span : spans_) {
    if ((components & span.component) != 0) {
      if (span.first < 0) {
        return std::nullopt;
      }
      end = std::max(end, span.first + span.length);
    }
  }
  // Every register after INT_STATUS up to the end must be some component's.
  for (int reg = status + 1; reg < end;) {
    const auto covering = std::find_if(spans_.begin(), spans_.end(), [reg](const Span& span) {
      return span.first >= 0 && reg >= span.first && reg < span.first + span.length;
    });
    if (covering == spans_.end()) {
      return std::nullopt;
    }
    reg = covering->first + covering->length;
  }
  return end - status;
}

long BlockCapture::read(int components, int length, bool& ready, SampleValues& values) {
  unsigned char bytes[256] = {};
  const int status = device_.addr_int_status;
  if (const long result =
          device_.read_registers(static_cast<unsigned char>(status), static_cast<unsigned short>(length), bytes);
      result != 0) {
    return result;
  }
  ready = (bytes[0] & kDataReady) != 0;
  if (!ready) {
    return 0;
  }
  for (const Span& span : spans_) {
    if ((components & span.component) == 0 || span.first < 0) {
      continue;
    }
    decode_component(span.component, bytes + (span.first - status), values.of(span.component));
  }
  return 0;
}

}  // namespace veltrix::capture
