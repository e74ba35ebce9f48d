#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// A throw-away sysfs tree: class/tty/NAME/device/driver -> .../drivers/DRIVER.
class FakeSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("VELTRIX_PORT");
    ASSERT_TRUE(sysfs_.made());
    fs::create_directories(root_ / "class/tty");
  }

  void add_tty(const std::string& name, const std::string& driver) {
    const fs::path device = root_ / "class/tty" / name / "device";
    fs::create_directories(device);
    if (driver.empty()) {
      return;
    }
    const fs::path target = root_ / "bus/drivers" / driver;
    fs::create_directories(target);
    fs::create_symlink(target, device / "driver");
  }

  int find(char* port, int size) { return find_comm_in(root_.c_str(), port, size); }

  const veltrix::test::TempFolder sysfs_{"sysfs"};
  const fs::path& root_ = sysfs_.path();
};

TEST_F(FakeSysfs, TakesLowestNumberedCdcAcmTty) {
  add_tty("ttyS0", "serial8250");
  add_tty("ttyACM10", "cdc_acm");
  add_tty("ttyACM2", "cdc_acm");
  add_tty("ttyUSB0", "ftdi_sio");
  add_tty("tty1", "");
  char port[256] = "untouched";
  EXPECT_EQ(find(port, sizeof port), 0);
  EXPECT_STREQ(port, "/dev/ttyACM2");
}

TEST_F(FakeSysfs, NoBoardLeavesPortUntouched) {
  add_tty("ttyS0", "serial8250");
  add_tty("ttyUSB0", "ftdi_sio");
  char port[256] = "untouched";
  EXPECT_EQ(find(port, sizeof port), -1);
  EXPECT_STREQ(port, "untouched");
}

TEST_F(FakeSysfs, PathThatDoesNotFitIsRefusedWithoutWriting) {
  add_tty("ttyACM0", "cdc_acm");
  char port[16] = "untouched";
  EXPECT_EQ(find(port, 12), -1);  // "/dev/ttyACM0" needs 13
  EXPECT_STREQ(port, "untouched");
  EXPECT_EQ(find(port, 13), 0);
  EXPECT_STREQ(port, "/dev/ttyACM0");
}

TEST_F(FakeSysfs, MissingTtyClassIsAnError) {
  char port[64] = "untouched";
  EXPECT_EQ(find_comm_in((root_ / "nowhere").c_str(), port, sizeof port), 1);
  EXPECT_STREQ(port, "untouched");
}

TEST_F(FakeSysfs, EnvironmentNamesThePortFirst) {
  add_tty("ttyACM0", "cdc_acm");
  setenv("VELTRIX_PORT", "/tmp/veltrix-board", 1);
  char port[256] = "";
  EXPECT_EQ(find(port, sizeof port), 0);
  EXPECT_STREQ(port, "/tmp/veltrix-board");
  EXPECT_EQ(findComm(port, sizeof port), 0);
  EXPECT_STREQ(port, "/tmp/veltrix-board");
  char small[8] = "x";
  EXPECT_EQ(findComm(small, sizeof small), -1);
  EXPECT_STREQ(small, "x");

  setenv("VELTRIX_PORT", "", 1);  // empty counts as unset
  EXPECT_EQ(find(port, sizeof port), 0);
  EXPECT_STREQ(port, "/dev/ttyACM0");
  unsetenv("VELTRIX_PORT");
}

}  // namespace
