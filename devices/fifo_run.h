#pragma once
// One run of the sensor's FIFO, as start_fifo set it up: the sensor queues a
// frame per sample (the selected components' data registers in register
// order). The caller keeps the run and hands it back to each FIFO operation;
// only the device reads or writes its fields.
//
// Thread contract: plain values, owned by one thread.

#include <vector>

#include "devices/component_bytes.h"

namespace veltrix::devices {

struct FifoRun {
  // How many frames of the current selection fill the FIFO (as if a frame
  // were one byte when nothing is selected).
  double frames_held() const;

  bool started = false;
  int components = 0;
  int frame_components[4] = {};  // in register order
  int frame_component_count = 0;
  int frame_bytes = 0;
  double rate_hz = 0;
  unsigned char saved_fifo_en = 0;
  unsigned char saved_user_ctrl = 0;
};

// What one read of the FIFO gave.
struct FifoBatch {
  // The decoded frames, oldest first. After an overflow only the frames read
  // before the flag came up: the later ones are in doubt and were dropped.
  std::vector<ComponentValues> samples;
  // The FIFO overflowed: the caller counts what was lost and starts the FIFO
  // again to resume on whole frames.
  bool overflowed = false;
};

}  // namespace veltrix::devices
