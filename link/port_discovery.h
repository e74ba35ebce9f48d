#pragma once
// Finds the evaluation board's serial port. The VELTRIX_PORT environment
// variable, when set and not empty, names the port outright (simulators,
// unusual adapters). Otherwise the lowest-numbered tty whose
// class/tty/NAME/device/driver links to "cdc_acm" gives "/dev/NAME".
//
// Returns 0 with the path in `port`; -1 when no board is found or the path
// does not fit in `size` characters with its terminator; 1 when the tty class
// folder cannot be read. `port` is untouched unless 0 is returned.
//
// Thread contract: any thread; reads only the environment and the file system.

#include "link/device_layer_only.h"

int findComm(char* port, int size);

// As findComm with a sysfs tree rooted at `sysfs_root` (normally "/sys").
int find_comm_in(const char* sysfs_root, char* port, int size);
