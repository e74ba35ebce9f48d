#include "link/port_discovery.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

// sysfs writes a '/' in a device's name below /dev as '!' ("pts!5").
std::string dev_path(std::string name) {
  std::replace(name.begin(), name.end(), '!', '/');
  return "/dev/" + name;
}

std::string sysfs_name(const std::string& path_below_dev) {
  std::string name = path_below_dev;
  std::replace(name.begin(), name.end(), '/', '!');
  return name;
}

}  // namespace

const char* sysfs_root() {
  const char* root = std::getenv("VELTRIX_SYSFS");
  return root != nullptr && root[0] != '\0' ? root : "/sys";
}

int board_ports_in(const char* sysfs_root, std::vector<std::string>& ports) {
  const std::string class_folder = std::string(sysfs_root) + "/class/tty";
  DIR* dir = opendir(class_folder.c_str());
  if (dir == nullptr) {
    return 1;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && links_to_board_driver(class_folder + "/" + name)) {
      names.push_back(name);
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), numbered_before);
  ports.clear();
  for (const std::string& name : names) {
    ports.push_back(dev_path(name));
  }
  return 0;
}

int find_comm_in(const char* sysfs_root, char* port, int size) {
  const char* forced = std::getenv("VELTRIX_PORT");
  if (forced != nullptr && forced[0] != '\0') {
    return copy_path(forced, port, size);
  }
  std::vector<std::string> ports;
  if (board_ports_in(sysfs_root, ports) != 0) {
    return 1;
  }
  return ports.empty() ? -1 : copy_path(ports.front(), port, size);
}

int findComm(char* port, int size) { return find_comm_in(sysfs_root(), port, size); }

std::string usb_serial_in(const char* sysfs_root, const std::string& port) {
  char resolved[PATH_MAX];
  if (realpath(port.c_str(), resolved) == nullptr || std::strncmp(resolved, "/dev/", 5) != 0) {
    return "";
  }
  // The tty's `device` is the USB interface; the serial number belongs to
  // the USB device above it.
  const std::string file = std::string(sysfs_root) + "/class/tty/" + sysfs_name(resolved + 5) + "/device/../serial";
  std::FILE* stream = std::fopen(file.c_str(), "re");
  if (stream == nullptr) {
    return "";
  }
  char text[256] = "";
  const bool read = std::fgets(text, sizeof text, stream) != nullptr;
  std::fclose(stream);
  std::string serial = read ? text : "";
  while (!serial.empty() && (serial.back() == '\n' || serial.back() == '\r' || serial.back() == ' ')) {
    serial.pop_back();
  }
  return serial;
}
