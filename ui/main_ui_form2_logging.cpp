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
#include <chrono>
#include <initializer_list>
#include <limits>
#include <utility>

#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/ikor.h"
#include "devices/rate_choices.h"
#include "devices/register_operations.h"
#include "devices/register_sentences.h"
#include "session/sentences.h"
#include "ui/console_update.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/stopped_operation.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// A stopped capture ends after its sample in progress: well within this.
constexpr std::chrono::seconds kCaptureEndWait{5};

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
    show_messages(veltrix::devices::rate_messages(change, rate));
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
  capturing_ = capturing;
  btnStart->setVisible(!capturing);
  btnStop->setVisible(capturing);
  for (QWidget* control : std::initializer_list<QWidget*>{btnLoad, chkEnableDisplay, chkEnableFileLog, chkFastCapture,
                                                          chkContinueAfterReconnect, btnwrite_to_register, btnRead}) {
    control->setEnabled(!capturing);
  }
}

void MainUIForm2::btnStart_Click() {
  if (capturing_ || !is_device_connected()) {
    return;
  }
  // The previous capture may still be finishing its last sample after Stop;
  // waiting for it (one sample period at most) keeps this click, and its
  // last events are heard before the new capture's.
  (void)session_.wait_for(kCaptureEndWait);
  session_signals_.deliver_queued();
  iKOR = session_.device();
  veltrix::session::CaptureRun run = begin_capture_extras();
  if (chkContinueAfterReconnect->isChecked()) {
    // Until the board is back or the operator presses Stop.
    run.continue_seconds = std::numeric_limits<double>::infinity();
  }
  if (!session_.start(run)) {
    session_signals_.deliver_queued();
    return;
  }
  if (veltrix::capture::settings::EnableLogToConsole.load()) {
    tmDataUpdater->start();
  }
  set_capturing(true);
}

void MainUIForm2::btnStop_Click() {
  if (!capturing_) {
    return;
  }
  session_.stop();
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
  using veltrix::ui::SessionSignals;
  connect(&session_signals_, &SessionSignals::capture_note, this, &MainUIForm2::capture_note);
  connect(&session_signals_, &SessionSignals::capture_waiting, this, &MainUIForm2::capture_waiting);
  connect(&session_signals_, &SessionSignals::capture_failure, this, &MainUIForm2::capture_failure);
  connect(&session_signals_, &SessionSignals::capture_ended, this, &MainUIForm2::capture_ended);
}

// A failure met while the capture goes on (a data log that cannot be
// written while the console goes on) is shown at once; those of a capture
// that is ending come with its end, in one box.
void MainUIForm2::capture_failure(const QString& message, bool capture_goes_on) {
  if (!capture_goes_on) {
    return;
  }
  failures_shown_.append(message);
  show_error(message);
}

// A capture that ended by itself (the board went away or stopped answering,
// or did not come back) leaves the window idle, as Stop does, with its report
// beside the console and whatever went wrong in one box.
void MainUIForm2::capture_ended(const veltrix::session::Outcome& outcome) {
  if (shut_down_) {
    return;
  }
  if (capturing_) {
    // Its last lines, the reason among them, are not left unpainted.
    if (tmDataUpdater->isActive()) {
      tmDataUpdater_Tick();
    }
    tmDataUpdater->stop();
    set_capturing(false);
  }
  capture_end_ = QString::fromStdString(veltrix::session::end_sentence(outcome));
  capture_waiting_.clear();
  capture_gaps_.clear();
  QStringList report;
  for (const std::string& line : veltrix::session::report_lines(outcome)) {
    report.append(QString::fromStdString(line));
  }
  capture_report_ = report.join(QLatin1Char('\n'));
  QStringList failures;
  for (const std::string& failure : outcome.failures) {
    const QString text = QString::fromStdString(failure);
    if (!failures_shown_.removeOne(text)) {
      failures.append(text);
    }
  }
  if (!outcome.gaps.empty()) {
    // The capture went on with the board that came back: the window follows it.
    iKOR = session_.device();
  }
  show_capture_outcome();
  if (!failures.isEmpty()) {
    show_error(failures.join(QLatin1Char('\n')));
  }
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
