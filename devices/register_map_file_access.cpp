#include "devices/register_map_file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "devices/register_map_file.h"

namespace veltrix::devices {
namespace {

constexpr const char* kNotRegular = "not a regular file";

std::FILE* refuse(std::string& problem, const char* reason) {
  problem = reason;
  return nullptr;
}

std::FILE* refuse_descriptor(int fd, std::string& problem, const char* reason) {
  close(fd);
  return refuse(problem, reason);
}

// A FIFO without a reader refuses a non-blocking open for writing (ENXIO)
// before it can be looked at; its reason is then what it is.
const char* open_failure_reason(const char* path, int error) {
  struct stat info {};
  if (error == ENXIO && stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
    return kNotRegular;
  }
  return std::strerror(error);
}

}  // namespace

std::FILE* open_register_map_file(const char* path, MapFileAccess access, std::string& problem, bool* created) {
  problem.clear();
  if (created != nullptr) {
    *created = false;
  }
  if (path == nullptr) {
    return refuse(problem, std::strerror(EINVAL));
  }
  const bool writing = access == MapFileAccess::kWrite;
  // Non-blocking, so that a FIFO or a terminal cannot hold the open.
  const int flags = (writing ? O_WRONLY | O_CREAT : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  // Exclusive first, so that a save knows whether the file is its own.
  int fd = writing ? open(path, flags | O_EXCL, 0666) : -1;
  if (fd >= 0 && created != nullptr) {
    *created = true;
  }
  if (fd < 0 && (!writing || errno == EEXIST)) {
    fd = open(path, flags, 0666);
  }
  if (fd < 0) {
    return refuse(problem, open_failure_reason(path, errno));
  }

  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return refuse_descriptor(fd, problem, std::strerror(errno));
  }
  if (!S_ISREG(info.st_mode)) {
    return refuse_descriptor(fd, problem, kNotRegular);
  }
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    return refuse_descriptor(fd, problem, std::strerror(errno));
  }

  std::FILE* stream = fdopen(fd, writing ? "wb" : "rb");
  if (stream == nullptr) {
    return refuse_descriptor(fd, problem, std::strerror(errno));
  }
  return stream;
}

bool empty_register_map_file(std::FILE* stream, std::string& problem) {
  if (ftruncate(fileno(stream), 0) == 0) {
    return true;
  }
  problem = register_map_file_problem(errno);
  return false;
}

bool read_register_map_content(std::FILE* stream, std::string& content, std::string& problem) {
  content.resize(kMaxRegisterMapFileBytes + 1);
  const std::size_t n = std::fread(content.data(), 1, content.size(), stream);
  content.resize(n);
  if (std::ferror(stream) == 0) {
    return true;
  }
  problem = register_map_file_problem(errno);
  return false;
}

std::string register_map_file_problem(int error) { return std::strerror(error); }

}  // namespace veltrix::devices
