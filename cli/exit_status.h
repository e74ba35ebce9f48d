#pragma once
// veltrix-cli's exit statuses.

namespace veltrix::cli {
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // sensor, link or file failure
inline constexpr int kExitUsage = 2;    // usage or input error

// diff tells "same" from "different" from a failure.
inline constexpr int kExitDifferent = 1;    // the registers differ
inline constexpr int kExitDiffFailure = 3;  // sensor, link or file failure

}  // namespace veltrix::cli
