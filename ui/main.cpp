// veltrix-logger: the operator window. Takes no arguments.

#include <QApplication>

#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"
#include "ui/qt_operator_prompts.h"
#include "ui/termination_signals.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  veltrix::ui::QtOperatorPrompts prompts;
  VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
  (void)veltrix::ui::close_on_termination_signals(window);
  window.show();
  return QApplication::exec();
}
