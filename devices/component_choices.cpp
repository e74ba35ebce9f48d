#include "devices/component_choices.h"

#include "devices/ikor.h"

namespace veltrix::devices {

namespace {

constexpr ComponentChoice kComponents[] = {
    {"gyro", COMPONENT_GYRO},
    {"accel", COMPONENT_ACCEL},
    {"compass", COMPONENT_COMPASS},
    {"temp", COMPONENT_TEMP},
};

}  // namespace

std::span<const ComponentChoice> component_choices() { return kComponents; }

const ComponentChoice* find_component(std::string_view name) {
  for (const ComponentChoice& component : kComponents) {
    if (name == component.name) {
      return &component;
    }
  }
  return nullptr;
}

}  // namespace veltrix::devices
