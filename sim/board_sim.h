#pragma once
// In-process simulated evaluation board with one simulated sensor behind it,
// served on a pseudo-terminal. Used by tests, benchmarks, veltrix-boardsim
// and the run script; never by the product libraries.
//
// Commands and replies: sim/board_commands.h. The sensor: sim/sensor_model.h.
// Interrupt notifications: from "IE2" until "SD", while the sensor's
// data-ready interrupt is enabled (bit 0 of INT_ENABLE, of INT_CFG on kor23
// and kor21), the board sends "I0\n" once per sample, as the sample happens.
// Notifications go out between replies, never inside one (a delayed reply
// does not hold them back); while the host does not read, at most
// kMaxOwedNotices wait and later ones are lost.
//
// Thread contract: start() spawns one serving thread; every public member is
// safe to call from any thread while it runs (internal lock).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/noise_model.h"

namespace veltrix::sim {

struct Faults {
  bool silent = false;                       // never answer
  bool never_ready = false;                  // answer, but INT_STATUS never flags a sample
  bool no_notices = false;                   // never send interrupt notifications, even after "IE2"
  int silent_after = -1;                     // answer this many commands, then fall silent (-1: never)
  std::chrono::microseconds reply_delay{0};  // delay before each reply (1 ms: a USB full-speed board)
  bool short_reply = false;                  // every reply one character short (before its line end)
  bool noise = false;                        // interrupt notices, '#'/'$' packets, NUL and 0xFF between replies
  std::size_t split_writes = 0;              // write replies in pieces of this many bytes (0: whole)
  int fail_reads = -1;                       // a read of the sensor that reaches this register gets "ERR" (-1: none)
  std::vector<std::uint8_t> long_reads{};    // a read of the sensor that reaches one of these registers gets
                                             // one byte too many: "RD6812" "95" "00" for register 12
  int hangup_after = -1;                     // close the pseudo-terminal after this many commands (-1: never):
                                             // they are answered, the next one closes it; 0 closes at once
  // After a hang-up, open a new pseudo-terminal this long later (negative:
  // never), point the link path at it and serve on with the sensor as it
  // was, as a board plugged in again. The hang-up fault is then spent.
  std::chrono::milliseconds reopen_after{-1};
};

struct SensorOptions {
  std::string model_class = "kor73";  // one of the nine classes
  int compass_address = 0x0C;         // 0x0C..0x0F; -1: no compass
  bool self_test_passes = true;
  bool at_rest = false;  // every sample holds the values of sample 1 (a still sensor, for self tests)
  NoiseOptions noise{};  // none by default: the formula's values exactly
  std::vector<std::uint8_t> ignored_writes{};  // sensor registers that keep their value whatever is written
  int clock_ppm = 0;                           // the sensor's clock runs this many millionths fast (below 0: slow)
};

struct BoardOptions {
  SensorOptions sensor;
  Faults faults;
  std::string link_path;  // when set, a symlink to the port path
  // Keep the command lines for commands(); a program nobody asks spares the
  // memory (64 K records are about 3 MB).
  bool record_commands = true;
  // Serve at real-time priority where permitted (else a better nice value),
  // as hardware that never waits for a core: for runs that measure the host
  // program on a loaded machine.
  bool raise_priority = false;
  // When both are set, the board keeps an entry for its port in a fake sysfs
  // tree at `sysfs_root` carrying `serial` as its USB serial number
  // (sim/fake_sysfs.h), gone while it is unplugged.
  std::string serial;
  std::string sysfs_root;
};

struct CommandRecord {
  std::chrono::steady_clock::time_point when;
  std::string line;  // as received, without its line end
};

class BoardSim {
 public:
  explicit BoardSim(BoardOptions options = {});
  ~BoardSim();  // stops
  BoardSim(const BoardSim&) = delete;
  BoardSim& operator=(const BoardSim&) = delete;

  // Opens the pseudo-terminal (raw) and starts serving. 0 or an errno value.
  int start();
  void stop();

  // The port opened by start().
  const std::string& port_path() const;
  // The port it serves now: a new one after each reopen.
  std::string current_port_path() const;

  // The newest kMaxRecordedCommands command lines (older ones are dropped, so
  // a board serving a long 8 kHz capture stays small).
  static constexpr std::size_t kMaxRecordedCommands = 1 << 16;
  static constexpr std::size_t kMaxOwedNotices = 1024;
  std::vector<CommandRecord> commands() const;
  void clear_commands();

  std::uint8_t register_value(std::uint8_t bus, std::uint8_t reg) const;
  void set_register(std::uint8_t bus, std::uint8_t reg, std::uint8_t value);

  void set_faults(const Faults& faults);

  // Index of the newest sample the sensor has produced (0 before the first).
  std::uint32_t sample_index() const;
  // The sensor's current sample rate in Hz from its CONFIG and divider.
  double sample_rate_hz() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrix::sim
