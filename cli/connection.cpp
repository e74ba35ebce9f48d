#include "cli/connection.h"

#include <cstdio>

#include "link/board_protocol.h"
#include "link/port_discovery.h"

namespace {

constexpr unsigned char kAbsentRegister = 0xFF;
constexpr unsigned char kDefaultFifoRegister = 0x74;
constexpr int kPortPathSize = 4096;

std::string discovered_port() {
  char path[kPortPathSize] = "";
  (void)findComm(path, kPortPathSize);
  return path;
}

}  // namespace

bool connect_device(ikor& device, int mode, const std::string& port) {
  const std::string path = port.empty() ? discovered_port() : port;
  if (device.initialize(path.c_str(), mode) != 0) {
    std::fputs(mode == MODE_SPI ? "SPI Connection not configured.\n"
                                : "Can't connect to the sensor. Please make sure the sensor is connected.\n",
               stderr);
    return false;
  }
  const unsigned char fifo = device.lookup_address("FIFO_R_W");
  set_KORREG_FIFO_R_W(fifo == kAbsentRegister ? kDefaultFifoRegister : fifo);
  return true;
}
