#pragma once
// A simulated board's entry in a fake sysfs tree, so port discovery and the
// USB serial-number lookup find it as they find a real board's
// (link/port_discovery.h): under ROOT, class/tty/NAME/device links to the
// board's USB interface folder, whose `driver` names cdc_acm and whose
// parent holds the USB device's `serial` file. NAME is the port's path
// below /dev with '/' written as '!', as sysfs names such devices
// ("/dev/pts/5" is "pts!5").
//
// Thread contract: plain functions on the file system; the caller keeps one
// board's calls in order.

#include <string>

namespace veltrix::sim {

// 0 or an errno value; an entry already there for the port is replaced.
int add_sysfs_entry(const std::string& root, const std::string& port_path, const std::string& serial);
// Removes what add_sysfs_entry made for the port, as an unplug does.
void remove_sysfs_entry(const std::string& root, const std::string& port_path);

}  // namespace veltrix::sim
