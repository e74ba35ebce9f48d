// Names an internal header the way the link's own sources do. Outside the
// link the private include path is missing, so this must not compile.
#include "aio_link.h"

int link_descriptor() { return aioVars.hComm; }
