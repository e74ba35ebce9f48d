#pragma once
// Whether the board can still be talked to, for callers above the device
// layer that must not reach into the link.
//
// Thread contract: any thread, as the link functions they ask.

namespace veltrix::devices {

// True once the board was lost (its port hung up or failed): every exchange
// fails at once until it is connected again.
bool board_lost();

// Milliseconds the board has left every exchange unanswered; 0 while the
// last exchange was answered.
long board_unanswered_ms();

}  // namespace veltrix::devices
