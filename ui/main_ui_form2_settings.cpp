// What the window remembers between runs (ui/window_settings.h), applied at
// start and after a connection, and taken at close.

#include <QCheckBox>
#include <QComboBox>
#include <utility>

#include "devices/ikor.h"
#include "ui/main_ui_form2.h"

namespace VeltrixDataLoggerWFA_clr8xp {

void MainUIForm2::restore_choices() {
  remembered_ = veltrix::ui::load_window_choices();
  if (remembered_.logging) {
    restore_logging(*remembered_.logging);
  }
  // A hint only: connecting writes to the sensor, so the operator chooses.
  if (!remembered_.last_model.isEmpty()) {
    cmbDevices->setPlaceholderText(QStringLiteral("%1 (last used)").arg(remembered_.last_model));
  }
  if (remembered_.geometry) {
    setGeometry(*remembered_.geometry);
    if (remembered_.maximized) {
      setWindowState(windowState() | Qt::WindowMaximized);
    }
  }
}

void MainUIForm2::restore_model_choices() {
  if (!iKOR) {
    return;
  }
  const auto chosen = remembered_.components.find(cmbDevices->currentText());
  if (chosen != remembered_.components.end()) {
    for (const auto& [box, bit] : {std::pair{chkGyro, COMPONENT_GYRO}, std::pair{chkAccel, COMPONENT_ACCEL},
                                   std::pair{chkCompass, COMPONENT_COMPASS}, std::pair{chkTemp, COMPONENT_TEMP}}) {
      if (!box->isHidden()) {
        box->setChecked((chosen->second & bit) != 0);
      }
    }
  }
  // Both outputs may have been left off.
  enable_start_for_outputs();
}

void MainUIForm2::remember_choices() {
  remembered_.logging = logging_choices();
  if (iKOR) {
    remembered_.last_model = cmbDevices->currentText();
    remembered_.components[remembered_.last_model] = chosen_components();
  }
  remembered_.maximized = isMaximized();
  remembered_.geometry = remembered_.maximized ? normalGeometry() : geometry();
  veltrix::ui::save_window_choices(remembered_);
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
