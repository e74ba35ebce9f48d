#pragma once
// A board connected for a script: the register operations veltrix-cli runs
// (devices/register_operations.h), through the same session, with the same
// sentences, a failure thrown as ScriptError. One board per process: the link
// to the board is the process's one.
//
// Thread contract: one thread at a time (the module releases the GIL around
// each call and Python serialises them on the object).

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "session/session.h"

namespace veltrix::python {

struct BoardInfo {
  std::vector<std::string> modes;  // "i2c", "spi"
  std::vector<int> rates;          // Hz offered
  std::vector<std::string> components;
  int rate = 0;  // Hz, read back
};

struct RegisterValue {
  int address = 0;
  std::string name;
  int value = 0;
};

struct RegisterDiff {
  int address = 0;
  std::string name;
  int board = 0;  // the sensor's (or the first file's)
  int file = 0;
};

class Board {
 public:
  // `bus` "i2c" or "spi"; `port` "" discovers the board as veltrix-cli does.
  Board(const std::string& model, const std::string& port, const std::string& bus);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  void close();
  bool closed() const { return closed_; }
  std::string name() const;

  BoardInfo info();
  std::vector<int> read(int address, int length);
  void write(int address, int value);
  std::vector<RegisterValue> registers();
  void save(const std::string& path);
  void load(const std::string& path);
  std::vector<RegisterDiff> diff(const std::string& path);
  int rate();
  void set_rate(int hz);

  session::Session& session() { return session_; }
  ikor& device();  // throws when closed

 private:
  session::Session session_;
  bool closed_ = false;
};

}  // namespace veltrix::python
