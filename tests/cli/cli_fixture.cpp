#include "tests/cli/cli_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace veltrix::cli::test {

namespace {

std::vector<std::string> merged_environment(const std::vector<std::string>& overrides) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const std::string& override : overrides) {
      replaced = replaced || override.substr(0, override.find('=')) == name;
    }
    if (!replaced) {
      merged.push_back(text);
    }
  }
  merged.insert(merged.end(), overrides.begin(), overrides.end());
  return merged;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) {
    result.push_back(text.data());
  }
  result.push_back(nullptr);
  return result;
}

struct Child {
  pid_t pid = -1;
  int out = -1;
  int err = -1;
};

Child spawn_child(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment) {
  Child child;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return child;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), args.begin(), args.end());
  std::vector<std::string> env_texts = merged_environment(environment);
  auto argv = pointers(argv_texts);
  auto envp = pointers(env_texts);
  const int spawned = posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "posix_spawn " << program << ": " << std::strerror(spawned);
    close(out_pipe[0]);
    close(err_pipe[0]);
    child.pid = -1;
    return child;
  }
  child.out = out_pipe[0];
  child.err = err_pipe[0];
  return child;
}

int wait_for_exit(pid_t pid, bool killed) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && !killed ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProgramRun run_program(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& environment, std::chrono::seconds timeout,
                       const std::function<void(int pid)>& started) {
  ProgramRun run;
  const Child child = spawn_child(program, args, environment);
  if (child.pid < 0) {
    return run;
  }
  if (started) {
    started(child.pid);
  }

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_pipes = 2;
  bool killed = false;
  while (open_pipes > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 && !killed) {
      ADD_FAILURE() << program << " did not end within " << timeout.count() << " s";
      kill(child.pid, SIGKILL);
      killed = true;
    }
    if (poll(fds, 2, killed ? 1000 : static_cast<int>(left.count())) < 0 && errno != EINTR) {
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  run.exit_status = wait_for_exit(child.pid, killed);
  return run;
}

BackgroundProgram::BackgroundProgram(const std::string& program, const std::vector<std::string>& args) {
  const Child child = spawn_child(program, args, {});
  pid_ = child.pid;
  out_ = child.out;
  if (child.err >= 0) {
    close(child.err);
  }
}

BackgroundProgram::~BackgroundProgram() { (void)stop(); }

std::string BackgroundProgram::first_line(std::chrono::seconds timeout) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out_ >= 0 && line.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd fd{out_, POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
      return "";
    }
    char c = 0;
    if (read(out_, &c, 1) != 1) {
      return "";
    }
    line += c;
  }
  return line.substr(0, line.find('\n'));
}

int BackgroundProgram::stop() {
  if (pid_ < 0) {
    return -1;
  }
  kill(pid_, SIGTERM);
  const int status = wait_for_exit(pid_, false);
  pid_ = -1;
  if (out_ >= 0) {
    close(out_);
  }
  out_ = -1;
  return status;
}

void CliTest::SetUp() { ASSERT_TRUE(folder_.made()); }

void CliTest::serve(const std::string& model_class, veltrix::sim::SensorOptions sensor) {
  board_ = std::make_unique<SimBoard>(board_options(model_class, std::move(sensor)));
  ASSERT_TRUE(board_->started());
}

ProgramRun CliTest::cli(const std::string& model, std::vector<std::string> args,
                        const std::function<void(int pid)>& started) {
  args.insert(args.begin(), {"--port", board_->port_path(), "--model", model});
  return run_program(VELTRIX_CLI, args, {}, std::chrono::seconds(120), started);
}

}  // namespace veltrix::cli::test
