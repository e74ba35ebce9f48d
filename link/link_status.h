#pragma once
// Status integers returned by every link operation and passed up unchanged by
// the device layer. 0 is success; the device layer adds its own codes in
// devices/device_status.h.

inline constexpr long kStatusOk = 0;
inline constexpr long kStatusReplyTooLong = 2;     // a read reply would exceed 1032 characters
inline constexpr long kStatusPortFailed = 53;      // port not opened or not configured
inline constexpr long kStatusNoReply = 54;         // no usable reply or data
inline constexpr long kStatusWriteOrTimeout = 55;  // write failed, reply late, or port gone
