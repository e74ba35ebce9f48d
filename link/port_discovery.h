#pragma once
// Finds the evaluation board's serial port. The VELTRIX_PORT environment
// variable, when set and not empty, names the port outright (simulators,
// unusual adapters). Otherwise the lowest-numbered tty whose
// class/tty/NAME/device/driver links to "cdc_acm" gives "/dev/NAME" (a '!'
// in NAME stands for '/', as sysfs writes it).
//
// Returns 0 with the path in `port`; -1 when no board is found or the path
// does not fit in `size` characters with its terminator; 1 when the tty class
// folder cannot be read. `port` is untouched unless 0 is returned.
//
// Thread contract: any thread; reads only the environment and the file system.

#include <string>
#include <vector>

#include "link/device_layer_only.h"

// Searches the sysfs tree at VELTRIX_SYSFS when set and not empty (tests),
// else at /sys.
int findComm(char* port, int size);

// As findComm with a sysfs tree rooted at `sysfs_root` (normally "/sys").
int find_comm_in(const char* sysfs_root, char* port, int size);

// The sysfs root findComm searches: VELTRIX_SYSFS or "/sys".
const char* sysfs_root();

// Every USB CDC-ACM port in the tree at `sysfs_root`, lowest-numbered first,
// VELTRIX_PORT aside. 0, or 1 when the tty class folder cannot be read.
int board_ports_in(const char* sysfs_root, std::vector<std::string>& ports);

// The USB serial number of the device behind `port` (symbolic links
// followed, so it must lead to a node below /dev): the `serial` file of the
// USB device that class/tty/NAME/device belongs to. "" when there is none.
std::string usb_serial_in(const char* sysfs_root, const std::string& port);
