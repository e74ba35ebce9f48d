#pragma once
// The fast capture's block read: where the sensor keeps INT_STATUS right
// before the data registers of the selected components, with nothing else in
// between, one read from INT_STATUS through the last selected register gives
// the data-ready flag and every value of one sample (the sensor latches a
// block read's sample once).
//
// Thread contract: one object per capture, used by the capture thread only.

#include <array>
#include <optional>

#include "capture/sample_format.h"
#include "devices/ikor.h"

namespace veltrix::capture {

class BlockCapture {
 public:
  explicit BlockCapture(ikor& device);

  // Bytes from INT_STATUS through the last register of `components`, or
  // nullopt when a register in between belongs to none of the device's
  // components (or the device has no INT_STATUS).
  std::optional<int> block_length(int components) const;

  // One block read of `length` bytes (block_length's) for `components`. The link
  // status; on 0, `ready` tells whether the block holds a new sample, and
  // then `values` hold its components. A compass without a new reading keeps
  // its previous values, as get_component_data does.
  long read(int components, int length, bool& ready, SampleValues& values);

 private:
  struct Span {
    int component;
    int first;  // -1: the device lacks it
    int length;
  };

  ikor& device_;
  std::array<Span, 4> spans_;
};

}  // namespace veltrix::capture
