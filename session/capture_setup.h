#pragma once
// What a face of the session (veltrix-cli, the Python module) settles before
// a capture starts: the components it records, whether its log folder can
// take the logs, and the capture settings (capture/capture_settings.h) made
// so. Refusals are sentences for the operator.
//
// Thread contract: the owner thread, while no capture runs.

#include <optional>
#include <string>
#include <vector>

#include "devices/ikor.h"

namespace veltrix::session {

struct CaptureSetup {
  int components = 0;                 // COMPONENT_* bits
  std::optional<std::string> folder;  // file logging exactly when set
  bool console = true;
  bool fast = false;  // block reads where the sensor allows them
};

// The COMPONENT_* bits of the named components (devices/component_choices.h;
// unset: all the sensor offers), or -1 with `refusal` set: "The sensor has no
// compass component.", or a name that is none.
int selected_components(ikor& device, const std::optional<std::vector<std::string>>& names, std::string& refusal);

// Why `folder` cannot take the logs, "Unable to log to DIR: no such folder"
// (or "not a folder", or the system's reason); "" when it can.
std::string folder_problem(const std::string& folder);

void apply_capture_setup(const CaptureSetup& setup);

}  // namespace veltrix::session
