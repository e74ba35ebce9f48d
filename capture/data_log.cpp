#include "capture/data_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veltrix::capture {

DataLog::~DataLog() { (void)close(); }

int DataLog::open(const std::string& path) {
  (void)close();
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    return errno;
  }
  if (!buffer_) {
    buffer_ = std::make_unique<char[]>(kBufferBytes);
  }
  buffered_ = 0;
  written_ = 0;
  lines_ = 0;
  // A device or a pipe gets no file beside it.
  struct stat info {};
  if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) {
    (void)overview_.open(log_overview_path(path));
  }
  return 0;
}

int DataLog::write(std::string_view text) {
  if (fd_ < 0) {
    return EBADF;
  }
  if (text.size() > kBufferBytes - buffered_) {
    if (const int error = write_out(buffer_.get(), buffered_); error != 0) {
      return error;
    }
    buffered_ = 0;
  }
  if (text.size() > kBufferBytes) {
    if (const int error = write_out(text.data(), text.size()); error != 0) {
      return error;
    }
  } else {
    std::memcpy(buffer_.get() + buffered_, text.data(), text.size());
    buffered_ += text.size();
  }
  overview_.add(text);
  return 0;
}

int DataLog::close() {
  if (fd_ < 0) {
    return 0;
  }
  if (const int error = write_out(buffer_.get(), buffered_); error != 0) {
    return error;
  }
  buffered_ = 0;
  const int result = ::close(fd_) == 0 ? 0 : errno;
  fd_ = -1;
  if (result == 0) {
    (void)overview_.finish();
  } else {
    overview_.abandon();
  }
  return result;
}

int DataLog::write_out(const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      continue;
    }
    const int error = n < 0 ? errno : EIO;
    const void* line_end = memrchr(data, '\n', done);
    const long long whole = line_end == nullptr ? 0 : static_cast<const char*>(line_end) - data + 1;
    lines_ += std::count(data, data + whole, '\n');
    // Nothing more can be done for a file that cannot even be cut back.
    (void)ftruncate(fd_, static_cast<off_t>(written_ + whole));
    (void)::close(fd_);
    fd_ = -1;
    buffered_ = 0;
    overview_.abandon();
    return error;
  }
  written_ += static_cast<long long>(size);
  lines_ += std::count(data, data + size, '\n');
  return 0;
}

}  // namespace veltrix::capture
