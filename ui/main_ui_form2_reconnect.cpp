// A board that went away (unplugged, or no longer answering) and connecting
// to it again: the status line under the device list, the Reconnect button,
// and the watch that reconnects on its own when the same board returns.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/continued_capture.h"
#include "devices/board_health.h"
#include "devices/board_identity.h"
#include "devices/board_reconnect.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "devices/register_operations.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/status_label.h"
#include "ui/window_shortcuts.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

using veltrix::devices::BoardSighting;

constexpr int kWatchIntervalMs = 500;
const char* const kDisconnected = "Board disconnected: waiting for it to return";
const char* const kNotAnswering = "Board not answering";

QString hex_byte(unsigned char value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper(); }

bool capture_running() { return veltrix::capture::settings::BackgroundThreadRunningStatus.load() == 1; }

QString restore_summary(const veltrix::devices::Restore& restore) {
  QString text = QStringLiteral("Reconnected: %1 Hz, %2 register writes restored")
                     .arg(restore.rate_hz)
                     .arg(restore.registers_written);
  if (restore.differences.empty()) {
    return text + QStringLiteral(", all read back");
  }
  for (const auto& difference : restore.differences) {
    text += QStringLiteral("; %1 reads %2 (wrote %3)")
                .arg(hex_byte(difference.address), hex_byte(difference.read), hex_byte(difference.written));
  }
  return text;
}

}  // namespace

// Beside the section's title (the status line under the device list is the
// layout's): no described control moves.
void MainUIForm2::build_reconnect_line() {
  btnReconnect = new QPushButton(QStringLiteral("Reconnect"), panel2);
  btnReconnect->setObjectName(QStringLiteral("btnReconnect"));
  btnReconnect->setGeometry(138, 3, 70, 22);
  btnReconnect->setToolTip(QStringLiteral("Connect to the board again and restore its settings"));
  btnReconnect->setAccessibleName(btnReconnect->toolTip());
  veltrix::ui::give_shortcut(btnReconnect, veltrix::ui::kReconnectKeys);
  // Reached by its shortcut: the window's tab order stays as designed.
  btnReconnect->setFocusPolicy(Qt::NoFocus);
  btnReconnect->setEnabled(false);
  btnReconnect->hide();
  tmBoardWatch = new QTimer(this);
  tmBoardWatch->setObjectName(QStringLiteral("tmBoardWatch"));
  tmBoardWatch->setInterval(kWatchIntervalMs);
}

void MainUIForm2::wire_reconnect() {
  connect(btnReconnect, &QPushButton::clicked, this, &MainUIForm2::btnReconnect_Click);
  connect(tmBoardWatch, &QTimer::timeout, this, &MainUIForm2::watch_board);
  connect(&capture_events_, &veltrix::ui::CaptureEventSignals::capture_ended, this,
          [this](veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport&) {
            if (veltrix::capture::board_loss(reason)) {
              board_went_away(reason == veltrix::capture::EndReason::kBoardLost);
            }
          });
  // Watching starts with the first connection; the device list is not
  // offered again after it.
  connect(cmbDevices, &QComboBox::currentIndexChanged, this, [this] {
    if (iKOR) {
      tmBoardWatch->start();
    }
  });
}

void MainUIForm2::board_went_away(bool link_lost) {
  if (shut_down_ || !iKOR) {
    return;
  }
  link_lost_ = link_lost_ || link_lost;
  if (!board_away_) {
    board_away_ = true;
    port_seen_gone_ = false;
  }
  lblBoardStatus->setText(QString::fromLatin1(link_lost_ ? kDisconnected : kNotAnswering));
  lblBoardStatus->show();
  btnReconnect->setEnabled(true);
  btnReconnect->show();
  tmBoardWatch->start();
}

// While connected it notices a board lost or silent between captures (a
// running capture reports its own end); while away it looks for the board.
// A board found at once after it stopped answering is the one that stopped:
// only one that hung up, or whose port went and came back, is taken on its
// own.
void MainUIForm2::watch_board() {
  if (shut_down_ || !iKOR || capture_running()) {
    return;
  }
  if (!board_away_) {
    if (veltrix::devices::board_lost()) {
      board_went_away(true);
    } else if (veltrix::devices::board_unanswered_ms() > 0) {
      board_went_away(false);
    }
    return;
  }
  const auto found = veltrix::devices::find_same_board(veltrix::devices::remembered_board());
  if (found.sighting == BoardSighting::kNone) {
    port_seen_gone_ = true;
    return;
  }
  if (found.sighting == BoardSighting::kSame && (link_lost_ || port_seen_gone_)) {
    reconnect_to(found.port);
  }
}

void MainUIForm2::btnReconnect_Click() {
  if (!board_away_ || capture_running()) {
    return;
  }
  const auto board = veltrix::devices::remembered_board();
  const auto found = veltrix::devices::find_same_board(board);
  if (found.sighting == BoardSighting::kNone) {
    show_error(QStringLiteral("The board is not back yet."),
               QStringLiteral("No board was found at %1.")
                   .arg(QString::fromStdString(board.port_named ? board.port : std::string("any USB port"))));
    return;
  }
  if (found.sighting == BoardSighting::kOther) {
    const QString question =
        QStringLiteral("The board at %1 has serial number %2, not %3. Connect to it and give it this board's settings?")
            .arg(QString::fromStdString(found.port),
                 found.serial.empty() ? QStringLiteral("(none)") : QString::fromStdString(found.serial),
                 board.serial.empty() ? QStringLiteral("(none)") : QString::fromStdString(board.serial));
    if (!prompts_.confirm(this, QString::fromLatin1(kMessageCaption), question)) {
      return;
    }
  }
  reconnect_to(found.port);
}

bool MainUIForm2::reconnect_to(const std::string& port) {
  const ModelEntry* model = find_model(description_.model_name);
  if (model == nullptr) {
    return false;
  }
  const int mode = description_.bus == "SPI" ? MODE_SPI : MODE_I2C;
  const int components = chosen_components();
  // The capture that lost the board may still be finishing with the old device.
  veltrix::capture::control::wait();
  std::unique_ptr<ikor> device = model->create();
  const auto restore = veltrix::devices::reconnect_device(*device, mode, port);
  if (restore.status != 0) {
    // Tried once: the next attempt on its own waits for the port to go and come back.
    port_seen_gone_ = false;
    link_lost_ = false;
    const std::string detail = veltrix::devices::connect_failure_detail();
    lblBoardStatus->setText(QStringLiteral("%1 (reconnecting failed%2)")
                                .arg(QString::fromLatin1(kNotAnswering),
                                     detail.empty() ? QString() : ": " + QString::fromStdString(detail)));
    return false;
  }
  iKOR = std::move(device);
  description_.port_path = port;
  board_away_ = false;
  link_lost_ = false;
  btnReconnect->hide();
  update_sensor_ui_for_sensor(*iKOR);
  for (const auto& [box, bit] : {std::pair{chkGyro, COMPONENT_GYRO}, std::pair{chkAccel, COMPONENT_ACCEL},
                                 std::pair{chkCompass, COMPONENT_COMPASS}, std::pair{chkTemp, COMPONENT_TEMP}}) {
    if (!box->isHidden()) {
      box->setChecked((components & bit) != 0);
    }
  }
  show_register_map();
  lblBoardStatus->setText(restore_summary(restore));
  lblBoardStatus->setToolTip(lblBoardStatus->text());
  if (awaiting_board_ && continued_->board_went_away()) {
    resume_capture(restore, port);
  }
  return true;
}

void MainUIForm2::resume_capture(const veltrix::devices::Restore& restore, const std::string& port) {
  awaiting_board_ = false;
  if (!continued_->resume(*iKOR, restore, port)) {
    continued_->finish();
    tmDataUpdater->stop();
    set_capturing(false);
    return;
  }
  // Connecting again enabled what a running capture keeps disabled.
  set_capturing(true);
  const auto gaps = continued_->gaps();
  const QString gap = QString::fromStdString(veltrix::capture::gap_line(static_cast<int>(gaps.size()), gaps.back()));
  capture_gaps_ = capture_gaps_.isEmpty() ? gap : capture_gaps_ + QLatin1Char(' ') + gap;
  capture_end_.clear();
  capture_report_.clear();
  // What else went wrong as the board went is told beside the gap, not in a box.
  for (const QString& failure : std::exchange(held_failures_, {}).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    capture_note(failure);
  }
  show_capture_outcome();
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
