// Reaches for the link's record through the project root, as a file in cli/
// or capture/ could. Must not compile.
#include "link/internal/aio_link.h"

int link_descriptor() { return aioVars.hComm; }
