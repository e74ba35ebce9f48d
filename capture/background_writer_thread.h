#pragma once
// The capture thread's body: polls `device` for data-ready samples, drops five
// warm-up samples, formats one line per sample for the console buffer and,
// with file logging on, writes the data log and the register log. Each
// recorded sample and each failure goes to `sink`. Runs while the run status
// is 1; returns 0.
//
// Thread contract: runs on its own thread, created and joined only by
// capture_control.h. Reads the capture settings at every sample; uses the
// device's link exchanges, which never interleave with another thread's.

#include "capture/capture_sink.h"
#include "devices/ikor.h"

int background_writer_thread(ikor* device, veltrix::capture::CaptureSink& sink);
