#include "ui/plot/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace veltrix::ui::plot {

LogFile::~LogFile() { close(); }

int LogFile::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    return errno;
  }
  struct stat info {};
  int error = ::fstat(fd_, &info) != 0 ? errno : 0;
  if (error == 0 && !S_ISREG(info.st_mode)) {
    error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  }
  if (error != 0) {
    close();
    return error;
  }
  // The indexer reads front to back; the kernel may read ahead further.
  (void)::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return 0;
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
