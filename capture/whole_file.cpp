#include "capture/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace veltrix::capture {

namespace {

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace

int replace_file_whole(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return errno;
  }
  // No fsync: the rename alone keeps readers from a part, and a sync on the
  // capture thread would stall the samples around it.
  int error = write_all(fd, text);
  if (::close(fd) != 0 && error == 0) {
    error = errno;
  }
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    (void)::unlink(temporary.c_str());
  }
  return error;
}

}  // namespace veltrix::capture
