// The logging controls: sampling rate, components, outputs, log folder,
// Start and Stop, the console pane's refresh from the console buffer, and
// the window's state following the capture's events.

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QTextCursor>
#include <QTimer>
#include <initializer_list>
#include <utility>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/ikor.h"
#include "devices/rate_choices.h"
#include "devices/register_operations.h"
#include "ui/console_update.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/stopped_operation.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

int MainUIForm2::get_current_sample_rate_constant(int rate) {
  constexpr int kButtonRates = RATE_20HZ | RATE_50HZ | RATE_100HZ | RATE_200HZ;
  const veltrix::devices::RateChoice* choice = veltrix::devices::find_rate(rate);
  return choice != nullptr && (choice->constant & kButtonRates) != 0 ? choice->constant : -1;
}

void MainUIForm2::rdSamplingRate_CheckedChanged(QRadioButton* sender) {
  if (!is_device_connected() || !sender->isChecked()) {
    return;
  }
  const int rate = sender->property("tag").toString().toInt();
  const auto change = veltrix::devices::change_sampling_rate(*iKOR, get_current_sample_rate_constant(rate));
  if (change.stopped) {
    veltrix::ui::show_no_rate({sender});
    show_error(veltrix::ui::failure_text(change.stopped->cause, veltrix::devices::kSensorWriteError),
               QStringLiteral("Register %1 was not written; the sampling rate is not known.")
                   .arg(veltrix::ui::register_named(*change.stopped)));
    return;
  }
  show_register_map();
  CurrentSampleRate = rate;
  show_read_back(change.read_back);
}

void MainUIForm2::rdCustomSampleRate_CheckedChanged() {
  if (!rdCustomSampleRate->isChecked()) {
    rdCustomSampleRate->hide();
  }
}

void MainUIForm2::chkGyro_CheckedChanged() { veltrix::capture::settings::chkGyroStatus = chkGyro->isChecked(); }
void MainUIForm2::chkAccel_CheckedChanged() { veltrix::capture::settings::chkAccelStatus = chkAccel->isChecked(); }
void MainUIForm2::chkCompass_CheckedChanged() { veltrix::capture::settings::chkCompStatus = chkCompass->isChecked(); }
void MainUIForm2::chkTemp_CheckedChanged() { veltrix::capture::settings::chkTempStatus = chkTemp->isChecked(); }

void MainUIForm2::enable_start_for_outputs() {
  btnStart->setEnabled(veltrix::capture::settings::EnableLogToConsole.load() ||
                       veltrix::capture::settings::EnableLogToFile.load());
}

void MainUIForm2::chkHideDisplay_CheckedChanged() {
  veltrix::capture::settings::EnableLogToConsole = chkEnableDisplay->isChecked();
  if (veltrix::capture::settings::EnableLogToConsole.load()) {
    tmDataUpdater->start();
  } else {
    tmDataUpdater->stop();
  }
  enable_start_for_outputs();
}

void MainUIForm2::chkEnableFileLog_CheckedChanged() {
  if (chkEnableFileLog->isChecked() && veltrix::capture::settings::FileLogFolder.get().empty()) {
    if (const auto folder = prompts_.pick_folder(this)) {
      txtSelectedFolder->setText(*folder);
      veltrix::capture::settings::FileLogFolder.set(folder->toStdString());
    } else {
      const QSignalBlocker quiet(chkEnableFileLog);
      chkEnableFileLog->setChecked(false);
    }
  }
  veltrix::capture::settings::EnableLogToFile = chkEnableFileLog->isChecked();
  enable_start_for_outputs();
}

void MainUIForm2::btnSelectFolder_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto folder = prompts_.pick_folder(this);
  if (!folder) {
    return;
  }
  txtSelectedFolder->setText(*folder);
  veltrix::capture::settings::FileLogFolder.set(folder->toStdString());
  chkEnableFileLog->setChecked(!folder->isEmpty());
}

void MainUIForm2::restore_logging(const veltrix::ui::LoggingChoices& logging) {
  txtSelectedFolder->setText(logging.folder);
  veltrix::capture::settings::FileLogFolder.set(logging.folder.toStdString());
  chkEnableFileLog->setChecked(logging.file_log);
  veltrix::capture::settings::EnableLogToFile = logging.file_log;
  chkEnableDisplay->setChecked(logging.console_display);
  veltrix::capture::settings::EnableLogToConsole = logging.console_display;
  chkFastCapture->setChecked(logging.fast_capture);
  veltrix::capture::settings::FastCapture = logging.fast_capture;
  chkContinueAfterReconnect->setChecked(logging.continue_after_reconnect);
}

veltrix::ui::LoggingChoices MainUIForm2::logging_choices() const {
  return {QString::fromStdString(veltrix::capture::settings::FileLogFolder.get()), chkEnableFileLog->isChecked(),
          chkEnableDisplay->isChecked(), chkFastCapture->isChecked(), chkContinueAfterReconnect->isChecked()};
}

// The boxes of the components the device offers are the visible ones.
int MainUIForm2::chosen_components() const {
  int chosen = 0;
  for (const auto& [box, bit] : {std::pair{chkGyro, COMPONENT_GYRO}, std::pair{chkAccel, COMPONENT_ACCEL},
                                 std::pair{chkCompass, COMPONENT_COMPASS}, std::pair{chkTemp, COMPONENT_TEMP}}) {
    if (!box->isHidden() && box->isChecked()) {
      chosen |= bit;
    }
  }
  return chosen;
}

void MainUIForm2::set_capturing(bool capturing) {
  btnStart->setVisible(!capturing);
  btnStop->setVisible(capturing);
  for (QWidget* control : std::initializer_list<QWidget*>{btnLoad, chkEnableDisplay, chkEnableFileLog, chkFastCapture,
                                                          chkContinueAfterReconnect, btnwrite_to_register, btnRead}) {
    control->setEnabled(!capturing);
  }
}

void MainUIForm2::btnStart_Click() {
  if (!is_device_connected()) {
    return;
  }
  // The previous capture may still be finishing its last sample after Stop;
  // waiting for it (one sample period at most) keeps this click, and its
  // last events are heard before the new capture's.
  veltrix::capture::control::wait();
  capture_events_.deliver_queued();
  continued_.reset();
  auto options = begin_capture_extras();
  if (chkContinueAfterReconnect->isChecked()) {
    continued_ = std::make_unique<veltrix::capture::ContinuedCapture>(capture_events_, std::move(options),
                                                                      /*hold=*/false);
  }
  if (!(continued_ ? continued_->start(*iKOR) : veltrix::capture::control::start(*iKOR, std::move(options)))) {
    return;
  }
  if (veltrix::capture::settings::EnableLogToConsole.load()) {
    tmDataUpdater->start();
  }
  set_capturing(true);
}

void MainUIForm2::btnStop_Click() {
  if (!is_device_connected()) {
    return;
  }
  veltrix::capture::control::request_stop();
  if (std::exchange(awaiting_board_, false)) {
    continued_->finish();
    if (const QString failures = std::exchange(held_failures_, {}); !failures.isEmpty()) {
      show_error(failures);
    }
  }
  tmDataUpdater->stop();
  set_capturing(false);
}

void MainUIForm2::tmDataUpdater_Tick() {
  const std::string snapshot = veltrix::capture::console_buffer::snapshot();
  const auto update = veltrix::ui::console_update(console_shown_, snapshot);
  switch (update.kind) {
    case veltrix::ui::ConsoleUpdate::Kind::kNone:
      return;
    case veltrix::ui::ConsoleUpdate::Kind::kAppend: {
      QTextCursor end(txtDataLogging->document());
      end.movePosition(QTextCursor::End);
      end.insertText(latin1(update.text));
      break;
    }
    case veltrix::ui::ConsoleUpdate::Kind::kReplace:
      txtDataLogging->setPlainText(latin1(update.text));
      break;
  }
  console_shown_ = snapshot;
  txtDataLogging->moveCursor(QTextCursor::End);
  txtDataLogging->ensureCursorVisible();
}

void MainUIForm2::wire_capture_events() {
  using veltrix::ui::CaptureEventSignals;
  connect(&capture_events_, &CaptureEventSignals::capture_note, this, &MainUIForm2::capture_note);
  connect(&capture_events_, &CaptureEventSignals::capture_waiting, this, &MainUIForm2::capture_waiting);
  connect(&capture_events_, &CaptureEventSignals::capture_failure, this, &MainUIForm2::capture_failure);
  connect(&capture_events_, &CaptureEventSignals::capture_ended, this, &MainUIForm2::capture_ended);
}

// A data log that cannot be created or written while the capture goes on is
// shown at once. The failures of a capture that is ending (among them the
// one that ended it) wait for its end, so the operator gets one box. The run
// status is back at 1 only after the next Start, which hears every event of
// the previous capture first: a failure found running came from a capture
// that was still going on.
void MainUIForm2::capture_failure(const QString& message) {
  if (veltrix::capture::settings::BackgroundThreadRunningStatus.load() == 1) {
    show_error(message);
    return;
  }
  held_failures_ = held_failures_.isEmpty() ? message : held_failures_ + QLatin1Char('\n') + message;
}

// A capture that ended by itself (the board went away or stopped answering)
// leaves the window idle, as Stop does, with the reason in the report line
// and in the box. A continued capture whose board went away stays capturing
// while it waits for the board, and the status line alone tells of the loss.
void MainUIForm2::capture_ended(veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport& report) {
  if (shut_down_) {
    return;
  }
  const QString why = QString::fromLatin1(veltrix::capture::end_reason_text(reason));
  awaiting_board_ = continued_ && veltrix::capture::board_loss(reason) && !btnStop->isHidden();
  if (!why.isEmpty() && !btnStop->isHidden() && !awaiting_board_) {
    // Its last lines, the reason among them, are not left unpainted.
    if (tmDataUpdater->isActive()) {
      tmDataUpdater_Tick();
    }
    tmDataUpdater->stop();
    set_capturing(false);
  }
  capture_end_ = why;
  capture_waiting_.clear();
  capture_report_ = QString::fromStdString(veltrix::capture::report_line(report));
  show_capture_outcome();
  QString failures = std::exchange(held_failures_, {});
  if (awaiting_board_) {
    // The rest (a sample the loss cut short) waits for how the capture goes on.
    QStringList others = failures.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    others.removeAll(why);
    held_failures_ = others.join(QLatin1Char('\n'));
    return;
  }
  if (!why.isEmpty() && !failures.contains(why)) {
    failures = failures.isEmpty() ? why : why + QLatin1Char('\n') + failures;
  }
  if (!failures.isEmpty()) {
    show_error(failures);
  }
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
