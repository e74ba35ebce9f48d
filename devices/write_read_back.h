#pragma once
// Reading back what was written. The operator's writes, loads and rate
// changes read each register they write once more, and a register that reads
// back otherwise, under the bits that hold (register_holding.h), is kept in
// the operation's outcome (register_stop.h). Registers that hold nothing
// written are not read back.
//
// Thread contract: plain values.

namespace veltrix::devices {

struct ReadBackDifference {
  unsigned char address = 0;
  unsigned char written = 0;
  unsigned char read = 0;
};

}  // namespace veltrix::devices
