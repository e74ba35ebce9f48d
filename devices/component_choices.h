#pragma once
// The component names a script uses (veltrix-cli's --components, the Python
// module's components=), with the COMPONENT_* constants they stand for.
//
// Thread contract: constants and pure functions only.

#include <span>
#include <string_view>

namespace veltrix::devices {

struct ComponentChoice {
  const char* name;
  int id;  // COMPONENT_* of devices/ikor.h
};

// In column order: gyro, accel, compass, temp.
std::span<const ComponentChoice> component_choices();
const ComponentChoice* find_component(std::string_view name);

}  // namespace veltrix::devices
