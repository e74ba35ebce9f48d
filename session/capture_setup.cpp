#include "session/capture_setup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture/capture_settings.h"
#include "devices/component_choices.h"

namespace veltrix::session {

int selected_components(ikor& device, const std::optional<std::vector<std::string>>& names, std::string& refusal) {
  const int offered = device.get_available_components();
  if (!names) {
    return offered;
  }
  int selected = 0;
  for (const std::string& name : *names) {
    const devices::ComponentChoice* component = devices::find_component(name);
    if (component == nullptr) {
      refusal = "\"" + name + "\" is not a component: gyro, accel, compass or temp.";
      return -1;
    }
    if ((offered & component->id) == 0) {
      refusal = std::string("The sensor has no ") + component->name + " component.";
      return -1;
    }
    selected |= component->id;
  }
  return selected;
}

std::string folder_problem(const std::string& folder) {
  const std::string unable = "Unable to log to " + folder + ": ";
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) {
    return unable + (errno == ENOENT ? "no such folder" : std::strerror(errno));
  }
  if (!S_ISDIR(status.st_mode)) {
    return unable + "not a folder";
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return unable + std::strerror(errno);
  }
  return {};
}

void apply_capture_setup(const CaptureSetup& setup) {
  using namespace capture::settings;
  EnableLogToConsole.store(setup.console);
  EnableLogToFile.store(setup.folder.has_value());
  FastCapture.store(setup.fast);
  FileLogFolder.set(setup.folder.value_or(""));
  select_components(setup.components);
}

}  // namespace veltrix::session
