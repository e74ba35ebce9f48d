#pragma once
// One capture's data log file: created (replacing an old one), written one
// text of whole lines per sample through a buffer of its own, closed at the
// end. Line ends are written by the caller as "\r\n".
//
// A write that fails (a full disk, a file-size limit) cuts the file back to
// its last whole line and closes it: the log never ends mid-line, and what it
// holds was written whole.
//
// Beside a log that is a regular file its overview is written as the lines
// pass (log_overview.h), finished when the log closes whole and removed
// when it does not. The overview is a convenience: failing to write it
// changes nothing for the log.
//
// Thread contract: used by the capture thread only.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "capture/log_overview.h"

namespace veltrix::capture {

class DataLog {
 public:
  DataLog() = default;
  ~DataLog();
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // 0, or the errno of the failed open.
  int open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  // 0, or the errno of the failed write; the log is then closed.
  int write(std::string_view text);
  // Whole lines in the file (not those still buffered).
  long long lines() const { return lines_; }
  // Writes what is buffered and closes. 0, or the errno of the failed write
  // or close. Closing a closed log is 0.
  int close();

 private:
  static constexpr std::size_t kBufferBytes = 4096;

  // Writes `size` bytes at the end of the file; on failure cuts the file
  // back to its last whole line, closes it and returns the errno.
  int write_out(const char* data, std::size_t size);

  int fd_ = -1;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t buffered_ = 0;
  long long written_ = 0;  // bytes in the file, all of them whole lines
  long long lines_ = 0;
  LogOverviewWriter overview_;
};

}  // namespace veltrix::capture
