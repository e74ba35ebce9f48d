#pragma once
// The capture clock: elapsed capture time in milliseconds on the steady clock,
// and the once-per-capture file flag.
//
// Thread contract: the controller (capture_control.h) writes every member
// before it creates the capture thread, and only after the previous one has
// been joined; while a capture runs only the capture thread writes time_ms
// and first_time_logToFile. Thread creation and join order these accesses, so
// the members are plain values.

#include <cstdint>

struct vtxn_base_config {
  vtxn_base_config() = delete;

  static inline std::int64_t counter_start = 0;  // clock reading at the capture start
  static inline double pc_freq = 1.0;            // clock counts per millisecond
  static inline double time_ms = 0.0;            // elapsed capture time, as last sampled
  // 0 before any capture, 1 while this capture's data log is not open yet, 2 once it is.
  static inline int first_time_logToFile = 0;

  // Stores the counts per millisecond, then the current reading.
  static void start_counter(double* counts_per_ms, std::int64_t* start);
  // Milliseconds since the reading `start`, fraction kept. Note the argument
  // order, the opposite of start_counter's.
  static double get_counter(const std::int64_t* start, const double* counts_per_ms);
};
