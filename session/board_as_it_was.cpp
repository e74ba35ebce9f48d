#include "session/board_as_it_was.h"

#include <stdlib.h>

#include <array>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "devices/device_status.h"
#include "devices/register_operations.h"
#include "devices/register_row.h"

namespace veltrix::session {

namespace {

// Name parts of the registers that decide what a sample holds or how often
// one comes: CONFIG, GYRO_CONFIG, ACCEL_CONFIG2, SMPLRT_DIV, FIFO_EN,
// PWR_MGMT_1, USER_CTRL, INT_PIN_CFG (the compass bypass), I2C_SLV0_ADDR...
constexpr std::array<std::string_view, 7> kShapingNameParts{"CONFIG",    "SMPLRT",      "FIFO_EN", "PWR_MGM",
                                                            "USER_CTRL", "INT_PIN_CFG", "I2C_"};

bool shapes_samples(const RegisterRow& row) {
  const std::string_view name = devices::field_text(row.name);
  for (const std::string_view part : kShapingNameParts) {
    if (name.find(part) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

RegisterSnapshot::~RegisterSnapshot() {
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

long RegisterSnapshot::take(ikor& device) {
  if (folder_.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "veltrix-session-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      return kStatusFileOpenFailed;
    }
    folder_ = pattern;
  }
  const std::string file = folder_ + "/registers.txt";
  const devices::MapFileTransfer saved = devices::save_register_values(device, file);
  if (saved.status != 0) {
    file_.clear();
    return saved.status;
  }
  file_ = file;
  return 0;
}

BoardAsItWas make_board_as_it_was(ikor& device, const RegisterSnapshot& snapshot) {
  BoardAsItWas result;
  devices::RegisterComparison before = devices::compare_sensor_with_file(device, snapshot.file());
  if (before.status != 0) {
    result.status = before.status;
    result.cause = before.cause;
    return result;
  }
  for (const devices::RegisterDifference& difference : before.differences) {
    // Not the operator's write: a journal entry would replay it at every return.
    const long status = device.write_to_register(static_cast<char>(devices::row_address(*difference.row)),
                                                 static_cast<char>(difference.second));
    if (status != 0) {
      result.status = status;
      result.cause = devices::last_failure_cause();
      return result;
    }
    ++result.rewritten;
  }
  if (result.rewritten > 0) {
    devices::RegisterComparison after = devices::compare_sensor_with_file(device, snapshot.file());
    if (after.status != 0) {
      result.status = after.status;
      result.cause = after.cause;
      return result;
    }
    result.still_differ = std::move(after.differences);
  }
  for (const devices::RegisterDifference& difference : result.still_differ) {
    if (shapes_samples(*difference.row)) {
      result.shaping = difference.row;
      break;
    }
  }
  return result;
}

}  // namespace veltrix::session
