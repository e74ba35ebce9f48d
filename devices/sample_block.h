#pragma once
// A sample block: where the sensor keeps INT_STATUS right before the data
// registers of the selected components, with nothing else in between, one
// read from INT_STATUS through the last selected register gives the
// data-ready flag and every value of one sample (the sensor latches a block
// read's sample once).
//
// Thread contract: plain values.

namespace veltrix::devices {

struct SampleBlock {
  int components = 0;         // COMPONENT_* bits the block holds
  unsigned short length = 0;  // bytes from INT_STATUS through the last one
};

}  // namespace veltrix::devices
