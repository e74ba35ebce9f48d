// veltrix-boardsim: serves a simulated evaluation board on a pseudo-terminal
// until SIGINT or SIGTERM. The first stdout line is the port path.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/board_sim.h"
#include "sim/sensor_layout.h"

namespace {

using veltrix::sim::BoardOptions;

// "none" or 0x0C..0x0F in decimal, hex (0x..) or octal; -1 for none.
std::string parse_compass_address(const std::string& text, int& address) {
  if (text == "none") {
    address = -1;
    return {};
  }
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end != '\0' || value < 0x0C || value > 0x0F) {
    return "--compass-address: expected 0x0C to 0x0F or none, got \"" + text + "\"";
  }
  address = static_cast<int>(value);
  return {};
}

// A register address 00 to FF in hexadecimal, with or without 0x.
std::string parse_register(const char* option, const std::string& text, int& address) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 16);
  if (text.empty() || *end != '\0' || value < 0 || value > 0xFF) {
    return std::string(option) + ": expected a register address 00 to FF in hexadecimal, got \"" + text + "\"";
  }
  address = static_cast<int>(value);
  return {};
}

std::string parse_registers(const char* option, const std::vector<std::string>& texts,
                            std::vector<std::uint8_t>& addresses) {
  for (const std::string& text : texts) {
    int address = 0;
    if (std::string error = parse_register(option, text, address); !error.empty()) {
      return error;
    }
    addresses.push_back(static_cast<std::uint8_t>(address));
  }
  return {};
}

std::string known_classes() {
  std::string names;
  for (const auto& layout : veltrix::sim::all_layouts()) {
    if (!names.empty()) {
      names += ", ";
    }
    names += layout.model_class;
  }
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  BoardOptions options;
  auto& faults = options.faults;
  std::string compass = "0x0C";
  std::string fail_reads;
  int delay_ms = 0;
  int delay_us = 0;
  bool self_test_fails = false;
  std::vector<std::string> ignored_writes;
  std::vector<std::string> long_reads;

  CLI::App app{"Simulated Veltrix evaluation board on a pseudo-terminal; prints the port path first."};
  app.footer(
      "The sensor samples at the rate its CONFIG and SMPLRT_DIV set (8 kHz after reset); sample n holds\n"
      "int16(1000 * c + 37 * (c + 1) * n) on channel c (gyro X, Y, Z 0-2, accel 3-5, temp 6, compass 7-9).\n"
      "A block read returns one sample throughout. FIFO: USER_CTRL bit 6 on, FIFO_EN bit 7 temp, 6/5/4 gyro\n"
      "X/Y/Z, 3 accel, 0 slave 0 data; frames in register order, byte count in FIFO_COUNTH:L, 1024 bytes,\n"
      "newest kept with INT_STATUS bit 4 on overflow, USER_CTRL reset bit empties it. After IE2, with\n"
      "INT_ENABLE bit 0 set, the board sends \"I0\" once per sample until SD. Writes leave WHO_AM_I, the data\n"
      "registers, INT_STATUS and the FIFO count as they are.");
  app.add_option("--sensor", options.sensor.model_class, "sensor class behind the board: " + known_classes())
      ->check([](const std::string& name) {
        return veltrix::sim::find_layout(name) ? std::string() : "unknown sensor class \"" + name + "\"";
      })
      ->capture_default_str();
  app.add_option("--link", options.link_path, "also make a symlink to the port here (removed at exit)");
  app.add_option("--compass-address", compass, "bus address of the compass (kor71/kor73): 0x0C..0x0F or none")
      ->capture_default_str();
  app.add_flag("--self-test-fail", self_test_fails, "the gyroscope self test (kor42) fails");
  app.add_flag("--at-rest", options.sensor.at_rest, "every sample holds the values of sample 1");
  app.add_option("--white-noise", options.sensor.noise.white_noise,
                 "add Gaussian noise of SIGMA counts (standard deviation) to every sample")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--bias-walk", options.sensor.noise.bias_walk,
                 "let each channel's bias walk by a Gaussian step of K counts per sample")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--seed", options.sensor.noise.seed, "seed of the noise (same seed, same values)")
      ->capture_default_str();
  app.add_option("--ignore-writes", ignored_writes,
                 "register ADDR (hexadecimal) keeps its value whatever is written; repeat or list with commas")
      ->delimiter(',');
  app.add_option("--clock-ppm", options.sensor.clock_ppm,
                 "the sensor's clock runs P millionths fast (negative: slow; -20000 is 2 % slow)")
      ->check(CLI::Range(-500'000, 500'000));
  app.add_flag("--silent", faults.silent, "never answer");
  app.add_flag("--never-ready", faults.never_ready, "answer, but never flag a new sample");
  app.add_flag("--no-notices", faults.no_notices, "never send interrupt notifications");
  app.add_option("--silent-after", faults.silent_after, "answer N commands, then fall silent")
      ->check(CLI::NonNegativeNumber);
  auto* delay = app.add_option("--delay", delay_ms, "delay each reply by MS milliseconds")->check(CLI::Range(0, 60000));
  app.add_option("--reply-delay-us", delay_us,
                 "delay each reply by US microseconds (1000: the timing of a USB full-speed board)")
      ->check(CLI::Range(0, 60'000'000))
      ->excludes(delay);
  app.add_option("--fail-reads", fail_reads, "answer ERR to every read of the sensor that reaches register ADDR");
  app.add_option("--long-reads", long_reads,
                 "answer each read of the sensor that reaches register ADDR (hexadecimal) with one byte too many; "
                 "repeat or list with commas")
      ->delimiter(',');
  app.add_flag("--short", faults.short_reply, "every reply one character short");
  app.add_flag("--noise", faults.noise, "interrupt notices, packets and stray bytes between replies");
  app.add_option("--split", faults.split_writes, "write replies in pieces of N bytes")->check(CLI::PositiveNumber);
  app.add_option("--hangup-after", faults.hangup_after, "close the port after N commands")
      ->check(CLI::NonNegativeNumber);
  int reopen_ms = -1;
  app.add_option("--reopen-after", reopen_ms,
                 "after a hang-up, open a new port MS milliseconds later and point --link at it, the sensor as it was")
      ->check(CLI::Range(0, 600000));
  app.add_option("--serial", options.serial, "the board's USB serial number, shown in the --sysfs tree");
  app.add_option("--sysfs", options.sysfs_root,
                 "keep an entry for the port in a fake sysfs tree here (for VELTRIX_SYSFS), with --serial");
  CLI11_PARSE(app, argc, argv);
  faults.reopen_after = std::chrono::milliseconds(reopen_ms);

  if (const std::string error = parse_compass_address(compass, options.sensor.compass_address); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (const std::string error = parse_registers("--ignore-writes", ignored_writes, options.sensor.ignored_writes);
      !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (const std::string error = parse_registers("--long-reads", long_reads, faults.long_reads); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (!fail_reads.empty()) {
    if (const std::string error = parse_register("--fail-reads", fail_reads, faults.fail_reads); !error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    }
  }
  options.sensor.self_test_passes = !self_test_fails;
  faults.reply_delay = std::chrono::milliseconds(delay_ms) + std::chrono::microseconds(delay_us);

  // Block the stop signals before any thread starts so only sigwait sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  // Nobody asks the program for its command log; and it serves as hardware
  // would, not waiting for a core behind the program it serves.
  options.record_commands = false;
  options.raise_priority = true;
  veltrix::sim::BoardSim board(options);
  if (const int error = board.start(); error != 0) {
    std::fprintf(stderr, "veltrix-boardsim: cannot start the simulated board: %s\n", std::strerror(error));
    return 1;
  }
  std::printf("%s\n", board.port_path().c_str());
  std::fflush(stdout);

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  board.stop();
  return 0;
}
