#pragma once
// Where the messages of a port that opened but could not be set up go
// ("Unable to get port state", "Unable to configure the serial port", "Unable
// to set the time-out parameters", all with the caption "Error"). The default
// writes "<caption>: <text>" to stderr; the window installs one that shows a
// box.
//
// Thread contract: any thread may install a notifier. It runs on the thread
// that connects (connect_device), while the link's exchange lock is held: it
// must not call back into the device layer.

#include <functional>

namespace veltrix::devices {

using PortNotifier = std::function<void(const char* text, const char* caption)>;

// An empty notifier restores the default.
void set_port_notifier(PortNotifier notifier);

}  // namespace veltrix::devices
