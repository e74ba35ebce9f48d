#pragma once
// The veltrix-boardsim program run as a child process, as an operator runs
// it: its port path read from its first stdout line, stopped with SIGTERM.
//
// Thread contract: one thread owns a BoardsimProcess.

#include <sys/types.h>

#include <string>
#include <vector>

namespace veltrix::bench {

class BoardsimProcess {
 public:
  // `program` is the path of veltrix-boardsim, `arguments` its options.
  BoardsimProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~BoardsimProcess();
  BoardsimProcess(const BoardsimProcess&) = delete;
  BoardsimProcess& operator=(const BoardsimProcess&) = delete;

  // Empty when the program did not start or announce its port.
  const std::string& port() const { return port_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  std::string port_;
};

}  // namespace veltrix::bench
