#pragma once
// Included first by every header of link/internal. Those headers expose the
// link's record, locks and exchange primitives, which only the link itself,
// its tests and its fuzz targets may use (they build with
// VELTRIX_LINK_INTERNAL, through the target veltrix_link_internal). The
// device layer uses link/board_protocol.h, link/port_discovery.h,
// link/link_status.h and link/link_notifier.h.
//
// Thread contract: none; this header only stops the compile.

#ifndef VELTRIX_LINK_INTERNAL
#error "link/internal is private to the link: use its public headers in link/"
#endif
