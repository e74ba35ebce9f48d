#include "devices/board_return.h"

#include <thread>

#include "devices/board_identity.h"

namespace veltrix::devices {

BoardReturn await_board_return(const ModelEntry& model, int mode, std::chrono::steady_clock::time_point deadline,
                               const std::function<bool()>& give_up) {
  BoardReturn result;
  const BoardIdentity board = remembered_board();
  while (!give_up()) {
    const FoundBoard found = find_same_board(board);
    if (found.sighting == BoardSighting::kSame) {
      std::unique_ptr<ikor> device = model.create();
      result.restore = reconnect_device(*device, mode, found.port);
      result.port = found.port;
      if (result.restore.status == 0) {
        result.device = std::move(device);
        return result;
      }
    }
    if (std::chrono::steady_clock::now() + kBoardLookPeriod > deadline) {
      break;
    }
    std::this_thread::sleep_for(kBoardLookPeriod);
  }
  return result;
}

std::string remembered_board_name(const std::string& model_name) {
  const BoardIdentity board = remembered_board();
  std::string name = model_name + " at " + board.port;
  if (!board.serial.empty()) {
    name += " (serial " + board.serial + ")";
  }
  return name;
}

}  // namespace veltrix::devices
