#include "tests/link/scripted_board.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace veltrix::link::test {

ScriptedBoard::ScriptedBoard(Script script) : script_(std::move(script)) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0 ||
      pipe2(wake_, O_CLOEXEC) != 0) {
    return;
  }
  path_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios raw{};
  if (slave_ < 0 || tcgetattr(slave_, &raw) != 0) {
    return;
  }
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
  thread_ = std::thread([this] { serve(); });
}

ScriptedBoard::~ScriptedBoard() {
  if (thread_.joinable()) {
    const char stop = 1;
    [[maybe_unused]] const ssize_t n = write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (const int fd : {master_, slave_, wake_[0], wake_[1]}) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

std::string ScriptedBoard::received() const {
  std::lock_guard lock(lock_);
  return received_;
}

void ScriptedBoard::send(std::string_view bytes) {
  [[maybe_unused]] const ssize_t n = write(master_, bytes.data(), bytes.size());
}

void ScriptedBoard::serve() {
  std::string command;
  for (;;) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      continue;
    }
    if (fds[1].revents != 0) {
      return;
    }
    char chunk[2048];
    const ssize_t n = read(master_, chunk, sizeof chunk);
    if (n <= 0) {
      continue;
    }
    {
      std::lock_guard lock(lock_);
      received_.append(chunk, static_cast<std::size_t>(n));
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (chunk[i] != '\n' && chunk[i] != '\r') {
        command.push_back(chunk[i]);
        continue;
      }
      if (command.empty()) {
        continue;
      }
      const std::string answer = script_(command);
      command.clear();
      if (!answer.empty()) {
        send(answer);
      }
    }
  }
}

}  // namespace veltrix::link::test
