// The register map panel: refresh, write, burst read, save, load, and the
// console pane's Clear.

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <chrono>

#include "capture/console_buffer.h"
#include "devices/device_status.h"
#include "devices/ikor.h"
#include "devices/register_comparison.h"
#include "devices/register_input.h"
#include "devices/register_operations.h"
#include "ui/input_hold.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/stopped_operation.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

using namespace std::chrono_literals;

constexpr auto kWritePause = 500ms;

std::string device_path(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Dark text on the light mark: the pane's own white would barely show.
const QColor kDifferingRow(255, 224, 130);
const QColor kDifferingRowText(0, 0, 0);

// The pane's rows of `differences` with a background; the rows are in table order.
void mark_rows(QPlainTextEdit& pane, const RegisterRow* table,
               const std::vector<veltrix::devices::RegisterDifference>& differences) {
  QList<QTextEdit::ExtraSelection> marks;
  for (const auto& difference : differences) {
    const QTextBlock block = pane.document()->findBlockByNumber(static_cast<int>(difference.row - table));
    if (!block.isValid()) {
      continue;
    }
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(block);
    mark.format.setBackground(kDifferingRow);
    mark.format.setForeground(kDifferingRowText);
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    marks.append(mark);
  }
  pane.setExtraSelections(marks);
}

QString differences_text(const std::vector<veltrix::devices::RegisterDifference>& differences) {
  QStringList lines;
  for (const auto& difference : differences) {
    lines << QString::fromStdString(veltrix::devices::difference_line(difference));
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

void MainUIForm2::set_register_map_text(const std::string& text) {
  txtRegisterMap->setExtraSelections({});
  txtRegisterMap->setPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void MainUIForm2::show_read_back(const std::vector<veltrix::devices::ReadBackDifference>& differences) {
  if (differences.empty()) {
    return;
  }
  QStringList lines;
  for (const auto& difference : differences) {
    lines << QString::fromStdString(veltrix::devices::read_back_sentence(difference));
  }
  show_error(QStringLiteral("The sensor does not hold what was written."), lines.join(QLatin1Char('\n')));
}

void MainUIForm2::show_in_console_pane(const QString& text) {
  txtDataLogging->setPlainText(text);
  txtDataLogging->moveCursor(QTextCursor::End);
  txtDataLogging->ensureCursorVisible();
  console_shown_.reset();
}

void MainUIForm2::show_register_map() {
  const auto listing = veltrix::devices::list_register_map(*iKOR);
  std::string text = listing.text;
  if (listing.stopped) {
    // The rows not read keep what the pane showed; none reads as 0.
    const QStringList shown = txtRegisterMap->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = listing.rows_listed; i < shown.size() && i < listing.rows; ++i) {
      text += shown[i].toLatin1().toStdString() + "\r\n";
    }
  }
  set_register_map_text(text);
  show_messages(veltrix::devices::listing_messages(listing));
}

bool MainUIForm2::show_messages(const std::vector<veltrix::devices::OperatorMessage>& messages) {
  return veltrix::ui::show_messages(messages,
                                    [this](const QString& text, const QString& detail) { show_error(text, detail); });
}

void MainUIForm2::btnRefresh_Click() {
  if (!is_device_connected()) {
    return;
  }
  show_register_map();
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
  const auto write = veltrix::devices::write_register_value(*iKOR, *address, *value);
  show_messages(veltrix::devices::write_messages(write));
  // Nothing more is asked of a board that no longer answers.
  if (write.status == 0 || !veltrix::devices::board_stopped(write.cause)) {
    update_sensor_ui_for_sensor(*iKOR);
    show_register_map();
    show_read_back(write.read_back);
  }
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
  const auto burst = veltrix::devices::read_register_burst(*iKOR, address_text.toStdString(), *address, length);
  show_in_console_pane(QString::fromStdString(burst.text));
  show_messages(veltrix::devices::burst_messages(burst));
}

void MainUIForm2::btnSave_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto path = prompts_.save_file_path(this, QStringLiteral("bin"));
  if (!path) {
    return;
  }
  show_messages(veltrix::devices::save_messages(veltrix::devices::save_register_values(*iKOR, device_path(*path))));
}

void MainUIForm2::btnLoad_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto path = prompts_.open_file_path(this);
  if (!path) {
    return;
  }
  const auto loaded = veltrix::devices::load_register_values(*iKOR, device_path(*path));
  show_read_back(loaded.read_back);
  show_messages(veltrix::devices::load_messages(loaded));
  // Nothing more is asked of a board that no longer answers.
  if (!loaded.stopped) {
    update_sensor_ui_for_sensor(*iKOR);
  }
}

void MainUIForm2::btnCompare_Click() {
  if (!is_device_connected()) {
    return;
  }
  const auto path = prompts_.open_file_path(this);
  if (!path) {
    return;
  }
  const auto comparison = veltrix::devices::compare_sensor_with_file(*iKOR, device_path(*path));
  show_messages(veltrix::devices::comparison_messages(comparison));
  if (comparison.stopped || comparison.status == kStatusFileOpenFailed || comparison.status == kStatusFileRejected) {
    return;
  }
  show_register_map();
  mark_rows(*txtRegisterMap, iKOR->get_register_list(), comparison.differences);
  if (comparison.differences.empty()) {
    prompts_.show_information(QString::fromLatin1(kMessageCaption),
                              QStringLiteral("The sensor's registers match %1.").arg(*path));
    return;
  }
  prompts_.show_table(QString::fromLatin1(kMessageCaption),
                      QStringLiteral("Registers that differ from %1 (sensor, then file):").arg(*path),
                      differences_text(comparison.differences));
}

void MainUIForm2::btnClear_Click() {
  veltrix::capture::console_buffer::clear();
  txtDataLogging->clear();
  console_shown_ = std::string();
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
