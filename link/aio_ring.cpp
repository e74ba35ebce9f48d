#include <cstring>

#include "aio_link.h"
#include "link/link_status.h"

int AIOSetBufferSize(unsigned short bufferSize) {
  std::lock_guard lock(mutex);
  ring_configure(aioVars, bufferSize);
  return 0;
}

int AIOUpdateBuffer() {
  std::lock_guard lock(mutex);
  ring_store(aioVars, aioVars.pktBuffer, aioVars.pktCount);
  return 0;
}

int AIOReadBuffer(unsigned short cnt, unsigned char bufferMode, unsigned char* rBuff) {
  if (cnt > kPacketBufferSize) {
    return kStatusNoReply;
  }
  if (bufferMode == 0) {
    std::lock_guard lock(aioVars.rsp_lock_);
    std::memcpy(rBuff, aioVars.pktBuffer, cnt);
    return 0;
  }
  std::lock_guard lock(mutex);
  return ring_take(aioVars, cnt, rBuff);
}

int AIOEmptyBuffer() {
  std::lock_guard lock(mutex);
  ring_clear(aioVars);
  return 0;
}

int AIOCreateMutex() { return 0; }

int AIOLockMutex() {
  mutex.lock();
  return 0;
}

int AIOUnlockMutex() {
  mutex.unlock();
  return 0;
}
