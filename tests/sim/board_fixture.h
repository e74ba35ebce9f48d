#pragma once
// A fresh simulated board per test with a raw client on its port.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/board_sim.h"
#include "sim/sample_formula.h"
#include "tests/sim/pty_client.h"

namespace veltrix::sim::test {

// Waits until the sensor has produced a sample newer than `after`.
inline bool wait_for_sample_after(const BoardSim& sim, std::uint32_t after) {
  const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
  while (sim.sample_index() <= after) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// The sample index n in [low, high] whose formula values match all of `values`
// for `channels`; 0 when none does.
inline std::uint32_t matching_sample(std::uint32_t low, std::uint32_t high, const std::vector<Channel>& channels,
                                     const std::vector<std::int16_t>& values) {
  for (std::uint32_t n = low; n <= high; ++n) {
    bool all = true;
    for (std::size_t i = 0; i < channels.size(); ++i)
      all = all && sample_value(channels[i], n) == values[i];
    if (all) return n;
  }
  return 0;
}

inline BoardOptions sensor_options(const std::string& model_class) {
  BoardOptions options;
  options.sensor.model_class = model_class;
  return options;
}

class BoardTest : public ::testing::Test {
 protected:
  void start(const BoardOptions& options = {}) {
    sim_ = std::make_unique<BoardSim>(options);
    ASSERT_EQ(sim_->start(), 0);
    client_ = std::make_unique<PtyClient>(sim_->port_path());
    ASSERT_TRUE(client_->is_open());
  }

  std::vector<std::uint8_t> read_registers(std::uint8_t bus, std::uint8_t reg, int count) {
    return reply_bytes(client_->exchange(rd(bus, reg, count)));
  }
  std::uint8_t read_register(std::uint8_t reg) {
    const auto bytes = read_registers(0x68, reg, 1);
    EXPECT_EQ(bytes.size(), 1u);
    return bytes.empty() ? 0 : bytes[0];
  }
  void write_registers(std::uint8_t bus, const std::vector<std::uint8_t>& bytes) {
    char ack[16];
    std::snprintf(ack, sizeof ack, "WR%02XOK\r\n", bus);
    EXPECT_EQ(client_->exchange(wr(bus, bytes)), ack);
  }
  void write_register(std::uint8_t reg, std::uint8_t value) { write_registers(0x68, {reg, value}); }

  std::unique_ptr<BoardSim> sim_;
  std::unique_ptr<PtyClient> client_;
};

}  // namespace veltrix::sim::test
