#include "devices/sampling_rate.h"

#include "devices/ikor.h"

namespace veltrix::devices {
namespace {

constexpr unsigned char kFilterMask = 0x07;

struct ColumnEntry {
  unsigned char divider;
  std::optional<ConfigRewrite> rewrite;
};

struct RateRow {
  int constant;
  ColumnEntry on_1khz_base;
  ColumnEntry on_8khz_base;
};

// A divider of 399 would be needed for 20 Hz on the 8 kHz base, more than the
// 8-bit register holds; those sensors switch to the 1 kHz base (filter 1)
// instead, so 20 Hz asked is 20 Hz delivered and read back.
constexpr RateRow kRates[] = {
    {RATE_20HZ, {49, {}}, {49, ConfigRewrite{1, WriteKind::kWriteBurst}}},
    {RATE_50HZ, {19, {}}, {159, {}}},
    {RATE_100HZ, {9, {}}, {79, {}}},
    {RATE_200HZ, {4, {}}, {39, {}}},
    {RATE_400HZ, {19, ConfigRewrite{0, WriteKind::kWriteBurst}}, {19, {}}},
    {RATE_500HZ, {1, {}}, {15, {}}},
    {RATE_800HZ, {9, ConfigRewrite{0, WriteKind::kSingleWrite}}, {9, {}}},
    {RATE_1KHZ, {0, {}}, {7, {}}},
    {RATE_8KHZ, {0, ConfigRewrite{0, WriteKind::kSingleWrite}}, {0, {}}},
};

constexpr unsigned char kFallbackDivider = 1;

bool selects_1khz_base(unsigned char config) {
  const unsigned char filter = config & kFilterMask;
  return filter >= 1 && filter <= 6;
}

int base_rate_hz(RateReadback form, unsigned char config) {
  const unsigned char filter = config & kFilterMask;
  const bool fast = filter == 0 || (form == RateReadback::kSecondForm && filter == 7);
  return fast ? 8000 : 1000;
}

}  // namespace

RatePlan plan_sampling_rate(int rate_constant, unsigned char base_config) {
  for (const RateRow& r : kRates) {
    if (r.constant != rate_constant) {
      continue;
    }
    const ColumnEntry& e = selects_1khz_base(base_config) ? r.on_1khz_base : r.on_8khz_base;
    return {e.rewrite, e.divider};
  }
  return {{}, kFallbackDivider};
}

int rate_hz(RateReadback form, unsigned char divider, unsigned char config) {
  return static_cast<int>(static_cast<double>(base_rate_hz(form, config)) / (divider + 1.0));
}

}  // namespace veltrix::devices
