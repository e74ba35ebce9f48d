#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kWriteBase{1000};
constexpr milliseconds kWritePerByte{10};

struct BaudRate {
  unsigned long rate;
  speed_t speed;
};

constexpr BaudRate kBaudRates[] = {
    {1200, B1200},   {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

int serial_open_exclusive(const char* path) {
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return -1;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  // flock is advisory: TIOCEXCL also keeps out programs that never take it.
  // Root passes TIOCEXCL, and files that are not terminals refuse it; flock
  // still holds in both cases.
  ioctl(fd, TIOCEXCL);
  return fd;
}

void serial_close(int fd) {
  ioctl(fd, TIOCNXCL);
  close(fd);
}

bool serial_line_settings(termios& settings, unsigned long baud) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate != baud) {
      continue;
    }
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    return cfsetispeed(&settings, entry.speed) == 0 && cfsetospeed(&settings, entry.speed) == 0;
  }
  return false;
}

void serial_read_timeouts(termios& settings) {
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
}

void serial_assert_modem_lines(int fd) {
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  ioctl(fd, TIOCMBIS, &dtr);
  ioctl(fd, TIOCMBIS, &rts);
}

bool serial_error_means_gone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF;
}

SerialWrite serial_write_all(int fd, const void* data, std::size_t size, std::size_t* written) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  const Clock::time_point deadline = Clock::now() + kWriteBase + kWritePerByte * static_cast<long>(size);
  std::size_t done = 0;
  SerialWrite result = SerialWrite::kDone;
  while (done < size) {
    const ssize_t n = write(fd, bytes + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno != EAGAIN) {
      result = serial_error_means_gone(errno) ? SerialWrite::kGone : SerialWrite::kFailed;
      break;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      result = SerialWrite::kFailed;
      break;
    }
    pollfd pfd{fd, POLLOUT, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      result = SerialWrite::kFailed;
      break;
    }
    if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      result = SerialWrite::kGone;
      break;
    }
  }
  if (written != nullptr) {
    *written = done;
  }
  return result;
}
