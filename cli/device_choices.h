#pragma once
// The names veltrix-cli uses for rates, components and buses, with the device
// constants they stand for.

#include <span>
#include <string_view>

namespace veltrix::cli {

struct RateChoice {
  int hz;
  int constant;  // RATE_* of devices/ikor.h
};

struct ComponentChoice {
  const char* name;
  int id;  // COMPONENT_* of devices/ikor.h
};

// Ascending by rate.
std::span<const RateChoice> rate_choices();
const RateChoice* find_rate(int hz);

// In column order: gyro, accel, compass, temp.
std::span<const ComponentChoice> component_choices();
const ComponentChoice* find_component(std::string_view name);

}  // namespace veltrix::cli
