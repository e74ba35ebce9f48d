#include "devices/rate_choices.h"

#include "devices/ikor.h"

namespace veltrix::devices {

namespace {

constexpr RateChoice kRates[] = {
    {20, RATE_20HZ},   {50, RATE_50HZ},   {100, RATE_100HZ}, {200, RATE_200HZ}, {400, RATE_400HZ},
    {500, RATE_500HZ}, {800, RATE_800HZ}, {1000, RATE_1KHZ}, {8000, RATE_8KHZ},
};

}  // namespace

std::span<const RateChoice> rate_choices() { return kRates; }

const RateChoice* find_rate(int hz) {
  for (const RateChoice& rate : kRates) {
    if (rate.hz == hz) {
      return &rate;
    }
  }
  return nullptr;
}

}  // namespace veltrix::devices
