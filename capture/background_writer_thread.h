#pragma once
// The capture thread's body: polls `device` for data-ready samples, drops five
// warm-up samples, formats one line per sample for the console buffer and,
// with file logging on, writes the data log and the register log. What it
// does is told to `events`; what the report, sidecar and plot are made of
// goes to `account`. Runs while the run status is 1; returns 0.
//
// Thread contract: runs on its own thread, created and joined only by
// capture_control.h; calls `events` and `account` from this thread only.
// Reads the capture settings at every sample; uses the device's link
// exchanges, which never interleave with another thread's.

#include "capture/capture_account.h"
#include "capture/capture_events.h"
#include "devices/ikor.h"

int background_writer_thread(ikor* device, veltrix::capture::CaptureEvents& events,
                             veltrix::capture::CaptureAccount& account);
