#pragma once
// Test helper for the window: the process state a freshly started program
// has, a simulated board the window finds through VELTRIX_PORT, the window
// with scripted operator prompts, and access to its controls by name.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <string>

#include "devices/ikor.h"
#include "sim/board_sim.h"
#include "tests/ui/scripted_prompts.h"
#include "ui/main_ui_form2.h"

namespace veltrix::ui::test {

using veltrix::devices::kAllComponents;
// A capture's lines should appear within this even on a loaded machine.
inline constexpr int kCaptureTimeoutMs = 20000;

// Lines in the console buffer now.
int buffered_lines();

// Capture settings, console buffer, current device and link as at start-up,
// and no settings remembered: a fresh, empty settings folder.
void reset_process_state();
// The same, but keeping the settings: the program starting again.
void reset_run_state();
// The settings file the windows read and write.
QString settings_file();

class WindowHarness {
 public:
  WindowHarness();
  // Destroys the window (which stops a capture and closes the link), then
  // drops the device and stops the board.
  ~WindowHarness();

  // Closes the window, as the operator does, and starts a new one with the
  // process state of a new run; the settings and the board stay.
  void restart();
  // Starts a board serving `model_class` and points port discovery at it.
  sim::BoardSim& start_board(const std::string& model_class, sim::SensorOptions sensor = {});
  // Selects `model` in the device list; a mode question is answered `mode`.
  void select_model(const QString& model, int mode = MODE_I2C);
  // A board for `model_class`, then `model` selected over I2C, window shown.
  // False when the window did not connect.
  bool connect(const std::string& model_class, const QString& model, sim::SensorOptions sensor = {});

  template <typename W>
  W* child(const char* name) const {
    auto* widget = window->findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) {
      qFatal("the window has no %s", name);
    }
    return widget;
  }
  void click(const char* button_name) const;
  // Chooses `folder` through the folder button (which switches file logging
  // on) and presses Start.
  void start_logged_capture(const QString& folder);

  // The board's command lines since the last clear_commands().
  QStringList board_lines() const;

  ScriptedPrompts prompts;
  std::unique_ptr<sim::BoardSim> board;
  std::unique_ptr<VeltrixDataLoggerWFA_clr8xp::MainUIForm2> window;
};

}  // namespace veltrix::ui::test
