#include "ui/plot/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/regular_file.h"

namespace veltrix::ui::plot {

LogFile::~LogFile() { close(); }

std::string LogFile::open(const std::string& path) {
  close();
  // Non-blocking, so that a FIFO is refused at once rather than waited on
  // for a writer; a regular file reads as ever.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) {
    return std::strerror(errno);
  }
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    const int error = errno;
    close();
    return std::strerror(error);
  }
  if (!S_ISREG(info.st_mode)) {
    close();
    return veltrix::capture::kNotARegularFile;
  }
  // The indexer reads front to back; the kernel may read ahead further.
  (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {};
}

void LogFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

std::int64_t LogFile::size() const {
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    return -errno;
  }
  return info.st_size;
}

std::int64_t LogFile::read_at(std::int64_t offset, std::span<char> buffer) const {
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::pread(fd_, buffer.data() + done, buffer.size() - done, offset + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return -errno;
    }
    if (got == 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace veltrix::ui::plot
