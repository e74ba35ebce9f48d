#include "devices/device_connection.h"

#include "devices/register_row.h"

#include "link/board_protocol.h"
#include "link/port_discovery.h"

namespace veltrix::devices {

namespace {

constexpr unsigned char kDefaultFifoRegister = 0x74;
constexpr int kPortPathSize = 4096;

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
    return status;
  }
  const unsigned char fifo = device.lookup_address("FIFO_R_W");
  set_KORREG_FIFO_R_W(fifo == kAbsentAddress ? kDefaultFifoRegister : fifo);
  return 0;
}

const char* connect_failure_message(int mode) {
  return mode == MODE_SPI ? "SPI Connection not configured."
                          : "Can't connect to the sensor. Please make sure the sensor is connected.";
}

void disconnect_device() { vtx_serial_close(); }

}  // namespace veltrix::devices
