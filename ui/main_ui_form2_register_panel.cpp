// The register map panel: refresh, write, burst read, save, load, and the
// console pane's Clear.

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <chrono>
#include <cstdio>

#include "capture/console_buffer.h"
#include "devices/device_status.h"
#include "devices/ikor.h"
#include "devices/register_input.h"
#include "ui/input_hold.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

using namespace std::chrono_literals;

constexpr auto kWritePause = 500ms;
const char* const kWriteError = "Sensor Write Error. There was an error while updating register value.";
const char* const kReadError = "Sensor Read Error. There was an error while reading register value.";

QByteArray device_path(const QString& path) { return QFile::encodeName(path); }

// Why a register-map file could not be opened, in the operator's words.
QString file_problem(const QString& path, bool for_writing) {
  const QFileInfo file(path);
  if (file.isDir()) {
    return QStringLiteral("It is a folder.");
  }
  if (for_writing) {
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) {
      return QStringLiteral("The folder %1 does not exist.").arg(folder.filePath());
    }
    if (!folder.isWritable() || (file.exists() && !file.isWritable())) {
      return QStringLiteral("Permission denied.");
    }
    return QStringLiteral("The file could not be written completely (is the disk full?).");
  }
  if (!file.exists()) {
    return QStringLiteral("The file does not exist.");
  }
  if (!file.isReadable()) {
    return QStringLiteral("Permission denied.");
  }
  return QStringLiteral("The file could not be read.");
}

}  // namespace

void MainUIForm2::set_register_map_text(const std::string& text) {
  txtRegisterMap->setPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void MainUIForm2::show_in_console_pane(const QString& text) {
  txtDataLogging->setPlainText(text);
  txtDataLogging->moveCursor(QTextCursor::End);
  txtDataLogging->ensureCursorVisible();
  console_shown_.reset();
}

void MainUIForm2::btnRefresh_Click() {
  if (!is_device_connected()) {
    return;
  }
  set_register_map_text(iKOR->fetch_register_map());
}

void MainUIForm2::btnwrite_to_register_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto value = parse_hex_entry(txtWriteRegData->text().toStdString());
  const auto address = parse_hex_entry(txtWriteRegRegister->text().toStdString());
  if (!value || !address) {
    show_error(QString::fromLatin1(kRegisterInputError));
    return;
  }
  lblWaitRM->show();
  lblWaitRM->repaint();
  veltrix::ui::pause_with_input_held(this, kWritePause);
  if (iKOR->write_to_register(static_cast<char>(*address), static_cast<char>(*value)) != 0) {
    show_error(QString::fromLatin1(kWriteError));
  }
  update_sensor_ui_for_sensor(*iKOR);
  set_register_map_text(iKOR->fetch_register_map());
  lblWaitRM->hide();
  lblWaitRM->repaint();
}

void MainUIForm2::btnRead_Click() {
  if (!is_device_connected()) {
    return;
  }
  const QString address_text = txtReadRegAddr->text();
  const auto address = parse_hex_entry(address_text.toStdString());
  if (!address || txtReadRegLength->text().isEmpty()) {
    show_error(QString::fromLatin1(kRegisterInputError));
    return;
  }
  const int length = parse_leading_decimal(txtReadRegLength->text().toStdString());
  if (!burst_length_accepted(length)) {
    show_error(QString::fromLatin1(kRegisterInputError));
    return;
  }
  QString output = QStringLiteral("Read Burst Addr:%1 Length %2\r\n").arg(address_text).arg(length);
  for (int i = 0; i < length; ++i) {
    const auto reg = static_cast<char>((*address + i) % 256);
    unsigned char value = 0;
    if (iKOR->read_from_register(reg, value) != 0) {
      show_error(QString::fromLatin1(kReadError));
      continue;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X ", value);
    output += QString::fromLatin1(text);
  }
  show_in_console_pane(output);
}

void MainUIForm2::btnSave_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto path = prompts_.save_file_path(this, QStringLiteral("bin"));
  if (!path) {
    return;
  }
  const long status = iKOR->save_register_map(device_path(*path).constData());
  if (status == kStatusFileOpenFailed) {
    show_error(QStringLiteral("The register map could not be saved to %1.").arg(*path), file_problem(*path, true));
  } else if (status != 0) {
    show_error(QString::fromLatin1(kReadError),
               QStringLiteral("%1 was saved with 0 for the registers that could not be read.").arg(*path));
  }
}

void MainUIForm2::btnLoad_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto path = prompts_.open_file_path(this);
  if (!path) {
    return;
  }
  const long status = iKOR->load_register_map(device_path(*path).constData());
  if (status == kStatusFileOpenFailed) {
    show_error(QStringLiteral("The register map file %1 could not be opened.").arg(*path), file_problem(*path, false));
  } else if (status == kStatusFileRejected) {
    show_error(QStringLiteral("%1 is not a register map of this sensor.").arg(*path),
               QStringLiteral("Nothing was written to the sensor."));
  } else if (status != 0) {
    show_error(QString::fromLatin1(kWriteError));
  }
  update_sensor_ui_for_sensor(*iKOR);
}

void MainUIForm2::btnClear_Click() {
  veltrix::capture::console_buffer::clear();
  txtDataLogging->clear();
  console_shown_ = std::string();
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
