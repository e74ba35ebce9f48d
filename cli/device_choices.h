#pragma once
// The names veltrix-cli uses for rates, components and buses, with the device
// constants they stand for.

#include <span>
#include <string_view>

#include "devices/rate_choices.h"

namespace veltrix::cli {

using veltrix::devices::find_rate;
using veltrix::devices::rate_choices;
using veltrix::devices::RateChoice;

struct ComponentChoice {
  const char* name;
  int id;  // COMPONENT_* of devices/ikor.h
};

// In column order: gyro, accel, compass, temp.
std::span<const ComponentChoice> component_choices();
const ComponentChoice* find_component(std::string_view name);

}  // namespace veltrix::cli
