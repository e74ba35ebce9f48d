#pragma once
// The host link: one per process. The state record `aioVars`, the ring lock
// `mutex`, the reader thread `g_hAIOThread` and the interrupt flags
// `g_int_trigger`, with the functions that open, read, buffer and close.
//
// Thread contract:
// - The reader thread (AIOThread, started by AIOOpen) reads the port and
//   feeds the receive parser; so does an exchange waiting for its reply
//   (AIOUartWaitRwRsp), which saves the reply a hand-over between threads.
//   Each holds `read_lock_` from one read to the end of feeding its bytes, so
//   the stream is parsed in order, and `rsp_lock_` while it feeds.
//   Lock order: read_lock_ before rsp_lock_.
// - The ring (ringRead, ringWrite, slot contents) is guarded by `mutex`;
//   AIOUpdateBuffer, AIOReadBuffer in ring mode and AIOEmptyBuffer take it.
//   Lock order: rsp_lock_ before mutex.
// - AIOInit, AIOOpen, AIOClose and AIOSetCom take the link-wide exchange lock
//   `exchange_lock_` (recursive), so opening and closing never cut into a
//   running exchange; the command layer holds the same lock from write to take.
// - hComm, threadRunning, packetCallback, link_dead_, open_error_ and the parser's
//   response fields are atomics; any thread may read them.
// - packetCallback runs on the reader thread and must not run exchanges.
//
// Status: 0 success, 53 port could not be opened or configured, 54 no usable
// data, 55 purge failed (link/link_status.h).

#include "link_internal.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "aio_memory.h"
#include "packet_ring.h"
#include "rx_parser.h"
#include "rx_semaphore.h"

using PacketCallback = void (*)(unsigned char* packet, int length);

inline constexpr int kPortNameSize = 128;
inline constexpr int kInterruptTriggers = 100;

// The receive parser's fields (RxFrameState) and the ring's (PacketRingState)
// are part of the record, under their own names.
struct tAIOVars : RxFrameState, PacketRingState {
  char portName[kPortNameSize]{};
  std::uint32_t baudRate = 0;
  std::atomic<int> hComm{-1};                // file descriptor of the open port, -1 when closed
  RxSemaphore hRxSemaphore;                  // one release per response line or notification
  int hRxEvent = -1;                         // eventfd that wakes the reader when the link closes
  int hReplyEvent = -1;                      // eventfd: the reader fed bytes while an exchange waited
  int hExchangeWait = -1;                    // port_wait set of an exchange: the port and hReplyEvent
  int hReaderWait = -1;                      // port_wait set of the reader: the port and hRxEvent
  std::atomic<bool> exchange_waits_{false};  // an exchange is in AIOUartWaitRwRsp
  std::atomic<unsigned char> threadRunning{0};
  std::atomic<PacketCallback> packetCallback{nullptr};

  std::atomic<bool> link_dead_{false};  // the port hung up or failed with an I/O error
  std::atomic<int> open_error_{0};      // errno of the last AIOInit's failed port open or set-up, else 0
  std::mutex read_lock_;                // one read of the port and the feeding of its bytes
  std::mutex rsp_lock_;                 // the parser's state while a chunk is fed or a reply taken
  std::recursive_mutex exchange_lock_;  // one exchange (or open/close) at a time
};

extern tAIOVars aioVars;
extern std::mutex mutex;
extern std::thread g_hAIOThread;
extern std::atomic<int> g_int_trigger[kInterruptTriggers];

// Port and rate for the next AIOOpen when both are nonzero. A name that does
// not fit in portName (127 characters) leaves portName empty, so the next
// open fails with 53 instead of opening a cut path. Always 0.
int AIOSetCom(const char* port, unsigned long dwBaud);

// Opens `port` exclusively (flock + TIOCEXCL), raw 8N1 at `dwBaud`, asserts
// DTR and RTS. 0, or 53: not openable, already open, or not configurable (the
// port is then closed again; messages through link/link_notifier.h). Keeps
// the errno of a failed open or set-up in open_error_.
int AIOInit(const char* port, unsigned long dwBaud);

// AIOInit(portName, baudRate), allocates the packet ring (empty) and, when
// `createThread` is nonzero, starts the reader thread. 53 when the link is
// already open or any step fails (nothing stays open then).
int AIOOpen(unsigned char createThread);

// Wakes and joins the reader thread, closes the port and frees the ring.
// Safe on a closed link. Always 0.
int AIOClose();

// Ring slots for the next AIOOpen: 1..128 as given, anything else 128. 0.
int AIOSetBufferSize(unsigned short bufferSize);

// Reader thread body: read passes until threadRunning clears; hands ring
// packets to packetCallback when one is installed. Returns 0.
std::uint32_t AIOThread(void* lpvoid);

// One read pass: waits up to 500 ms for bytes, reads up to 1024 and feeds
// them to the parser. 0, or 54 when the read could not be made (the packet
// being assembled is then spoiled). A hung-up or failing port marks the link
// dead, wakes any waiting exchange, and later passes only wait for closing.
int AIORead();

// Reads what the port has (it polled readable with `revents`) and feeds it
// to the parser, under read_lock_. The bytes fed; 0 when there were none (a
// hung-up or failing port is marked dead); -1 when the read failed otherwise
// (the packet being assembled is spoiled).
long aio_read_port(int fd, short revents);

// Feeds to the parser, at once, whatever the port holds now, after any read
// in progress on another thread has been fed. A deadline is judged after
// this: when it passed while the process was not running, the reply the
// board sent meanwhile is still in the port, unread.
void aio_take_pending();

// Stores the packet just completed in pktBuffer into the ring. 0.
int AIOUpdateBuffer();

// bufferMode 0: copies the first `cnt` bytes of the packet being assembled.
// Otherwise takes the oldest ring packet (54 when empty). `cnt` <= 1024,
// else 54.
int AIOReadBuffer(unsigned short cnt, unsigned char bufferMode, unsigned char* rBuff);

// Empties the ring. 0.
int AIOEmptyBuffer();

// `mutex` exists for the whole process, so creating it has nothing to do.
int AIOCreateMutex();
int AIOLockMutex();
int AIOUnlockMutex();

// Discards pending input and output of the port. 0, or 55 (closed port or
// the purge failed).
int AIOUartFlush();

// Sets g_int_trigger[intSource]: 0, or 1 when intSource >= 100.
std::int32_t vtx_interrupt_handler(unsigned char intSource);

// Marks the link dead and wakes a waiting exchange.
void aio_mark_gone();
