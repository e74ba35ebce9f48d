#include "link/port_discovery.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr const char* kBoardDriver = "cdc_acm";

bool links_to_board_driver(const std::string& tty_folder) {
  char target[4096];
  const std::string link = tty_folder + "/device/driver";
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) {
    return false;
  }
  target[n] = '\0';
  const char* slash = std::strrchr(target, '/');
  return std::strcmp(slash != nullptr ? slash + 1 : target, kBoardDriver) == 0;
}

// "ttyACM10" sorts after "ttyACM9": names compare by their stem, then by the
// number they end in.
bool numbered_before(const std::string& a, const std::string& b) {
  const auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
      --digits;
    }
    const std::string number = name.substr(digits);
    return std::make_pair(name.substr(0, digits), number.empty() ? -1L : std::strtol(number.c_str(), nullptr, 10));
  };
  return split(a) < split(b);
}

int copy_path(const std::string& path, char* port, int size) {
  if (size <= 0 || path.size() + 1 > static_cast<std::size_t>(size)) {
    return -1;
  }
  std::memcpy(port, path.c_str(), path.size() + 1);
  return 0;
}

}  // namespace

int find_comm_in(const char* sysfs_root, char* port, int size) {
  const char* forced = std::getenv("VELTRIX_PORT");
  if (forced != nullptr && forced[0] != '\0') {
    return copy_path(forced, port, size);
  }

  const std::string class_folder = std::string(sysfs_root) + "/class/tty";
  DIR* dir = opendir(class_folder.c_str());
  if (dir == nullptr) {
    return 1;
  }
  std::optional<std::string> best;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    if (!links_to_board_driver(class_folder + "/" + name)) {
      continue;
    }
    if (!best || numbered_before(name, *best)) {
      best = name;
    }
  }
  closedir(dir);
  if (!best) {
    return -1;
  }
  return copy_path("/dev/" + *best, port, size);
}

int findComm(char* port, int size) { return find_comm_in("/sys", port, size); }
