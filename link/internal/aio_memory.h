#pragma once
// Plain allocation wrappers of the link. Any thread.

#include "link_internal.h"

[[nodiscard]] void* vtx_malloc(unsigned int numBytes);
int vtx_free(void* ptr);  // always 0
