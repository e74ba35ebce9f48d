#include "bench/soak/boardsim_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

namespace veltrix::bench {

BoardsimProcess::BoardsimProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) != 0) {
    return;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  // The first line only; the program writes nothing more to stdout.
  char c;
  while (pid_ > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
    port_.push_back(c);
  }
  close(out[0]);
}

BoardsimProcess::~BoardsimProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

}  // namespace veltrix::bench
