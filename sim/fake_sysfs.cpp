#include "sim/fake_sysfs.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace veltrix::sim {
namespace {

namespace fs = std::filesystem;

std::string sysfs_name(const std::string& port_path) {
  std::string name = port_path.rfind("/dev/", 0) == 0 ? port_path.substr(5) : fs::path(port_path).filename().string();
  std::replace(name.begin(), name.end(), '/', '!');
  return name;
}

fs::path usb_device_folder(const std::string& root, const std::string& name) {
  return fs::path(root) / "devices/veltrix-boardsim" / name;
}

}  // namespace

int add_sysfs_entry(const std::string& root, const std::string& port_path, const std::string& serial) {
  remove_sysfs_entry(root, port_path);
  const std::string name = sysfs_name(port_path);
  const fs::path usb_device = usb_device_folder(root, name);
  const fs::path interface = usb_device / "1-1:1.0";
  const fs::path tty = fs::path(root) / "class/tty" / name;
  std::error_code error;
  fs::create_directories(interface, error);
  if (!error) {
    fs::create_directories(tty, error);
  }
  if (!error) {
    fs::create_symlink("../../../../bus/usb/drivers/cdc_acm", interface / "driver", error);
  }
  if (!error) {
    fs::create_directory_symlink(interface, tty / "device", error);
  }
  if (error) {
    return error.value();
  }
  std::ofstream file(usb_device / "serial");
  file << serial << '\n';
  return file ? 0 : EIO;
}

void remove_sysfs_entry(const std::string& root, const std::string& port_path) {
  const std::string name = sysfs_name(port_path);
  std::error_code ignored;
  fs::remove_all(fs::path(root) / "class/tty" / name, ignored);
  fs::remove_all(usb_device_folder(root, name), ignored);
}

}  // namespace veltrix::sim
