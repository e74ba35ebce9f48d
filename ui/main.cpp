// veltrix-logger: the operator window. Takes --help and --connect MODEL of
// its own; Qt's options (-platform, -style, ...) reach QApplication.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "devices/model_catalogue.h"
#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"
#include "ui/qt_operator_prompts.h"
#include "ui/termination_signals.h"

namespace {

constexpr const char* kHelp = R"(Reads, sets and records Veltrix motion sensors on an evaluation board, in a window.
Usage: veltrix-logger [--connect MODEL] [QT OPTIONS]

In the window you pick the sensor model (which connects it), see and edit its
whole register map, save or load the register values, choose a sampling rate
and the components to record, and start a capture: each sample appears as a
line in the console pane and, with file logging on, in a CSV data log.

The board's port is VELTRIX_PORT when set, otherwise the lowest-numbered USB
CDC-ACM device (/dev/ttyACMn).

Options:
  -h, --help       print this help and exit
  --connect MODEL  connect to MODEL (as listed, e.g. "KOR 73") once the window
                   is up, as choosing it in the device list does; for a board
                   whose model is known, such as the simulated board the run
                   script starts
)";

constexpr int kExitUsage = 2;

struct Arguments {
  bool help = false;
  std::optional<std::string> connect;
  std::string error;
};

// Read before QApplication exists, so help and mistakes need no display.
// Everything else is left to Qt.
Arguments read_arguments(int argc, char** argv) {
  Arguments arguments;
  constexpr std::string_view kConnect = "--connect";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      arguments.help = true;
    } else if (arg == kConnect || arg.starts_with("--connect=")) {
      if (arg == kConnect && i + 1 >= argc) {
        arguments.error = "--connect needs a model, e.g. --connect \"KOR 73\"";
        break;
      }
      const std::string model(arg == kConnect ? std::string_view(argv[++i]) : arg.substr(kConnect.size() + 1));
      if (find_model(model) == nullptr) {
        arguments.error = "--connect: \"" + model + "\" is not a model of the list:";
        for (const ModelEntry& entry : model_catalogue()) {
          arguments.error += std::string(" \"") + entry.name + "\"";
        }
        break;
      }
      arguments.connect = model;
    }
  }
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = read_arguments(argc, argv);
  if (arguments.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (!arguments.error.empty()) {
    std::fprintf(stderr, "veltrix-logger: %s\n", arguments.error.c_str());
    return kExitUsage;
  }
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  veltrix::ui::QtOperatorPrompts prompts;
  VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
  (void)veltrix::ui::close_on_termination_signals(window);
  window.show();
  if (arguments.connect) {
    // Once the window is up, so a failure's box has it behind.
    QTimer::singleShot(0, &window,
                       [&window, model = QString::fromStdString(*arguments.connect)] { window.choose_model(model); });
  }
  return QApplication::exec();
}
