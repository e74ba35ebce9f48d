// The simulated sensor: reset values, sample clock, data, compass, self test.

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "sim/sample_formula.h"
#include "sim/sensor_layout.h"
#include "tests/sim/board_fixture.h"

namespace veltrix::sim::test {
namespace {

using SimulatedSensor = BoardTest;

// CONFIG filter 1 and divider 255: 1000 / 256 Hz, one sample every 256 ms,
// slow enough that a test's next few exchanges see the same sample.
constexpr std::uint8_t kSlowFilter = 0x01;
constexpr std::uint8_t kSlowDivider = 0xFF;

TEST_F(SimulatedSensor, EveryClassIdentifiesItselfAtItsWhoAmIRegister) {
  for (const auto& layout : all_layouts()) {
    SCOPED_TRACE(layout.model_class);
    start(board_options(std::string(layout.model_class)));
    const bool low_table = layout.model_class == "kor23" || layout.model_class == "kor21";
    EXPECT_EQ(read_register(low_table ? 0x00 : 0x75), 0x68);
    // Reset: divider 0 and filter 0 run the sensor at 8 kHz.
    EXPECT_EQ(sim_->sample_rate_hz(), 8000.0);
  }
}

TEST_F(SimulatedSensor, ReadOnlyRegistersAndThoseToldToIgnoreWritesKeepTheirValue) {
  BoardOptions options = board_options("kor42");
  options.sensor.ignored_writes = {0x6B, 0x20};
  start(options);
  write_register(0x75, 0x12);  // WHO_AM_I
  EXPECT_EQ(read_register(0x75), 0x68);
  write_register(0x72, 0x12);  // FIFO_COUNTH
  EXPECT_EQ(read_register(0x72), 0x00);
  write_register(0x4A, 0x12);  // EXT_SENS_DATA_01
  EXPECT_EQ(read_register(0x4A), 0x00);
  write_register(0x6B, 0x41);
  EXPECT_EQ(read_register(0x6B), 0x00);
  write_register(0x20, 0x33);
  EXPECT_EQ(read_register(0x20), 0x00);
  write_register(0x21, 0x33);
  EXPECT_EQ(read_register(0x21), 0x33);

  start(board_options("kor23"));
  write_register(0x00, 0x12);  // WHO_AM_I of the older classes
  EXPECT_EQ(read_register(0x00), 0x68);
}

TEST_F(SimulatedSensor, IntStatusIsSetPerSampleAndClearedByReading) {
  start(board_options("kor42"));
  write_register(0x1A, kSlowFilter);
  write_register(0x19, kSlowDivider);
  read_register(0x3A);  // clear what the fast reset rate left
  const std::uint32_t before = sim_->sample_index();
  const bool clear_while_same_sample = (read_register(0x3A) & 0x01) == 0;
  if (sim_->sample_index() == before) {
    EXPECT_TRUE(clear_while_same_sample);
  }

  ASSERT_TRUE(wait_for_sample_after(*sim_, before));
  EXPECT_EQ(sim_->register_value(0x68, 0x3A) & 0x01, 0x01);  // looking does not clear
  EXPECT_EQ(read_register(0x3A) & 0x01, 0x01);
  const std::uint32_t seen = sim_->sample_index();
  const std::uint8_t again = read_register(0x3A);
  if (sim_->sample_index() == seen) {
    EXPECT_EQ(again & 0x01, 0x00);
  }

  // The bit also goes when a burst read covers the register.
  ASSERT_TRUE(wait_for_sample_after(*sim_, seen));
  const auto burst = read_registers(0x68, 0x38, 4);
  ASSERT_EQ(burst.size(), 4u);
  EXPECT_EQ(burst[2] & 0x01, 0x01);
}

struct RateCase {
  const char* model_class;
  std::uint8_t config;
  std::uint8_t divider;
  double rate;
};

class SampleRate : public BoardTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(SampleRate, FollowsConfigAndDivider) {
  const RateCase c = GetParam();
  start(board_options(c.model_class));
  write_register(c.model_class == std::string("kor23") ? 0x16 : 0x1A, c.config);
  write_register(c.model_class == std::string("kor23") ? 0x15 : 0x19, c.divider);
  EXPECT_DOUBLE_EQ(sim_->sample_rate_hz(), c.rate);

  // The clock really runs at that rate: the index grows by elapsed × rate.
  const auto t0_before = Clock::now();
  const std::uint32_t n0 = sim_->sample_index();
  const auto t0_after = Clock::now();
  std::this_thread::sleep_for(300ms);  // a measuring window, not synchronisation
  const auto t1_before = Clock::now();
  const std::uint32_t n1 = sim_->sample_index();
  const auto t1_after = Clock::now();
  const double shortest = std::chrono::duration<double>(t1_before - t0_after).count();
  const double longest = std::chrono::duration<double>(t1_after - t0_before).count();
  EXPECT_GE(n1 - n0, std::floor(shortest * c.rate) - 1);
  EXPECT_LE(n1 - n0, std::ceil(longest * c.rate) + 1);
}

INSTANTIATE_TEST_SUITE_P(FirstAndSecondForm, SampleRate,
                         ::testing::Values(RateCase{"hep11", 0x00, 79, 100.0}, RateCase{"hep11", 0x07, 9, 100.0},
                                           RateCase{"naf38", 0x02, 19, 50.0}, RateCase{"kor23", 0x1A, 4, 200.0},
                                           RateCase{"kor42", 0x07, 39, 200.0}, RateCase{"kor42", 0x02, 9, 100.0},
                                           RateCase{"kor73", 0x00, 0, 8000.0},
                                           RateCase{"kor24", 0x03, 2, 1000.0 / 3.0}));

TEST_F(SimulatedSensor, ARateChangeRestartsThePeriodAtTheWrite) {
  start(board_options("hep11"));
  const auto sent = Clock::now();
  write_registers(0x68, {0x19, 0xF9, 0x01});  // divider 249, filter 1: 4 Hz
  const std::uint32_t at_change = sim_->sample_index();
  ASSERT_TRUE(wait_for_sample_after(*sim_, at_change));
  EXPECT_GE(Clock::now() - sent, 250ms);
}

TEST_F(SimulatedSensor, DataRegistersHoldTheFormulaOfTheLatestSample) {
  start(board_options("kor42"));
  ASSERT_TRUE(wait_for_sample_after(*sim_, 0));
  const std::uint32_t low = sim_->sample_index();
  const auto bytes = read_registers(0x68, 0x3B, 14);  // accel, temp, gyro in one read
  const std::uint32_t high = sim_->sample_index();
  ASSERT_EQ(bytes.size(), 14u);
  std::vector<std::int16_t> values;
  for (std::size_t at = 0; at < 14; at += 2) {
    values.push_back(big_endian(bytes, at));
  }
  const std::uint32_t n = matching_sample(low, high,
                                          {Channel::AccelX, Channel::AccelY, Channel::AccelZ, Channel::Temp,
                                           Channel::GyroX, Channel::GyroY, Channel::GyroZ},
                                          values);
  EXPECT_GE(n, 1u) << "gyro X " << values[4] << " matches no sample in " << low << ".." << high;
}

// One read from INT_STATUS through the compass mirror, as a fast capture
// polls: every channel belongs to one sample, and the data-ready bit in it
// says whether that sample is new since the previous read.
TEST_F(SimulatedSensor, ABlockReadIsOneSampleAndTakesItsDataReadyBit) {
  start(board_options("kor73"));
  write_register(0x1A, 0x01);                       // 1 kHz: some reads see a new sample, some do not
  write_registers(0x68, {0x25, 0x8C, 0x02, 0x88});  // slave 0 mirrors the compass
  ASSERT_TRUE(wait_for_sample_after(*sim_, sim_->sample_index()));
  const std::vector<Channel> channels{Channel::AccelX,   Channel::AccelY,  Channel::AccelZ, Channel::Temp,
                                      Channel::GyroX,    Channel::GyroY,   Channel::GyroZ,  Channel::CompassX,
                                      Channel::CompassY, Channel::CompassZ};
  std::uint32_t previous = 0;
  for (int i = 0; i < 300; ++i) {
    const std::uint32_t low = sim_->sample_index();
    const auto bytes = read_registers(0x68, 0x3A, 23);  // INT_STATUS .. EXT_SENS_DATA_07
    const std::uint32_t high = sim_->sample_index();
    ASSERT_EQ(bytes.size(), 23u);
    std::vector<std::int16_t> values;
    for (std::size_t at = 1; at < 15; at += 2) {
      values.push_back(big_endian(bytes, at));
    }
    for (std::size_t at = 16; at < 22; at += 2) {  // the compass's own order: low byte first
      values.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at + 1] << 8 | bytes[at])));
    }
    const std::uint32_t n = matching_sample(low, high, channels, values);
    ASSERT_GE(n, 1u) << "read " << i << ": the channels of " << low << ".." << high << " are mixed";
    if (i > 0) {
      ASSERT_EQ((bytes[0] & 0x01) != 0, n != previous) << "read " << i;
    }
    previous = n;
  }
}

TEST_F(SimulatedSensor, OlderClassesKeepDataAtTheirOwnAddresses) {
  start(board_options("kor23"));
  ASSERT_TRUE(wait_for_sample_after(*sim_, 0));
  const std::uint32_t low = sim_->sample_index();
  const auto bytes = read_registers(0x68, 0x1B, 8);  // temp, then gyro
  const std::uint32_t high = sim_->sample_index();
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_GE(matching_sample(low, high, {Channel::Temp, Channel::GyroX, Channel::GyroY, Channel::GyroZ},
                            {big_endian(bytes, 0), big_endian(bytes, 2), big_endian(bytes, 4), big_endian(bytes, 6)}),
            1u);
  // No accelerometer: its registers are never touched.
  EXPECT_EQ(read_registers(0x68, 0x3B, 6), std::vector<std::uint8_t>(6, 0x00));
}

TEST_F(SimulatedSensor, AtRestEverySampleHoldsSampleOne) {
  BoardOptions options = board_options("kor46");
  options.sensor.at_rest = true;
  start(options);
  ASSERT_TRUE(wait_for_sample_after(*sim_, 10));
  const auto bytes = read_registers(0x68, 0x3B, 14);
  ASSERT_EQ(bytes.size(), 14u);
  EXPECT_EQ(big_endian(bytes, 0), sample_value(Channel::AccelX, 1));
  EXPECT_EQ(big_endian(bytes, 6), sample_value(Channel::Temp, 1));
  EXPECT_EQ(big_endian(bytes, 12), sample_value(Channel::GyroZ, 1));
  EXPECT_EQ(read_register(0x3A) & 0x01, 0x01);  // samples still arrive
}

class CompassPath : public BoardTest {
 protected:
  void open_bypass() {
    write_register(0x37, 0x02);
    write_register(0x6A, 0x00);
  }
};

TEST_F(CompassPath, CompassAnswersOnlyWhileTheBypassIsOpen) {
  BoardOptions options = board_options("kor73");
  options.sensor.compass_address = 0x0E;
  start(options);
  sim_->set_register(0x0C, 0x00, 0x31);  // a foreign device at 0x0C
  EXPECT_EQ(read_registers(0x0E, 0x00, 1), std::vector<std::uint8_t>{0xFF});
  open_bypass();
  EXPECT_EQ(read_registers(0x0C, 0x00, 1), std::vector<std::uint8_t>{0x31});
  EXPECT_EQ(read_registers(0x0D, 0x00, 1), std::vector<std::uint8_t>{0xFF});
  EXPECT_EQ(read_registers(0x0E, 0x00, 1), std::vector<std::uint8_t>{0x48});
  write_register(0x6A, 0x20);  // the I2C master takes the auxiliary bus back
  EXPECT_EQ(read_registers(0x0E, 0x00, 1), std::vector<std::uint8_t>{0xFF});
  EXPECT_EQ(sim_->register_value(0x0E, 0x00), 0x48);
}

TEST_F(CompassPath, NoCompassWithoutAnAddressOrOnAClassWithoutOne) {
  BoardOptions options = board_options("kor71");
  options.sensor.compass_address = -1;
  start(options);
  open_bypass();
  for (std::uint8_t bus = 0x0C; bus <= 0x0F; ++bus) {
    EXPECT_EQ(read_registers(bus, 0x00, 1), std::vector<std::uint8_t>{0xFF});
  }
  start(board_options("kor42"));
  open_bypass();
  EXPECT_EQ(read_registers(0x0C, 0x00, 1), std::vector<std::uint8_t>{0xFF});
}

TEST_F(CompassPath, TheMasterMirrorsTheCompassOnceSetUp) {
  BoardOptions options = board_options("kor71");
  options.sensor.compass_address = 0x0D;
  start(options);
  write_register(0x1A, kSlowFilter);
  write_register(0x19, kSlowDivider);
  std::uint32_t seen = sim_->sample_index();
  ASSERT_TRUE(wait_for_sample_after(*sim_, seen));
  EXPECT_EQ(read_registers(0x68, 0x49, 8), std::vector<std::uint8_t>(8, 0x00));

  write_registers(0x68, {0x25, 0x8D, 0x02, 0x88});
  seen = sim_->sample_index();
  ASSERT_TRUE(wait_for_sample_after(*sim_, seen));
  const std::uint32_t low = sim_->sample_index();
  const auto bytes = read_registers(0x68, 0x49, 8);
  const std::uint32_t high = sim_->sample_index();
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(bytes[0], 0x01);  // ST1: data ready
  auto low_first = [&](std::size_t at) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[at + 1] << 8 | bytes[at]));
  };
  EXPECT_GE(matching_sample(low, high, {Channel::CompassX, Channel::CompassY, Channel::CompassZ},
                            {low_first(1), low_first(3), low_first(5)}),
            1u);
  EXPECT_EQ(bytes[7], 0x10);  // ST2
}

class GyroSelfTest : public BoardTest {
 protected:
  // The deviation a self test computes for one axis from the shift it sees.
  double deviation(int axis, int shift) {
    const int code = read_register(static_cast<std::uint8_t>(0x0D + axis)) & 0x1F;
    const double reference = (axis == 1 ? -3275.0 : 3275.0) * std::pow(1.046, code - 1);
    return std::abs((shift - reference) / reference) * 100.0;
  }

  std::vector<int> shifts_after_setting_self_test_bits() {
    write_register(0x1A, 0x02);
    write_register(0x19, 4);  // 200 Hz
    std::uint32_t seen = sim_->sample_index();
    EXPECT_TRUE(wait_for_sample_after(*sim_, seen));
    const auto normal = read_registers(0x68, 0x43, 6);
    write_register(0x1B, 0xE0);
    seen = sim_->sample_index();
    EXPECT_TRUE(wait_for_sample_after(*sim_, seen));
    const auto shifted = read_registers(0x68, 0x43, 6);
    write_register(0x1B, 0x00);
    seen = sim_->sample_index();
    EXPECT_TRUE(wait_for_sample_after(*sim_, seen));
    const auto restored = read_registers(0x68, 0x43, 6);
    EXPECT_EQ(restored, normal);
    std::vector<int> shifts;
    for (std::size_t at = 0; at < 6 && shifted.size() == 6 && normal.size() == 6; at += 2) {
      shifts.push_back(big_endian(shifted, at) - big_endian(normal, at));
    }
    return shifts;
  }
};

TEST_F(GyroSelfTest, APassingUnitShiftsInsideTheBand) {
  BoardOptions options = board_options("kor42");
  options.sensor.at_rest = true;
  start(options);
  const auto shifts = shifts_after_setting_self_test_bits();
  ASSERT_EQ(shifts.size(), 3u);
  for (int axis = 0; axis < 3; ++axis) {
    const double d = deviation(axis, shifts[axis]);
    EXPECT_GE(d, 10.0) << "axis " << axis;
    EXPECT_LE(d, 105.0) << "axis " << axis;
  }
}

TEST_F(GyroSelfTest, AFailingUnitShiftsOutsideTheBand) {
  BoardOptions options = board_options("kor42");
  options.sensor.at_rest = true;
  options.sensor.self_test_passes = false;
  start(options);
  const auto shifts = shifts_after_setting_self_test_bits();
  ASSERT_EQ(shifts.size(), 3u);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_LT(deviation(axis, shifts[axis]), 10.0) << "axis " << axis;
  }
}

TEST_F(GyroSelfTest, OtherClassesAndZeroCodesDoNotShift) {
  BoardOptions options = board_options("kor42");
  options.sensor.at_rest = true;
  start(options);
  write_registers(0x68, {0x0D, 0x00, 0x00, 0x00});
  EXPECT_EQ(shifts_after_setting_self_test_bits(), (std::vector<int>{0, 0, 0}));

  options.sensor.model_class = "kor46";
  start(options);
  EXPECT_EQ(shifts_after_setting_self_test_bits(), (std::vector<int>{0, 0, 0}));
}

}  // namespace
}  // namespace veltrix::sim::test
