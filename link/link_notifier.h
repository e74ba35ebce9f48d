#pragma once
// Where the link's port-configuration messages go ("Unable to get port
// state", "Unable to configure the serial port", "Unable to set the time-out
// parameters", all with the caption "Error"). The default writes
// "<caption>: <text>" to stderr; the window installs one that shows a box.
//
// Thread contract: any thread may install a notifier or notify. The notifier
// runs on the thread that opens the link, while that thread holds the link's
// exchange lock: it must not call back into the link.

#include "link/device_layer_only.h"

#include <functional>

using LinkNotifier = std::function<void(const char* text, const char* caption)>;

// An empty notifier restores the default.
void set_link_notifier(LinkNotifier notifier);
void link_notify(const char* text, const char* caption);
