#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/text_files.h"

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

// The serial number belongs to the USB device above the tty's interface; a
// port reached through a symbolic link is looked up by the node it leads to,
// and a '!' in a sysfs name stands for '/' below /dev.
TEST_F(FakeSysfs, SerialNumberOfTheUsbDeviceBehindAPort) {
  const auto add_usb_tty = [&](const std::string& name, const std::string& serial) {
    const fs::path interface = root_ / "devices/usb1/1-1" / name / "1-1:1.0";
    fs::create_directories(interface);
    fs::create_directories(root_ / "bus/drivers/cdc_acm");
    fs::create_symlink(root_ / "bus/drivers/cdc_acm", interface / "driver");
    fs::create_directories(root_ / "class/tty" / name);
    fs::create_directory_symlink(interface, root_ / "class/tty" / name / "device");
    veltrix::test::write_file(interface.parent_path() / "serial", serial + "\n");
  };
  add_usb_tty("ttyACM3", "VX-1");
  add_usb_tty("pts!ptmx", "VX-2");
  add_tty("ttyACM1", "cdc_acm");  // no serial number
  add_tty("ttyS0", "serial8250");

  std::vector<std::string> ports;
  ASSERT_EQ(board_ports_in(root_.c_str(), ports), 0);
  EXPECT_EQ(ports, (std::vector<std::string>{"/dev/pts/ptmx", "/dev/ttyACM1", "/dev/ttyACM3"}));
  char port[64] = "";
  EXPECT_EQ(find(port, sizeof port), 0);
  EXPECT_STREQ(port, "/dev/pts/ptmx");

  EXPECT_EQ(usb_serial_in(root_.c_str(), "/dev/pts/ptmx"), "VX-2");
  const fs::path link = root_ / "board";
  fs::create_symlink("/dev/pts/ptmx", link);
  EXPECT_EQ(usb_serial_in(root_.c_str(), link.string()), "VX-2");
  EXPECT_EQ(usb_serial_in(root_.c_str(), "/dev/ttyACM1"), "");
  EXPECT_EQ(usb_serial_in(root_.c_str(), "/dev/nonexistent-veltrix"), "");
  EXPECT_EQ(usb_serial_in(root_.c_str(), root_.string()), "");  // not below /dev

  setenv("VELTRIX_SYSFS", root_.c_str(), 1);
  EXPECT_STREQ(sysfs_root(), root_.c_str());
  EXPECT_EQ(findComm(port, sizeof port), 0);
  EXPECT_STREQ(port, "/dev/pts/ptmx");
  unsetenv("VELTRIX_SYSFS");
  EXPECT_STREQ(sysfs_root(), "/sys");
}

}  // namespace
