#pragma once
// What the main window remembers between runs: the logging boxes and log
// folder, the components chosen for each model, the last model connected
// (a hint only: connecting writes to the sensor, so nothing is connected on
// its own) and the window's geometry. Read once at start, written at close.
//
// A damaged or unreadable settings file is ignored with one line on stderr:
// the window starts as on a first run. A single value of the wrong type or
// out of range (a folder that is gone, a geometry off every screen) is left
// out and keeps its first-run value.
//
// Thread contract: window thread only.

#include <QRect>
#include <QString>
#include <map>
#include <optional>

namespace veltrix::ui {

struct LoggingChoices {
  QString folder;  // "" for none
  bool file_log = false;
  bool console_display = true;
  bool fast_capture = false;
  bool continue_after_reconnect = false;
};

struct WindowChoices {
  std::optional<LoggingChoices> logging;
  QString last_model;                 // "" for none
  std::map<QString, int> components;  // COMPONENT_* bits by model name
  std::optional<QRect> geometry;      // the normal (not maximised) geometry
  bool maximized = false;
};

WindowChoices load_window_choices();
void save_window_choices(const WindowChoices& choices);

}  // namespace veltrix::ui
