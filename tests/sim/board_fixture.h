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
#include "tests/support/sample_match.h"
#include "tests/support/sim_board.h"

namespace veltrix::sim::test {

class BoardTest : public ::testing::Test {
 protected:
  void start(const BoardOptions& options = {}) {
    sim_ = std::make_unique<SimBoard>(options);
    ASSERT_TRUE(sim_->started());
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

  std::unique_ptr<SimBoard> sim_;
  std::unique_ptr<PtyClient> client_;
};

}  // namespace veltrix::sim::test
