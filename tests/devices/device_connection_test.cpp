// Connecting each family to a simulated board of its own class: the commands
// sent, the SPI set-up, the register addresses resolved by initialize, and
// what a failed connect says about its port.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "devices/device_connection.h"
#include "devices/port_notifier.h"
#include "tests/devices/sim_board.h"

namespace veltrix::devices::test {
namespace {

using Lines = std::vector<std::string>;

struct AddressCase {
  const char* class_name;
  unsigned char gyro, temp, divider, config, fifo_en, int_enable, int_status, accel, compass;
};

// 0xFF: absent from the table or not looked up by the family.
const AddressCase kAddresses[] = {
    {"hep11", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0xFF, 0xFF},
    {"naf38", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0xFF, 0xFF},
    {"kor23", 0x1D, 0x1B, 0x15, 0x16, 0x12, 0xFF, 0x1A, 0xFF, 0xFF},
    {"kor21", 0x1D, 0x1B, 0x15, 0x16, 0x12, 0xFF, 0x1A, 0xFF, 0xFF},
    {"kor24", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0xFF, 0xFF},
    {"kor42", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0x3B, 0xFF},
    {"kor46", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0x3B, 0xFF},
    {"kor71", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0x3B, 0x49},
    {"kor73", 0x43, 0x41, 0x19, 0x1A, 0x23, 0x38, 0x3A, 0x3B, 0x49},
};

void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.class_name; }

void expect_addresses(const ikor& d, const AddressCase& c) {
  EXPECT_EQ(d.addr_gyro_xout_h, c.gyro);
  EXPECT_EQ(d.addr_temp_out_h, c.temp);
  EXPECT_EQ(d.addr_smplrt_div, c.divider);
  EXPECT_EQ(d.addr_config, c.config);
  EXPECT_EQ(d.addr_fifo_en, c.fifo_en);
  EXPECT_EQ(d.addr_int_enable, c.int_enable);
  EXPECT_EQ(d.addr_int_status, c.int_status);
  EXPECT_EQ(d.addr_accel_xout_h, c.accel);
  EXPECT_EQ(d.addr_compass_data, c.compass);
}

class ConnectionTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ConnectionTest, ConnectsOverI2cAndResolvesItsAddresses) {
  SimBoard board(GetParam().class_name);
  auto device = board.connect(MODE_I2C);
  ASSERT_NE(device, nullptr);
  expect_addresses(*device, GetParam());
  const Lines lines = board.lines();
  if (!(device->get_available_components() & COMPONENT_COMPASS)) {
    EXPECT_EQ(lines, (Lines{"SD", "IE2"}));
    return;
  }
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 2), (Lines{"SD", "IE2"}));
}

TEST_P(ConnectionTest, UnusablePortFailsWithTheLinkStatusAfterResolving) {
  auto device = make_device(GetParam().class_name);
  EXPECT_EQ(device->initialize("/nonexistent/veltrix-port", MODE_I2C), kStatusPortFailed);
  expect_addresses(*device, GetParam());
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, ConnectionTest, ::testing::ValuesIn(kAddresses),
                         [](const auto& instance) { return std::string(instance.param.class_name); });

class SpiSetupTest : public ::testing::TestWithParam<const char*> {};

TEST_P(SpiSetupTest, SendsIdDdCs1WithAPauseAfterId) {
  SimBoard board(GetParam());
  ASSERT_NE(board.connect(MODE_SPI), nullptr);
  const auto records = board.commands();
  Lines lines;
  for (const auto& r : records) {
    lines.push_back(r.line);
  }
  ASSERT_EQ(lines, (Lines{"SD", "IE2", "ID", "DD", "CS1"}));
  EXPECT_GE(records[3].when - records[2].when, std::chrono::milliseconds(100));
}

INSTANTIATE_TEST_SUITE_P(FamiliesWithSpiSetup, SpiSetupTest, ::testing::Values("hep11", "naf38", "kor24", "kor46"));

TEST(Connection, Kor23OverSpiGetsNoBoardSetup) {
  SimBoard board("kor23");
  ASSERT_NE(board.connect(MODE_SPI), nullptr);
  EXPECT_EQ(board.lines(), (Lines{"SD", "IE2"}));
}

TEST(Connection, SilentBoardFailsTheConnection) {
  sim::SensorOptions sensor;
  sensor.model_class = "kor42";
  sim::Faults faults;
  faults.silent = true;
  SimBoard board(sensor, faults);
  auto device = make_device("kor42");
  EXPECT_EQ(device->initialize(board.port().c_str(), MODE_I2C), kStatusWriteOrTimeout);
}

TEST(Connection, SpiSetupFailureIsInitializesResult) {
  sim::SensorOptions sensor;
  sensor.model_class = "hep11";
  sim::Faults faults;
  faults.silent_after = 2;  // answers "SD" and "IE2", then nothing
  SimBoard board(sensor, faults);
  auto device = make_device("hep11");
  EXPECT_EQ(device->initialize(board.port().c_str(), MODE_SPI), kStatusWriteOrTimeout);
  EXPECT_EQ(board.lines(), (Lines{"SD", "IE2", "ID"}));
}

TEST(Connection, OneDeviceAfterAnotherReconnects) {
  SimBoard first("kor42");
  ASSERT_NE(first.connect(), nullptr);
  SimBoard second("kor46");
  auto device = second.connect();
  ASSERT_NE(device, nullptr);
  unsigned char who_am_i = 0;
  EXPECT_EQ(device->read_from_register(0x75, who_am_i), 0);
  EXPECT_EQ(who_am_i, 0x68);
}

// Holds `path` the way a second program running this link would.
class PortHolder {
 public:
  explicit PortHolder(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~PortHolder() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  bool holds() const { return fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0; }

 private:
  int fd_;
};

TEST(ConnectFailure, SaysWhyThePortWasRefusedAndNothingMoreOtherwise) {
  SimBoard board("kor42");
  auto device = make_device("kor42");

  EXPECT_EQ(connect_device(*device, MODE_I2C, "/nonexistent/veltrix-port"), kStatusPortFailed);
  EXPECT_EQ(connect_failure_detail(), "/nonexistent/veltrix-port does not exist");
  {
    PortHolder other_program(board.port());
    ASSERT_TRUE(other_program.holds());
    EXPECT_EQ(connect_device(*device, MODE_I2C, board.port()), kStatusPortFailed);
    EXPECT_EQ(connect_failure_detail(), board.port() + " is in use by another program");
  }
  char not_a_port[] = "/tmp/veltrix-not-a-port-XXXXXX";
  const int file = mkstemp(not_a_port);
  ASSERT_GE(file, 0);
  close(file);
  set_port_notifier([](const char*, const char*) {});
  EXPECT_EQ(connect_device(*device, MODE_I2C, not_a_port), kStatusPortFailed);
  set_port_notifier({});
  EXPECT_EQ(connect_failure_detail(), std::string(not_a_port) + " is not a serial port");
  unlink(not_a_port);

  EXPECT_EQ(connect_device(*device, MODE_I2C, board.port()), 0);
  EXPECT_EQ(connect_failure_detail(), "");

  // The port opened; the board's silence is all the generic message says.
  board.go_silent();
  EXPECT_EQ(connect_device(*device, MODE_I2C, board.port()), kStatusWriteOrTimeout);
  EXPECT_EQ(connect_failure_detail(), "");
}

}  // namespace
}  // namespace veltrix::devices::test
