#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "aio_link.h"
#include "link/link_notifier.h"
#include "link/link_status.h"
#include "port_wait.h"
#include "serial_port.h"

namespace {

constexpr const char* kErrorCaption = "Error";

int refuse_configuration(int fd, int error, const char* message) {
  aioVars.open_error_ = error;
  link_notify(message, kErrorCaption);
  // Left open, the port would stay locked against every later attempt.
  serial_close(fd);
  return kStatusPortFailed;
}

// A new open starts from a clean receive side: no text, packet or wake-up
// left over from an earlier connection.
void reset_receive_state() {
  std::lock_guard lock(aioVars.rsp_lock_);
  aioVars.rxState = RX_IDLE;
  aioVars.pktCount = 0;
  aioVars.pktLength = 0;
  aioVars.rspLength = 0;
  aioVars.rspReady = 0;
  aioVars.hRxSemaphore.drain();
}

void wake_reader() {
  const std::uint64_t one = 1;
  // An eventfd refuses a write only when its counter is full, and then the
  // reader has been woken already.
  [[maybe_unused]] const ssize_t n = write(aioVars.hRxEvent, &one, sizeof one);
}

void close_descriptors() {
  const int fd = aioVars.hComm.exchange(-1);
  if (fd >= 0) {
    serial_close(fd);
  }
  for (int* event : {&aioVars.hExchangeWait, &aioVars.hReaderWait, &aioVars.hRxEvent, &aioVars.hReplyEvent}) {
    if (*event >= 0) {
      close(*event);
      *event = -1;
    }
  }
}

}  // namespace

int AIOSetCom(const char* port, unsigned long dwBaud) {
  if (port == nullptr || dwBaud == 0) {
    return 0;
  }
  std::lock_guard lock(aioVars.exchange_lock_);
  const std::size_t length = std::strlen(port);
  if (length < sizeof aioVars.portName) {
    std::memcpy(aioVars.portName, port, length + 1);
  } else {
    aioVars.portName[0] = '\0';
  }
  aioVars.baudRate = static_cast<std::uint32_t>(dwBaud);
  return 0;
}

int AIOInit(const char* port, unsigned long dwBaud) {
  std::lock_guard lock(aioVars.exchange_lock_);
  aioVars.open_error_ = 0;
  if (aioVars.hComm >= 0 || port == nullptr || port[0] == '\0') {
    return kStatusPortFailed;
  }
  const int fd = serial_open_exclusive(port);
  if (fd < 0) {
    aioVars.open_error_ = errno;
    return kStatusPortFailed;
  }

  termios settings{};
  if (tcgetattr(fd, &settings) != 0) {
    link_notify("Unable to get port state", kErrorCaption);
  }
  if (!serial_line_settings(settings, dwBaud)) {
    return refuse_configuration(fd, EINVAL, "Unable to configure the serial port");
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    return refuse_configuration(fd, errno, "Unable to configure the serial port");
  }
  serial_read_timeouts(settings);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    return refuse_configuration(fd, errno, "Unable to set the time-out parameters");
  }
  serial_assert_modem_lines(fd);

  aioVars.hRxEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  aioVars.hReplyEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // The exchange's set first: it then takes the port's wake-ups while it waits.
  if (aioVars.hRxEvent >= 0 && aioVars.hReplyEvent >= 0) {
    aioVars.hExchangeWait = port_wait_set(fd, aioVars.hReplyEvent);
    aioVars.hReaderWait = aioVars.hExchangeWait < 0 ? -1 : port_wait_set(fd, aioVars.hRxEvent);
  }
  if (aioVars.hReaderWait < 0) {
    aioVars.open_error_ = errno;
    serial_close(fd);
    close_descriptors();
    return kStatusPortFailed;
  }
  reset_receive_state();
  aioVars.packetCallback = nullptr;
  aioVars.link_dead_ = false;
  aioVars.hComm = fd;
  return 0;
}

int AIOOpen(unsigned char createThread) {
  std::lock_guard lock(aioVars.exchange_lock_);
  const int status = AIOInit(aioVars.portName, aioVars.baudRate);
  if (status != 0) {
    return status;
  }
  bool allocated = false;
  {
    std::lock_guard ring_lock(mutex);
    allocated = ring_allocate(aioVars);
  }
  if (!allocated) {
    close_descriptors();
    return kStatusPortFailed;
  }
  if (createThread != 0) {
    aioVars.threadRunning = 1;
    try {
      g_hAIOThread = std::thread(AIOThread, nullptr);
    } catch (const std::system_error&) {
      aioVars.threadRunning = 0;
      AIOClose();
      return kStatusPortFailed;
    }
  }
  return 0;
}

int AIOClose() {
  std::lock_guard lock(aioVars.exchange_lock_);
  if (aioVars.threadRunning.exchange(0) != 0) {
    wake_reader();
  }
  if (g_hAIOThread.joinable()) {
    g_hAIOThread.join();
  }
  close_descriptors();
  std::lock_guard ring_lock(mutex);
  ring_release(aioVars);
  return 0;
}

int AIOUartFlush() {
  // Held so that a close on another thread cannot hand this descriptor's
  // number to a different file between the load and the flush.
  std::lock_guard lock(aioVars.exchange_lock_);
  const int fd = aioVars.hComm;
  if (fd < 0 || tcflush(fd, TCIOFLUSH) != 0) {
    return kStatusWriteOrTimeout;
  }
  return 0;
}
