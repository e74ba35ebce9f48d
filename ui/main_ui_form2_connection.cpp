// Choosing a model, connecting to it and adapting the window to the device.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <initializer_list>
#include <utility>

#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "devices/register_operations.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/stopped_operation.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

const QColor kLightGrey(211, 211, 211);

}  // namespace

void MainUIForm2::cmbDevices_SelectedIndexChanged() {
  // A connection is final for the run; the capture thread may be using the device.
  if (iKOR || !conntect_to_device(cmbDevices->currentText())) {
    return;
  }
  cmbDevices->setEnabled(false);
  QPalette list = cmbDevices->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    list.setColor(group, QPalette::Button, kLightGrey);
  }
  cmbDevices->setPalette(list);
  for (QWidget* control : std::initializer_list<QWidget*>{
           btnRefresh, btnStart, btnStop, btnwrite_to_register, btnClear, btnSelectFolder, rdSamplingRate20,
           rdSamplingRate50, rdSamplingRate100, rdSamplingRate200, rdCustomSampleRate, btnLoad, btnSave, btnCompare,
           btnRead, chkEnableDisplay, chkEnableFileLog, chkFastCapture, chkContinueAfterReconnect}) {
    control->setEnabled(true);
  }
}

bool MainUIForm2::conntect_to_device(const QString& pDevice) {
  const ModelEntry* model = find_model(pDevice.toStdString());
  if (model == nullptr) {
    return false;
  }
  const int modes = model->create()->get_available_modes();
  const int mode = modes == (MODE_I2C | MODE_SPI) ? prompts_.choose_connection_mode(this) : modes;
  if (mode != MODE_I2C && mode != MODE_SPI) {
    return false;
  }
  if (session_.connect(*model, mode, "") != 0) {
    show_error(QString::fromLatin1(veltrix::devices::connect_failure_message(mode)),
               QString::fromStdString(veltrix::devices::connect_failure_detail()));
    return false;
  }
  iKOR = session_.device();
  const auto not_connected = [this] {
    session_.disconnect();
    iKOR = nullptr;
    return false;
  };
  // A board that leaves the rate unanswered is not connected: the window
  // would show a rate nobody set and read back.
  const QString refused = QString::fromLatin1(veltrix::devices::connect_failure_message(mode));
  const auto rate = veltrix::devices::change_sampling_rate(*iKOR, RATE_50HZ);
  if (rate.stopped && veltrix::devices::board_stopped(rate.stopped->cause)) {
    const QString what = rate.stopped->written ? QStringLiteral(" Register %1 was written, but reading it back failed.")
                                               : QStringLiteral(" Register %1 was not written.");
    show_error(refused, veltrix::ui::failure_text(rate.stopped->cause, "") +
                            what.arg(veltrix::ui::register_named(*rate.stopped)));
    return not_connected();
  }
  update_sensor_ui_for_sensor(*iKOR);
  if (const auto cause = veltrix::devices::last_failure_cause();
      CurrentSampleRate == 0 && veltrix::devices::board_stopped(cause)) {
    show_error(refused,
               veltrix::ui::failure_text(cause, "") + QStringLiteral(" The sampling rate could not be read back."));
    return not_connected();
  }
  show_register_map();
  return true;
}

bool MainUIForm2::is_device_connected(bool showMessage) {
  if (iKOR) {
    return true;
  }
  if (showMessage) {
    show_error(QStringLiteral("Sensor is not connected. Please make sure the sensor is connected."));
  }
  return false;
}

void MainUIForm2::update_sensor_ui_for_sensor(ikor& device) {
  const int rates = device.get_available_sampling_rates();
  rdSamplingRate20->setVisible((rates & RATE_20HZ) != 0);
  rdSamplingRate50->setVisible((rates & RATE_50HZ) != 0);
  rdSamplingRate100->setVisible((rates & RATE_100HZ) != 0);
  rdSamplingRate200->setVisible((rates & RATE_200HZ) != 0);
  rdCustomSampleRate->hide();

  const int components = device.get_available_components();
  const std::pair<QCheckBox*, int> boxes[] = {{chkGyro, COMPONENT_GYRO},
                                              {chkAccel, COMPONENT_ACCEL},
                                              {chkCompass, COMPONENT_COMPASS},
                                              {chkTemp, COMPONENT_TEMP}};
  for (const auto& [box, bit] : boxes) {
    box->setVisible((components & bit) != 0);
  }
  for (const auto& [box, bit] : boxes) {
    box->setChecked((components & bit) != 0);
  }

  const int rate = veltrix::devices::current_rate_hz(device);
  CurrentSampleRate = rate;
  if (rate == 0) {
    // Not read back: no button claims a rate.
    veltrix::ui::show_no_rate({rdSamplingRate20, rdSamplingRate50, rdSamplingRate100, rdSamplingRate200});
    return;
  }
  const int k = get_current_sample_rate_constant(rate);
  if (k == -1) {
    rdCustomSampleRate->show();
    rdCustomSampleRate->setText(QStringLiteral("Custom ( %1 Hz )").arg(rate));
    rdCustomSampleRate->setChecked(true);
    return;
  }
  // A checked button of the group cannot be unchecked directly: checking the
  // matching one unchecks the rest.
  const std::pair<QRadioButton*, int> buttons[] = {{rdSamplingRate20, RATE_20HZ},
                                                   {rdSamplingRate50, RATE_50HZ},
                                                   {rdSamplingRate100, RATE_100HZ},
                                                   {rdSamplingRate200, RATE_200HZ}};
  for (const auto& [button, constant] : buttons) {
    if ((k & constant) != 0) {
      button->setChecked(true);
    }
  }
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
