#include "devices/write_read_back.h"

#include <cstdio>

namespace veltrix::devices {
namespace {

thread_local bool active = false;
thread_local std::vector<ReadBackDifference> kept;

}  // namespace

ReadBackScope::ReadBackScope() {
  kept.clear();
  active = true;
}

ReadBackScope::~ReadBackScope() {
  active = false;
  kept.clear();
}

std::vector<ReadBackDifference> ReadBackScope::differences() const { return kept; }

bool read_back_active() { return active; }

void keep_read_back_difference(const ReadBackDifference& difference) { kept.push_back(difference); }

std::string read_back_sentence(const ReadBackDifference& difference) {
  char text[48];
  std::snprintf(text, sizeof text, "Register %02X reads back %02X after writing %02X", difference.address,
                difference.read, difference.written);
  return text;
}

}  // namespace veltrix::devices
