#include "devices/compass_kor.h"

#include "link/board_protocol.h"

namespace veltrix::devices {
namespace {

constexpr unsigned char kIntPinCfg = 0x37;
constexpr unsigned char kUserCtrl = 0x6A;
constexpr unsigned char kI2cMstCtrl = 0x24;
constexpr unsigned char kBypassEnable = 0x02;     // INT_PIN_CFG
constexpr unsigned char kI2cMasterEnable = 0x20;  // USER_CTRL
constexpr unsigned char kWaitForExternalSensor = 0x40;
constexpr unsigned char kFirstCompassAddress = 0x0C;
constexpr unsigned char kLastCompassAddress = 0x0F;

}  // namespace

CompassKor::CompassKor(const DeviceTraits& traits, const CompassTraits& compass)
    : GenericKor(traits), compass_(compass) {}

long CompassKor::after_connect() {
  if (const long s = enable_by_pass(true); s != 0) {
    return s;
  }
  if (const long s = find_compass(); s != 0) {
    return s;
  }
  if (const long s = enable_by_pass(false); s != 0) {
    return s;
  }
  if (const long s = enable_wait_for_external_sensor(); s != 0) {
    return s;
  }
  if (const long s = configure_slaves(); s != 0) {
    return s;
  }
  if (compass_.sets_50hz_after_connect) {
    (void)set_sampling_rate(RATE_50HZ);
  }
  return 0;
}

long CompassKor::enable_by_pass(bool pEnable) {
  unsigned char pin_cfg = 0;
  unsigned char user_ctrl = 0;
  if (const long s = read_register(kIntPinCfg, pin_cfg); s != 0) {
    return s;
  }
  if (const long s = read_register(kUserCtrl, user_ctrl); s != 0) {
    return s;
  }
  if (pEnable) {
    pin_cfg |= kBypassEnable;
    user_ctrl &= static_cast<unsigned char>(~kI2cMasterEnable);
  } else {
    pin_cfg &= static_cast<unsigned char>(~kBypassEnable);
    user_ctrl |= kI2cMasterEnable;
  }
  if (const long s = write_register(kIntPinCfg, pin_cfg); s != 0) {
    return s;
  }
  return write_register(kUserCtrl, user_ctrl);
}

long CompassKor::find_compass() {
  unsigned char identity = 0;
  for (unsigned char candidate = kFirstCompassAddress; candidate <= kLastCompassAddress; ++candidate) {
    if (const long s = ARM_ReadBurst(serial_handle, candidate, AKM_REG_WHOAMI, 1, &identity); s != 0) {
      return s;
    }
    if (identity == AKM_WHOAMI) {
      compass_addr = candidate;
      return 0;
    }
  }
  return kStatusNoCompass;
}

long CompassKor::enable_wait_for_external_sensor() { return write_register(kI2cMstCtrl, kWaitForExternalSensor); }

long CompassKor::configure_slaves() {
  for (const SlaveWrite& w : compass_.slave_writes) {
    const auto value = static_cast<unsigned char>(w.with_compass_addr ? w.value | compass_addr : w.value);
    if (const long s = write_register(w.reg, value, w.how); s != 0) {
      return s;
    }
  }
  return 0;
}

}  // namespace veltrix::devices
