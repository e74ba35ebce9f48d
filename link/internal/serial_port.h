#pragma once
// POSIX pieces of the serial port: exclusive open, raw line settings, modem
// lines and a bounded write. No link state; each call works on the descriptor
// it is given.
//
// Thread contract: any thread; a descriptor may be written by one thread while
// another reads it.

#include "link_internal.h"

#include <termios.h>

#include <cstddef>

// Opens `path` read/write, non-blocking, without becoming its controlling
// terminal, and locks it against every other open (flock for other
// processes and other opens of this one; TIOCEXCL for programs that ignore
// flock, except privileged ones). -1 with errno on failure.
int serial_open_exclusive(const char* path);

// Gives up the exclusive-use claim, then closes. A terminal keeps the claim
// after a close while anything else still holds it (a pseudo-terminal's other
// side always does), and it would then refuse every later open of the port.
void serial_close(int fd);

// Raw 8N1 at `baud` without flow control, receiver on, modem status ignored.
// False when `baud` is not a rate the terminal interface knows.
bool serial_line_settings(termios& settings, unsigned long baud);

// On the non-blocking descriptor a read returns at once with what is there,
// or EAGAIN when nothing is; end of file then can only mean a hang-up. The
// reader's poll does the waiting (500 ms of silence).
void serial_read_timeouts(termios& settings);

// Asserts DTR, then RTS. Pseudo-terminals have no modem lines; that is fine.
void serial_assert_modem_lines(int fd);

enum class SerialWrite { kDone, kFailed, kGone };

// Writes all `size` bytes, waiting for room as needed, within 1000 ms plus
// 10 ms per byte. kGone when the port hung up or reported an I/O error.
SerialWrite serial_write_all(int fd, const void* data, std::size_t size, std::size_t* written);

// True for errno values that mean the device is no longer there.
bool serial_error_means_gone(int error);
