#pragma once
// Status codes the device layer adds to the link's (link/link_status.h).
//
// Thread contract: constants only.

#include "link/link_status.h"

inline constexpr long kStatusRateRefused = 1;      // set_sampling_rate: constant not offered
inline constexpr long kStatusNoCompass = 32;       // no compass answered with its identity
inline constexpr long kStatusNoRegister = 33;      // the sensor has no register for the operation
inline constexpr long kStatusFileOpenFailed = 40;  // register-map file cannot be opened or written
inline constexpr long kStatusFileRejected = 41;    // register-map file malformed or not for this table
