#pragma once
// Connecting to the sensor the way the window does: construct the model's
// class and initialize it on the board's port, then point the link's burst
// reads at the model's FIFO data register. No sampling rate is applied, so a
// rate set by one veltrix-cli call survives into the next.

#include <string>

#include "devices/ikor.h"

// `device` is freshly constructed; `port` empty means the window's discovery
// (VELTRIX_PORT, then the first USB CDC-ACM device). On failure prints the
// window's connection message for `mode` on stderr and returns false.
bool connect_device(ikor& device, int mode, const std::string& port);
