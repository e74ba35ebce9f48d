#include "devices/board_identity.h"

#include <sys/stat.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "link/port_discovery.h"

namespace veltrix::devices {
namespace {

std::mutex remembered_lock;
BoardIdentity remembered;

bool named_by_environment(const std::string& port) {
  const char* forced = std::getenv("VELTRIX_PORT");
  return forced != nullptr && forced[0] != '\0' && port == forced;
}

FoundBoard found_at_named_path(const BoardIdentity& board) {
  struct stat info {};
  if (stat(board.port.c_str(), &info) != 0) {
    return {};
  }
  const std::string serial = usb_serial_in(sysfs_root(), board.port);
  const bool same = board.serial.empty() || serial == board.serial;
  return {same ? BoardSighting::kSame : BoardSighting::kOther, board.port, serial};
}

FoundBoard found_by_serial(const BoardIdentity& board) {
  std::vector<std::string> ports;
  if (board_ports_in(sysfs_root(), ports) != 0 || ports.empty()) {
    return {};
  }
  for (const std::string& port : ports) {
    if (const std::string serial = usb_serial_in(sysfs_root(), port); !board.serial.empty() && serial == board.serial) {
      return {BoardSighting::kSame, port, serial};
    }
  }
  return {BoardSighting::kOther, ports.front(), usb_serial_in(sysfs_root(), ports.front())};
}

}  // namespace

BoardIdentity identify_board(const std::string& port) {
  return {port, usb_serial_in(sysfs_root(), port), named_by_environment(port)};
}

BoardIdentity remembered_board() {
  std::lock_guard lock(remembered_lock);
  return remembered;
}

void remember_board(const BoardIdentity& board) {
  std::lock_guard lock(remembered_lock);
  remembered = board;
}

FoundBoard find_same_board(const BoardIdentity& board) {
  return board.port_named ? found_at_named_path(board) : found_by_serial(board);
}

}  // namespace veltrix::devices
