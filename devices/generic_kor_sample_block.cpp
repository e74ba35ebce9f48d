#include <algorithm>
#include <array>
#include <cassert>
#include <iterator>

#include "devices/generic_kor.h"
#include "devices/register_row.h"

namespace veltrix::devices {

namespace {

constexpr int kBlockComponents[] = {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP};

}  // namespace

std::optional<SampleBlock> GenericKor::plan_sample_block(int components) {
  if (addr_int_status == kAbsentAddress) {
    return std::nullopt;
  }
  struct Span {
    int first;  // -1: the family lacks it
    int length;
  };
  std::array<Span, std::size(kBlockComponents)> spans{};
  const int status = addr_int_status;
  int end = status + 1;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const int component = kBlockComponents[i];
    const unsigned char first = data_register(component);
    spans[i] = {first == kAbsentAddress ? -1 : first, component_byte_count(component)};
    if ((components & component) != 0) {
      if (spans[i].first < 0) {
        return std::nullopt;
      }
      end = std::max(end, spans[i].first + spans[i].length);
    }
  }
  // Every register after INT_STATUS up to the end must be some component's.
  for (int reg = status + 1; reg < end;) {
    const auto covering = std::find_if(spans.begin(), spans.end(), [reg](const Span& span) {
      return span.first >= 0 && reg >= span.first && reg < span.first + span.length;
    });
    if (covering == spans.end()) {
      return std::nullopt;
    }
    reg = covering->first + covering->length;
  }
  return SampleBlock{components, static_cast<unsigned short>(end - status)};
}

long GenericKor::read_sample_block(const SampleBlock& block, bool& ready, ComponentValues& values) {
  unsigned char bytes[256] = {};
  assert(block.length > 0 && block.length <= sizeof bytes);
  if (const long status = read_registers(addr_int_status, block.length, bytes); status != 0) {
    return status;
  }
  ready = (bytes[0] & kDataReady) != 0;
  if (!ready) {
    return 0;
  }
  for (const int component : kBlockComponents) {
    if ((block.components & component) != 0) {
      decode_component(component, bytes + (data_register(component) - addr_int_status), values.of(component));
    }
  }
  return 0;
}

}  // namespace veltrix::devices
