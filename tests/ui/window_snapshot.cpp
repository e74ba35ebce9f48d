// Writes a picture of the window connected to a simulated KOR 73 board after
// a one-second capture, for a person to compare with the designed layout:
//   window_snapshot OUT.png
// Runs on any Qt platform; use QT_QPA_PLATFORM=offscreen without a display.

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

#include "capture/capture_control.h"
#include "devices/ikor.h"
#include "sim/board_sim.h"
#include "tests/ui/scripted_prompts.h"
#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_snapshot OUT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = "kor73";
  veltrix::sim::BoardSim board(options);
  if (board.start() != 0) {
    std::fprintf(stderr, "the simulated board did not start\n");
    return 1;
  }
  setenv("VELTRIX_PORT", board.port_path().c_str(), 1);
  int written = 1;
  {
    veltrix::ui::test::ScriptedPrompts prompts;
    VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
    window.show();
    auto* devices = window.findChild<QComboBox*>(QStringLiteral("cmbDevices"));
    devices->setCurrentIndex(devices->findText(QStringLiteral("KOR 73")));
    window.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    QElapsedTimer capturing;
    capturing.start();
    while (capturing.elapsed() < 1000) {
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    window.findChild<QPushButton*>(QStringLiteral("btnStop"))->click();
    veltrix::capture::control::wait();
    window.tmDataUpdater_Tick();
    QApplication::processEvents();
    written = window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
  }
  iKOR.reset();
  return written;
}
