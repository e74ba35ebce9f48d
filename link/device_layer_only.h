#pragma once
// Included first by every public header of the link except link/link_status.h.
// Only the device layer talks to the link (besides the link's own tests, fuzz
// targets and benchmarks): they build with VELTRIX_LINK_USER, which
// veltrix_link gives to the targets that link it directly. The device layer
// links it privately, so capture/, cli/, ui/ and sim/ never get it, though the
// shared project root would let them name these headers.
//
// Thread contract: none; this header only stops the compile.

#ifndef VELTRIX_LINK_USER
#error "the link is private to the device layer: use the headers in devices/"
#endif
