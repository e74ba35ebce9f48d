#pragma once
// The names veltrix-cli uses for rates, components and buses, with the device
// constants they stand for.

#include "devices/component_choices.h"
#include "devices/rate_choices.h"

namespace veltrix::cli {

using veltrix::devices::component_choices;
using veltrix::devices::ComponentChoice;
using veltrix::devices::find_component;
using veltrix::devices::find_rate;
using veltrix::devices::rate_choices;
using veltrix::devices::RateChoice;

}  // namespace veltrix::cli
