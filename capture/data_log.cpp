#include "capture/data_log.h"

#include <cerrno>

DataLog::~DataLog() { (void)close(); }

int DataLog::open(const std::string& path) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr ? 0 : errno;
}

int DataLog::write(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), file_) == text.size()) {
    return 0;
  }
  return errno != 0 ? errno : EIO;
}

int DataLog::close() {
  if (file_ == nullptr) {
    return 0;
  }
  const int result = std::fclose(file_) == 0 ? 0 : (errno != 0 ? errno : EIO);
  file_ = nullptr;
  return result;
}
