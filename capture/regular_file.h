#pragma once
// Files a reader takes in: only regular files. A FIFO with no writer would
// block the open or the read for ever, a device such as /dev/zero never
// ends, and neither tells its size; so anything else is refused at once,
// the open never waits, and a small file is read only up to a bound that no
// file of its kind reaches.
//
// Thread contract: plain values and functions of the file system; any thread.

#include <cstdint>
#include <string>

namespace veltrix::capture {

// The reason given for a file that is not a regular one.
inline constexpr const char* kNotARegularFile = "not a regular file";

class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens `path` to read. "" when open, else why not: the system's error
  // text, or kNotARegularFile. `error` then holds the errno (ENOENT for a
  // missing file; 0 for one that is not regular).
  std::string open(const std::string& path);
  int fd() const { return fd_; }
  int error() const { return error_; }
  // The size at the open, and the bytes the file holds on disk: a sparse
  // file's holes read as NUL bytes but hold nothing.
  std::uint64_t size() const { return size_; }
  std::uint64_t held_bytes() const { return held_; }

 private:
  int fd_ = -1;
  int error_ = 0;
  std::uint64_t size_ = 0;
  std::uint64_t held_ = 0;
};

enum class SmallFileStatus {
  kRead,
  kMissing,     // no such file
  kUnreadable,  // it could not be opened or read
  kNotRegular,
  kTooLarge,  // more than the bound
};

struct SmallFile {
  SmallFileStatus status = SmallFileStatus::kRead;
  std::string text;  // kRead: the whole file
  std::string why;   // otherwise: the system's error text, or what the file is
  int error = 0;     // kMissing, kUnreadable: the errno
};

// Reads all of the regular file `path` when it holds at most `most_bytes`;
// never reads more than one byte beyond.
SmallFile read_small_file(const std::string& path, std::size_t most_bytes);

}  // namespace veltrix::capture
