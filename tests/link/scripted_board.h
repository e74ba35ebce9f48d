#pragma once
// A board that answers by script, on a raw pseudo-terminal: for replies the
// simulator never gives (one character short, non-hex pairs, line breaks
// inside text) and for checking the exact bytes the link sends.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace veltrix::link::test {

class ScriptedBoard {
 public:
  // Gets each command without its line end; returns the bytes to answer
  // with (empty: no answer).
  using Script = std::function<std::string(const std::string& command)>;

  explicit ScriptedBoard(Script script);
  ~ScriptedBoard();
  ScriptedBoard(const ScriptedBoard&) = delete;
  ScriptedBoard& operator=(const ScriptedBoard&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& port_path() const { return path_; }
  // Every byte received so far, line ends included.
  std::string received() const;
  // Unasked bytes from the board.
  void send(std::string_view bytes);

 private:
  void serve();

  Script script_;
  int master_ = -1;
  int slave_ = -1;  // keeps the raw settings while the link is closed
  int wake_[2] = {-1, -1};
  std::string path_;
  mutable std::mutex lock_;
  std::string received_;  // guarded by lock_
  std::thread thread_;
};

}  // namespace veltrix::link::test
