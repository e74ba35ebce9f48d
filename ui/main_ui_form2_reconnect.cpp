// A board that went away (unplugged, or no longer answering) and connecting
// to it again: the status line under the device list, the Reconnect button,
// and the session's watch that reconnects on its own when the same board
// returns.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <utility>

#include "devices/device_connection.h"
#include "session/sentences.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/window_shortcuts.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

using veltrix::session::BoardSighting;

constexpr int kWatchIntervalMs = 500;

QString text_of(const std::string& sentence) { return QString::fromStdString(sentence); }

}  // namespace

// Under the device list, in the gap above the rule, and beside the
// section's title: no described control moves.
void MainUIForm2::build_reconnect_line() {
  lblBoardStatus = new QLabel(panel2);
  lblBoardStatus->setObjectName(QStringLiteral("lblBoardStatus"));
  QFont small = font();
  small.setPointSizeF(7);
  lblBoardStatus->setFont(small);
  lblBoardStatus->setGeometry(3, 49, 212, 11);
  lblBoardStatus->hide();
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
  connect(tmBoardWatch, &QTimer::timeout, this, [this] {
    if (!shut_down_ && iKOR != nullptr && !capturing_) {
      session_.watch();
    }
  });
  connect(&session_signals_, &veltrix::ui::SessionSignals::board_went_away, this, &MainUIForm2::board_went_away);
  connect(&session_signals_, &veltrix::ui::SessionSignals::board_came_back, this, &MainUIForm2::board_came_back);
  // Watching starts with the first connection; the device list is not
  // offered again after it.
  connect(cmbDevices, &QComboBox::currentIndexChanged, this, [this] {
    if (iKOR != nullptr) {
      tmBoardWatch->start();
    }
  });
}

// A capture that waits for its board says so beside its report; the
// Reconnect button is for a board lost between captures, which the session
// does not take back before it has gone and returned.
void MainUIForm2::board_went_away(const veltrix::session::BoardLoss& loss) {
  if (shut_down_ || iKOR == nullptr) {
    return;
  }
  lblBoardStatus->setText(text_of(veltrix::session::board_lost_sentence(loss.link_lost, false, 0.0)));
  lblBoardStatus->setToolTip(lblBoardStatus->text());
  lblBoardStatus->show();
  if (loss.capture_waits) {
    capture_waiting_ = text_of(loss.sentence);
    show_capture_outcome();
    return;
  }
  btnReconnect->setEnabled(true);
  btnReconnect->show();
}

void MainUIForm2::board_came_back(const veltrix::session::BoardBack& back) {
  if (shut_down_) {
    return;
  }
  btnReconnect->hide();
  lblBoardStatus->setText(text_of(back.sentence));
  lblBoardStatus->setToolTip(lblBoardStatus->text());
  lblBoardStatus->show();
  if (capturing_) {
    // The capture goes on with the board: nothing else may talk to it now.
    if (back.gap) {
      capture_waiting_.clear();
      const QString gap = text_of(back.gap_sentence);
      capture_gaps_ = capture_gaps_.isEmpty() ? gap : capture_gaps_ + QLatin1Char('\n') + gap;
      show_capture_outcome();
    }
    return;
  }
  const int components = chosen_components();
  iKOR = session_.device();
  update_sensor_ui_for_sensor(*iKOR);
  for (const auto& [box, bit] : {std::pair{chkGyro, COMPONENT_GYRO}, std::pair{chkAccel, COMPONENT_ACCEL},
                                 std::pair{chkCompass, COMPONENT_COMPASS}, std::pair{chkTemp, COMPONENT_TEMP}}) {
    if (!box->isHidden()) {
      box->setChecked((components & bit) != 0);
    }
  }
  show_register_map();
}

void MainUIForm2::btnReconnect_Click() {
  if (!session_.board_away() || capturing_) {
    return;
  }
  const BoardSighting found = session_.look_for_board();
  if (found.kind == BoardSighting::Kind::kNone) {
    show_error(QString::fromLatin1(veltrix::session::kBoardNotBack),
               text_of(veltrix::session::not_back_sentence(found)));
    return;
  }
  if (found.kind == BoardSighting::Kind::kOther &&
      !prompts_.confirm(this, QString::fromLatin1(kMessageCaption),
                        text_of(veltrix::session::other_board_question(found, session_.remembered_serial())))) {
    return;
  }
  reconnect_to(found.port);
}

bool MainUIForm2::reconnect_to(const std::string& port) {
  if (session_.reconnect(port) != 0) {
    lblBoardStatus->setText(
        text_of(veltrix::session::reconnect_failed_sentence(veltrix::devices::connect_failure_detail())));
    return false;
  }
  // The board's controls follow as its return is heard (board_came_back).
  return true;
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
