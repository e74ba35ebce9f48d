#include "devices/device_connection.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "devices/board_identity.h"
#include "devices/device_status.h"
#include "devices/operator_writes.h"
#include "devices/register_row.h"
#include "devices/register_sentences.h"
#include "devices/register_stop.h"
#include "link/board_protocol.h"
#include "link/port_discovery.h"

namespace veltrix::devices {

namespace {

constexpr unsigned char kDefaultFifoRegister = 0x74;
constexpr int kPortPathSize = 4096;

// What the last connect_device learnt about its failure.
struct ConnectFailure {
  bool no_board = false;
  std::string port;
  int open_error = 0;  // errno of the port's open or set-up
};

std::mutex failure_lock;
ConnectFailure last_failure;

void keep_failure(ConnectFailure failure) {
  std::lock_guard lock(failure_lock);
  last_failure = std::move(failure);
}

std::string describe(const ConnectFailure& failure) {
  if (failure.no_board) {
    return "no evaluation board found (set VELTRIX_PORT or plug in the board)";
  }
  const int error = failure.open_error;
  if (error == 0) {
    return "";
  }
  if (error == EWOULDBLOCK || error == EBUSY) {
    return failure.port + " is in use by another program";
  }
  if (error == EACCES || error == EPERM) {
    return "permission denied for " + failure.port + ": add your user to the dialout group";
  }
  if (error == ENOENT) {
    return failure.port + " does not exist";
  }
  if (error == ENOTTY) {
    return failure.port + " is not a serial port";
  }
  return failure.port + ": " + std::strerror(error);
}

}  // namespace

std::string discover_board_port() {
  char path[kPortPathSize] = "";
  // No port found leaves the path empty, which initialize refuses.
  (void)findComm(path, kPortPathSize);
  return path;
}

long connect_device(ikor& device, int mode, const std::string& port) {
  const std::string path = port.empty() ? discover_board_port() : port;
  if (const long status = device.initialize(path.c_str(), mode); status != 0) {
    const bool port_refused = status == kStatusPortFailed;
    keep_failure({path.empty(), path, port_refused ? vtx_serial_open_error() : 0});
    return status;
  }
  keep_failure({});
  remember_board(identify_board(path));
  operator_writes().clear();
  const unsigned char fifo = device.lookup_address("FIFO_R_W");
  set_KORREG_FIFO_R_W(fifo == kAbsentAddress ? kDefaultFifoRegister : fifo);
  return 0;
}

const char* connect_failure_message(int mode) {
  return mode == MODE_SPI ? "SPI Connection not configured."
                          : "Can't connect to the sensor. Please make sure the sensor is connected.";
}

std::string connect_failure_detail() {
  std::lock_guard lock(failure_lock);
  return describe(last_failure);
}

std::vector<std::string> connect_failure_lines(int mode) {
  std::vector<std::string> lines{connect_failure_message(mode)};
  if (std::string detail = connect_failure_detail(); !detail.empty()) {
    lines.push_back(std::move(detail));
  } else if (const FailureCause cause = last_failure_cause(); cause != FailureCause::kBadReply) {
    lines.push_back(failure_sentence(cause, ""));
  }
  return lines;
}

void disconnect_device() {
  vtx_serial_close();
  set_KORREG_FIFO_R_W(0);
}

}  // namespace veltrix::devices
