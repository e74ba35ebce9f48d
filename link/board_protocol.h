#pragma once
// Host side of the evaluation board's command protocol: register reads and
// writes as "RD"/"WR" lines, streaming control, free text commands.
//
// Thread contract: any thread may call these functions. Every exchange holds
// the link-wide exchange lock from its write to its take, so exchanges from
// the window thread and the capture thread never interleave on the port.
// The handle arguments are opaque: the link neither reads nor writes them.
//
// Status: 0 success, 2 reply would be too long, 53 port could not be opened,
// 54 no usable reply, 55 write failed / reply not in time / port gone
// (link/link_status.h).

#include "link/device_layer_only.h"

#include "link/link_status.h"

// Opens the link on `port` at 115200 baud (a null `port` keeps the previous
// name), then "SD" and "IE2". A link that is still open is closed first, so a
// second connection attempt never trips over the first one's port.
[[nodiscard]] long vtx_serial_open(const char* port, void** sl_handle);

// Why the last vtx_serial_open failed with 53: the errno value of the port's
// open or set-up (EWOULDBLOCK or EBUSY: in use; EACCES; ENOENT; ENOTTY: not a
// terminal). 0 when the port itself was opened, or no port was named.
[[nodiscard]] int vtx_serial_open_error();

// Closes the link: stops and joins the reader thread, then releases the port.
// Nothing happens on a closed link.
void vtx_serial_close();

// Reads `length` bytes from consecutive registers in chunks of at most 128.
[[nodiscard]] long vtx_serial_read(void* hbx_handle, unsigned char slaveAddr, unsigned char registerAddr,
                                   unsigned short length, unsigned char* data);

[[nodiscard]] long vtx_serial_single_write(void* sl_handle, unsigned char slaveAddr, unsigned char registerAddr,
                                           unsigned char data);

// One "WR" line carrying `length` bytes (register address first). Refuses more
// than 507 bytes with 55 before sending.
[[nodiscard]] long ARM_WriteBurst(void* sl_handle, unsigned char slaveAddr, unsigned short length,
                                  const unsigned char* data);

// "RD" exchanges for `length` bytes (at most 255) without chunking; applies the
// multiple-of-32 reply rule and the FIFO split.
[[nodiscard]] long ARM_ReadBurst(void* sl_handle, unsigned char slaveAddr, unsigned char registerAddr,
                                 unsigned short length, unsigned char* data);

// Sends `command` + "\r\n" (at most 99 characters) and returns the cleaned reply
// text in `response`, which must hold resp_len + 3 characters.
[[nodiscard]] int ARMCommand(const char* command, char* response, int resp_len);

[[nodiscard]] long HbxDisableStreaming();
[[nodiscard]] long HbxEnableIntStream();

// Waits up to `timeout_ms` for the board's notification of interrupt
// `source` (an "I<source>" line; the board sends them after "IE2" while the
// sensor raises that interrupt). True when one came since the last call,
// which it consumes; false on timeout (judged after taking what the port
// holds). One waiting thread at a time.
[[nodiscard]] bool vtx_wait_interrupt(unsigned char source, long timeout_ms);

// True once the port hung up or failed (the board was unplugged): every
// exchange then fails at once with 55 until the link is opened again.
[[nodiscard]] bool vtx_serial_lost();

// How long the board has left every exchange unanswered, on the evidence of
// the exchanges themselves: milliseconds from the start of the first one
// that got no reply after the last one that got one, to the end of the
// latest one that got none; 0 while the last exchange was answered. Time
// nobody asked the board (a process stopped between exchanges) does not
// count. A reply that fails its checks is still an answer, and a reply that
// arrived while the process was not running is taken before its exchange is
// judged.
[[nodiscard]] long vtx_serial_unanswered_ms();

// The FIFO data register's address, consulted by burst reads. 0 until set.
void set_KORREG_FIFO_R_W(unsigned char value);

// The SPI set-up sequence: "ID", purge, 100 ms pause, "DD", "CS1". Returns the
// first nonzero status; the link stays open either way.
[[nodiscard]] long vtx_serial_spi_setup();
