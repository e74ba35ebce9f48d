#include "capture/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace veltrix::capture {

namespace {

// stat's st_blocks counts 512-byte units whatever the file system's block.
constexpr std::uint64_t kStatBlockBytes = 512;

}  // namespace

RegularFile::~RegularFile() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::string RegularFile::open(const std::string& path) {
  // Non-blocking, so that a FIFO opens at once instead of waiting for a
  // writer; a regular file reads as it always does.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status {};
  if (fd_ < 0 || ::fstat(fd_, &status) != 0) {
    error_ = errno;
    return std::strerror(error_);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return kNotARegularFile;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  held_ = std::min(size_, static_cast<std::uint64_t>(status.st_blocks) * kStatBlockBytes);
  return {};
}

SmallFile read_small_file(const std::string& path, std::size_t most_bytes) {
  SmallFile file;
  RegularFile opened;
  if (std::string why = opened.open(path); !why.empty()) {
    file.status = opened.error() == ENOENT ? SmallFileStatus::kMissing
                  : opened.error() == 0    ? SmallFileStatus::kNotRegular
                                           : SmallFileStatus::kUnreadable;
    file.why = std::move(why);
    file.error = opened.error();
    return file;
  }
  if (opened.size() > most_bytes) {
    file.status = SmallFileStatus::kTooLarge;
    return file;
  }
  // Room for the size found, and for one byte more: a file that grew since
  // the open is read on, up to one byte beyond the bound.
  file.text.resize(static_cast<std::size_t>(opened.size()) + 1);
  std::size_t held = 0;
  while (held <= most_bytes) {
    if (held == file.text.size()) {
      file.text.resize(std::min(2 * held, most_bytes + 1));
    }
    const ssize_t n = ::read(opened.fd(), file.text.data() + held, file.text.size() - held);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      file.status = SmallFileStatus::kUnreadable;
      file.error = errno;
      file.why = std::strerror(file.error);
      file.text.clear();
      return file;
    }
    if (n == 0) {
      break;
    }
    held += static_cast<std::size_t>(n);
  }
  if (held > most_bytes) {
    file.status = SmallFileStatus::kTooLarge;
    file.text.clear();
    return file;
  }
  file.text.resize(held);
  return file;
}

}  // namespace veltrix::capture
