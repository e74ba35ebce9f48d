#include "aio_memory.h"

#include <cstdlib>

void* vtx_malloc(unsigned int numBytes) { return std::malloc(numBytes); }

int vtx_free(void* ptr) {
  std::free(ptr);
  return 0;
}
