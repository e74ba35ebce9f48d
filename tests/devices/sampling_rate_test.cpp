// Every rate constant on every family against the simulated sensor: the
// registers written and their order, the rate read back, what the sensor
// then really runs at, and the refusals.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/devices/sim_board.h"
#include "tests/support/timing.h"

namespace veltrix::devices::test {
namespace {

enum Role { kConfig, kDivider };
struct Write {
  Role role;
  unsigned char value;
};

struct RateCase {
  int constant;
  int hz;
  std::vector<Write> on_1khz_base;  // base CONFIG 0x02
  std::vector<Write> on_8khz_base;  // base CONFIG 0x00; empty: never offered there
};

const RateCase kRates[] = {
    {RATE_20HZ, 20, {{kConfig, 0x02}, {kDivider, 49}}, {{kConfig, 0x00}, {kConfig, 0x01}, {kDivider, 49}}},
    {RATE_50HZ, 50, {{kConfig, 0x02}, {kDivider, 19}}, {{kConfig, 0x00}, {kDivider, 159}}},
    {RATE_100HZ, 100, {{kConfig, 0x02}, {kDivider, 9}}, {{kConfig, 0x00}, {kDivider, 79}}},
    {RATE_200HZ, 200, {{kConfig, 0x02}, {kDivider, 4}}, {{kConfig, 0x00}, {kDivider, 39}}},
    {RATE_400HZ, 400, {{kConfig, 0x02}, {kConfig, 0x00}, {kDivider, 19}}, {}},
    {RATE_500HZ, 500, {{kConfig, 0x02}, {kDivider, 1}}, {}},
    {RATE_800HZ, 800, {{kConfig, 0x02}, {kConfig, 0x00}, {kDivider, 9}}, {}},
    {RATE_1KHZ, 1000, {{kConfig, 0x02}, {kDivider, 0}}, {}},
    {RATE_8KHZ, 8000, {{kConfig, 0x02}, {kConfig, 0x00}, {kDivider, 0}}, {}},
};

struct Family {
  const char* class_name;
  unsigned char config_reg;
  unsigned char divider_reg;
  bool base_8khz;
  int offered;
  bool second_form;
};

constexpr int kStandard = RATE_20HZ | RATE_50HZ | RATE_100HZ | RATE_200HZ;

const Family kFamilies[] = {
    {"hep11", 0x1A, 0x19, true, kStandard, false}, {"naf38", 0x1A, 0x19, false, kStandard, false},
    {"kor23", 0x16, 0x15, false, 0x1E9B, false},   {"kor21", 0x16, 0x15, false, kStandard, false},
    {"kor24", 0x1A, 0x19, false, kStandard, true}, {"kor42", 0x1A, 0x19, false, kStandard, true},
    {"kor46", 0x1A, 0x19, true, kStandard, true},  {"kor71", 0x1A, 0x19, false, kStandard, true},
    {"kor73", 0x1A, 0x19, false, kStandard, true},
};

void PrintTo(const Family& f, std::ostream* os) { *os << f.class_name; }

std::vector<RegisterWrite> expected_writes(const Family& f, const std::vector<Write>& plan) {
  std::vector<RegisterWrite> out;
  for (const Write& w : plan) {
    out.push_back({w.role == kConfig ? f.config_reg : f.divider_reg, w.value});
  }
  return out;
}

class SamplingRateTest : public ::testing::TestWithParam<Family> {};

TEST_P(SamplingRateTest, EveryConstantIsAppliedAndReadBackOrRefused) {
  const Family& f = GetParam();
  SimBoard board(f.class_name);
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->get_available_sampling_rates(), f.offered);

  for (const RateCase& r : kRates) {
    SCOPED_TRACE(r.hz);
    board.clear_commands();
    if (!(f.offered & r.constant)) {
      EXPECT_EQ(device->set_sampling_rate(r.constant), kStatusRateRefused);
      EXPECT_TRUE(board.lines().empty());
      continue;
    }
    ASSERT_EQ(device->set_sampling_rate(r.constant), 0);
    const auto& plan = f.base_8khz ? r.on_8khz_base : r.on_1khz_base;
    ASSERT_FALSE(plan.empty());
    EXPECT_EQ(board.sensor_writes(), expected_writes(f, plan));

    unsigned char divider = 0xAA;
    unsigned char filter = 0xAA;
    EXPECT_EQ(device->get_current_sampling_rate(divider, filter), r.hz);
    EXPECT_EQ(divider, plan.back().value);
    EXPECT_EQ(filter, board.reg(f.config_reg) & 0x07);
    // The sensor itself runs at the rate reported.
    EXPECT_DOUBLE_EQ(board.sample_rate_hz(), r.hz);
  }
}

TEST_P(SamplingRateTest, ZeroAndUnofferedConstantsWriteNothing) {
  const Family& f = GetParam();
  SimBoard board(f.class_name);
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.clear_commands();
  EXPECT_EQ(device->set_sampling_rate(0), kStatusRateRefused);
  EXPECT_EQ(device->set_sampling_rate(0x4000), kStatusRateRefused);
  EXPECT_TRUE(board.lines().empty());
}

TEST_P(SamplingRateTest, FilterSetting7ReadsBackByTheFamilysForm) {
  const Family& f = GetParam();
  SimBoard board(f.class_name);
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, f.config_reg, 0x07);
  board.set_register(0x68, f.divider_reg, 9);
  unsigned char divider = 0;
  unsigned char filter = 0;
  EXPECT_EQ(device->get_current_sampling_rate(divider, filter), f.second_form ? 800 : 100);
  EXPECT_EQ(divider, 9);
  EXPECT_EQ(filter, 7);
}

INSTANTIATE_TEST_SUITE_P(AllFamilies, SamplingRateTest, ::testing::ValuesIn(kFamilies),
                         [](const auto& instance) { return std::string(instance.param.class_name); });

TEST(SamplingRate, DividerTwoTruncatesTowardsZero) {
  SimBoard board("naf38");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, 0x1A, 0x02);
  board.set_register(0x68, 0x19, 2);
  unsigned char divider = 0;
  unsigned char filter = 0;
  EXPECT_EQ(device->get_current_sampling_rate(divider, filter), 333);
}

TEST(SamplingRate, Kor73EndsItsConnectionAt50Hz) {
  SimBoard board("kor73");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  const auto writes = board.sensor_writes();
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[writes.size() - 2], (RegisterWrite{0x1A, 0x02}));
  EXPECT_EQ(writes.back(), (RegisterWrite{0x19, 19}));
  unsigned char divider = 0;
  unsigned char filter = 0;
  EXPECT_EQ(device->get_current_sampling_rate(divider, filter), 50);
}

TEST(SamplingRate, FailedConfigWriteAbandonsTheChange) {
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.go_silent();
  board.clear_commands();
  EXPECT_EQ(device->set_sampling_rate(RATE_100HZ), kStatusWriteOrTimeout);
  EXPECT_EQ(board.lines(), std::vector<std::string>{"WR681A02"});
}

TEST(SamplingRate, UnreadableRateReadsZero) {
  for (const char* family : {"naf38", "kor42"}) {
    SimBoard board(family);
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    board.go_silent();
    unsigned char divider = 0xAA;
    unsigned char filter = 0xAA;
    EXPECT_EQ(device->get_current_sampling_rate(divider, filter), 0) << family;
    EXPECT_EQ(divider, 0) << family;
  }
}

// The board ignores the divider read alone: the first form gives up, the
// second goes on with a divider of 0 and the filter setting it then reads.
TEST(SamplingRate, UnreadableDividerEndsOnlyTheFirstForm) {
  struct Case {
    const char* family;
    int hz;
    std::vector<std::string> lines;
  };
  const Case cases[] = {{"naf38", 0, {"RD681901"}}, {"kor42", 1000, {"RD681901", "RD681A01"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    SimBoard board(c.family);
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->set_sampling_rate(RATE_100HZ), 0);
    board.go_silent();
    board.clear_commands();

    unsigned char divider = 0xAA;
    unsigned char filter = 0xAA;
    auto rate = std::async(std::launch::async, [&] { return device->get_current_sampling_rate(divider, filter); });
    // The divider read goes unanswered; answer what follows it.
    EXPECT_TRUE(veltrix::test::eventually([&] { return !board.lines().empty(); }));
    board.set_faults({});

    EXPECT_EQ(rate.get(), c.hz);
    EXPECT_EQ(board.lines(), c.lines);
    EXPECT_EQ(divider, 0);
    if (c.hz != 0) {
      EXPECT_EQ(filter, 0x02);
    }
  }
}

}  // namespace
}  // namespace veltrix::devices::test
