#pragma once
// Status integers returned by every link operation and passed up unchanged by
// the device layer. 0 is success; the device layer adds its own codes in
// devices/device_status.h. Typed int like the port and ring functions; the
// command functions that return long take them unchanged.
//
// The one header of the link the layers above may include (through
// devices/device_status.h), so it carries no guard: statuses pass up
// unchanged, which makes the link's codes and the device layer's one
// vocabulary with one home for each number; constants reach nothing in the
// link.
//
// Thread contract: constants only.

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusReplyTooLong = 2;     // a read reply would exceed 1032 characters
inline constexpr int kStatusPortFailed = 53;      // port not opened or not configured
inline constexpr int kStatusNoReply = 54;         // no usable reply or data
inline constexpr int kStatusWriteOrTimeout = 55;  // write failed, reply late, or port gone
