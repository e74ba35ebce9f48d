// veltrix-logger: the operator window. Takes no arguments of its own besides
// --help; Qt's options (-platform, -style, ...) reach QApplication.

#include <QApplication>
#include <cstdio>
#include <cstring>

#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"
#include "ui/qt_operator_prompts.h"
#include "ui/termination_signals.h"

namespace {

constexpr const char* kHelp = R"(Reads, sets and records Veltrix motion sensors on an evaluation board, in a window.
Usage: veltrix-logger [QT OPTIONS]

In the window you pick the sensor model (which connects it), see and edit its
whole register map, save or load the register values, choose a sampling rate
and the components to record, and start a capture: each sample appears as a
line in the console pane and, with file logging on, in a CSV data log.

The board's port is VELTRIX_PORT when set, otherwise the lowest-numbered USB
CDC-ACM device (/dev/ttyACMn).

Options:
  -h, --help  print this help and exit
)";

// Answered before QApplication exists, so it needs no display.
bool asks_for_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (asks_for_help(argc, argv)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  veltrix::ui::QtOperatorPrompts prompts;
  VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
  (void)veltrix::ui::close_on_termination_signals(window);
  window.show();
  return QApplication::exec();
}
