#pragma once
// One capture's data log file: created (replacing an old one), written one
// text per sample through the stream's buffer, closed at the end. Line ends
// are written by the caller as "\r\n".
//
// Thread contract: used by the capture thread only.

#include <cstdio>
#include <string>
#include <string_view>

class DataLog {
 public:
  DataLog() = default;
  ~DataLog();
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // 0, or the errno of the failed open.
  int open(const std::string& path);
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // 0, or the errno of the failed write.
  int write(std::string_view text);
  // 0, or the errno of the failed flush or close. Closing a closed log is 0.
  int close();

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};
