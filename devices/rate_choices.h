#pragma once
// The sampling rates by their number of Hz, with the RATE_* constants they
// stand for: the one table the window's rate buttons and veltrix-cli share.
//
// Thread contract: constants and pure functions only.

#include <span>

namespace veltrix::devices {

struct RateChoice {
  int hz;
  int constant;  // RATE_* of devices/ikor.h
};

// Ascending by rate.
std::span<const RateChoice> rate_choices();
// Null for a rate without a constant.
const RateChoice* find_rate(int hz);

}  // namespace veltrix::devices
