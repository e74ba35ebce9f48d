#include <chrono>
#include <thread>

#include "devices/gyro_self_test.h"
#include "devices/kor42.h"

namespace {

using veltrix::devices::AxisAverages;

constexpr unsigned char kSelfTestCodeX = 0x0D;  // then Y, Z
constexpr unsigned char kSelfTestCodeMask = 0x1F;
constexpr unsigned char kGyroConfig = 0x1B;
constexpr unsigned char kGyroSelfTestBits = 0xE0;
constexpr int kSamplesPerSeries = 10;
constexpr int kSettlePeriods = 500;
constexpr int kPeriodsBetweenSamples = 10;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

signed char kor42::perform_self_test() { return perform_gyro_self_test() ? 1 : 0; }

bool kor42::perform_gyro_self_test() {
  veltrix::devices::AxisCodes codes{};
  for (int axis = 0; axis < 3; ++axis) {
    unsigned char code = 0;
    if (read_register(static_cast<unsigned char>(kSelfTestCodeX + axis), code) != 0) {
      return false;
    }
    codes[axis] = code & kSelfTestCodeMask;
  }
  const auto reference = veltrix::devices::gyro_self_test_references(codes);

  // A rate that cannot be read back gives no sample period to wait for.
  unsigned char divider = 0;
  unsigned char filter = 0;
  const int rate = get_current_sampling_rate(divider, filter);
  if (rate <= 0) {
    return false;
  }
  const int period_ms = static_cast<int>((1.0 / rate) * 1000.0);

  auto average_gyro = [&] {
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < kSamplesPerSeries; ++i) {
      float sample[3] = {0.0f, 0.0f, 0.0f};
      get_component_data(COMPONENT_GYRO, sample);
      for (int axis = 0; axis < 3; ++axis) {
        sum[axis] += sample[axis];
      }
      sleep_ms(kPeriodsBetweenSamples * period_ms);
    }
    AxisAverages average;
    for (int axis = 0; axis < 3; ++axis) {
      average[axis] = static_cast<float>(sum[axis] / 10.0);
    }
    return average;
  };

  const AxisAverages normal = average_gyro();

  unsigned char saved_config = 0;
  if (read_register(kGyroConfig, saved_config) != 0) {
    return false;
  }
  if (write_register(kGyroConfig, saved_config | kGyroSelfTestBits) != 0) {
    return false;
  }
  sleep_ms(kSettlePeriods * period_ms);

  const AxisAverages self_test = average_gyro();
  (void)write_register(kGyroConfig, saved_config);

  return veltrix::devices::gyro_self_test_passes(reference, normal, self_test);
}
