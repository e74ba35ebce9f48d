#include <chrono>
#include <cmath>
#include <thread>

#include "devices/kor42.h"

namespace {

constexpr unsigned char kSelfTestCodeX = 0x0D;  // then Y, Z
constexpr unsigned char kSelfTestCodeMask = 0x1F;
constexpr unsigned char kGyroConfig = 0x1B;
constexpr unsigned char kGyroSelfTestBits = 0xE0;
constexpr int kSamplesPerSeries = 10;
constexpr int kSettlePeriods = 500;
constexpr int kPeriodsBetweenSamples = 10;

struct Band {
  double low;
  double high;
};
constexpr Band kBands[3] = {{10.0, 105.0}, {-105.0, -10.0}, {10.0, 105.0}};
// The Y axis responds in the opposite sense: its reference and deviation are negative.
constexpr double kAxisSign[3] = {1.0, -1.0, 1.0};

double reference_for(unsigned char code) {
  if (code == 0) return 0.0;
  return 3275.0 * std::pow(1.046, static_cast<int>(code) - 1);
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

signed char kor42::perform_self_test() { return perform_gyro_self_test() ? 1 : 0; }

bool kor42::perform_gyro_self_test() {
  double reference[3];
  for (int axis = 0; axis < 3; ++axis) {
    unsigned char code = 0;
    if (read_register(static_cast<unsigned char>(kSelfTestCodeX + axis), code) != 0) return false;
    reference[axis] = kAxisSign[axis] * reference_for(code & kSelfTestCodeMask);
  }

  // A rate that cannot be read back gives no sample period to wait for.
  unsigned char divider = 0;
  unsigned char filter = 0;
  const int rate = get_current_sampling_rate(divider, filter);
  if (rate <= 0) return false;
  const int period_ms = static_cast<int>((1.0 / rate) * 1000.0);

  auto average_gyro = [&](float (&average)[3]) {
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < kSamplesPerSeries; ++i) {
      float sample[3] = {0.0f, 0.0f, 0.0f};
      get_component_data(COMPONENT_GYRO, sample);
      for (int axis = 0; axis < 3; ++axis) sum[axis] += sample[axis];
      sleep_ms(kPeriodsBetweenSamples * period_ms);
    }
    for (int axis = 0; axis < 3; ++axis) average[axis] = static_cast<float>(sum[axis] / 10.0);
  };

  float normal[3];
  average_gyro(normal);

  unsigned char saved_config = 0;
  if (read_register(kGyroConfig, saved_config) != 0) return false;
  if (write_register(kGyroConfig, saved_config | kGyroSelfTestBits) != 0) return false;
  sleep_ms(kSettlePeriods * period_ms);

  float self_test[3];
  average_gyro(self_test);
  static_cast<void>(write_register(kGyroConfig, saved_config));

  bool passed = true;
  for (int axis = 0; axis < 3; ++axis) {
    // A code of 0 gives no reference to compare with: that axis fails.
    if (reference[axis] == 0.0) {
      passed = false;
      continue;
    }
    const double change = static_cast<double>(self_test[axis]) - normal[axis];
    const auto deviation = static_cast<float>(
        std::fabs((change - reference[axis]) / reference[axis]) * 100.0 * kAxisSign[axis]);
    passed = passed && deviation >= kBands[axis].low && deviation <= kBands[axis].high;
  }
  return passed;
}
