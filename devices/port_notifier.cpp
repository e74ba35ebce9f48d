#include "devices/port_notifier.h"

#include <utility>

#include "link/link_notifier.h"

namespace veltrix::devices {

void set_port_notifier(PortNotifier notifier) { set_link_notifier(std::move(notifier)); }

}  // namespace veltrix::devices
