#include "capture/log_naming.h"

#include <sys/stat.h>

#include <cerrno>

namespace veltrix::capture {

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksAtUnixEpoch = 621'355'968'000'000'000;

}  // namespace

std::int32_t capture_number_from_time(const timespec& mtime, long utc_offset_s) {
  const std::int64_t ticks = (static_cast<std::int64_t>(mtime.tv_sec) + utc_offset_s) * kTicksPerSecond +
                             mtime.tv_nsec / 100 + kTicksAtUnixEpoch;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks + 1)));
}

int log_paths_for_folder(const std::string& folder, LogPaths& paths) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    return errno;
  }
  tm local{};
  const time_t seconds = info.st_mtim.tv_sec;
  const long offset = localtime_r(&seconds, &local) != nullptr ? local.tm_gmtoff : 0;
  paths.capture_number = capture_number_from_time(info.st_mtim, offset);

  std::string stem = folder;
  if (stem.empty() || stem.back() != '/') {
    stem += '/';
  }
  stem += "dataLog" + std::to_string(paths.capture_number);
  paths.data_log = stem + ".csv";
  paths.register_log = stem + "_reg.txt";
  return 0;
}

}  // namespace veltrix::capture
