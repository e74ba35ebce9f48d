#pragma once
// Reading back what was written. While a ReadBackScope lives on a thread,
// every register write the device makes on that thread is followed by one
// read of the register, and a register that reads back otherwise, under the
// bits that hold (register_holding.h), is kept as a difference. Registers
// that hold nothing written are not read back.
//
// Thread contract: kept per thread, like errno: the scope, the check and the
// differences belong to the thread that made the scope.

#include <string>
#include <vector>

namespace veltrix::devices {

struct ReadBackDifference {
  unsigned char address = 0;
  unsigned char written = 0;
  unsigned char read = 0;
};

// Starts reading back on this thread with no differences kept; stops when it
// goes. Scopes do not nest.
class ReadBackScope {
 public:
  ReadBackScope();
  ~ReadBackScope();
  ReadBackScope(const ReadBackScope&) = delete;
  ReadBackScope& operator=(const ReadBackScope&) = delete;

  // The differences kept so far, in write order.
  [[nodiscard]] std::vector<ReadBackDifference> differences() const;
};

[[nodiscard]] bool read_back_active();

// Keeps `difference` for the scope on this thread.
void keep_read_back_difference(const ReadBackDifference& difference);

// "Register 6B reads back 41 after writing 01".
[[nodiscard]] std::string read_back_sentence(const ReadBackDifference& difference);

}  // namespace veltrix::devices
