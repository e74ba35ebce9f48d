#include "tests/sim/pty_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace veltrix::sim::test {

PtyClient::PtyClient(const std::string& path) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    return;
  }
  termios settings{};
  if (tcgetattr(fd_, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(fd_, TCSANOW, &settings);
  }
}

PtyClient::~PtyClient() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

void PtyClient::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR || errno == EAGAIN) {
        continue;
      }
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool PtyClient::fill(std::chrono::steady_clock::time_point deadline) {
  if (closed_by_peer_) {
    return false;
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left.count() < 0) {
    return false;
  }
  pollfd pfd{fd_, POLLIN, 0};
  if (poll(&pfd, 1, static_cast<int>(left.count()) + 1) <= 0) {
    return false;
  }
  std::array<char, 4096> chunk{};
  const ssize_t got = read(fd_, chunk.data(), chunk.size());
  if (got > 0) {
    buffered_.append(chunk.data(), static_cast<std::size_t>(got));
    return true;
  }
  if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
    closed_by_peer_ = true;
    return false;
  }
  return true;
}

std::string PtyClient::read_line(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (const auto end = buffered_.find('\n'); end != std::string::npos) {
      std::string line = buffered_.substr(0, end + 1);
      buffered_.erase(0, end + 1);
      return line;
    }
    if (!fill(deadline)) {
      return {};
    }
  }
}

std::string PtyClient::read_for(std::chrono::milliseconds window) {
  const auto deadline = std::chrono::steady_clock::now() + window;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!fill(deadline) && closed_by_peer_) {
      break;
    }
  }
  return std::exchange(buffered_, {});
}

std::string PtyClient::exchange(std::string_view command, std::chrono::milliseconds timeout) {
  send(command);
  return read_line(timeout);
}

bool PtyClient::sees_hangup(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!closed_by_peer_ && std::chrono::steady_clock::now() < deadline) {
    fill(deadline);
  }
  return closed_by_peer_;
}

std::string rd(std::uint8_t bus, std::uint8_t reg, int count) {
  std::array<char, 16> text{};
  std::snprintf(text.data(), text.size(), "RD%02X%02X%02X\n\r", bus, reg, count);
  return text.data();
}

std::string wr(std::uint8_t bus, const std::vector<std::uint8_t>& bytes) {
  std::array<char, 4> hex{};
  std::snprintf(hex.data(), hex.size(), "%02X", bus);
  std::string line = std::string("WR") + hex.data();
  for (const auto byte : bytes) {
    std::snprintf(hex.data(), hex.size(), "%02X", byte);
    line += hex.data();
  }
  return line + "\n\r";
}

std::vector<std::uint8_t> reply_bytes(const std::string& reply) {
  if (reply.size() < 8 || reply.size() % 2 != 0 || !reply.ends_with("\r\n")) {
    return {};
  }
  std::vector<std::uint8_t> bytes;
  for (std::size_t at = 6; at + 2 < reply.size(); at += 2) {
    unsigned value = 0;
    if (std::sscanf(reply.substr(at, 2).c_str(), "%2X", &value) != 1) {
      return {};
    }
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return bytes;
}

std::int16_t big_endian(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes.at(at) << 8 | bytes.at(at + 1)));
}

}  // namespace veltrix::sim::test
