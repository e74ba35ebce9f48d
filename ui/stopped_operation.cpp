#include "ui/stopped_operation.h"

#include <QRadioButton>
#include <QSignalBlocker>

namespace veltrix::ui {

QString failure_text(devices::FailureCause cause, const char* bad_reply_text) {
  return QString::fromStdString(devices::failure_sentence(cause, bad_reply_text));
}

bool show_messages(const std::vector<devices::OperatorMessage>& messages,
                   const std::function<void(const QString& text, const QString& detail)>& show_error) {
  for (const devices::OperatorMessage& message : messages) {
    show_error(QString::fromStdString(message.text), QString::fromStdString(message.detail));
  }
  return !messages.empty();
}

QString register_named(const devices::StoppedAt& stopped) {
  const QString address = QStringLiteral("%1").arg(stopped.address, 2, 16, QLatin1Char('0')).toUpper();
  if (stopped.row == nullptr) {
    return address;
  }
  return QStringLiteral("%1 (%2)").arg(address, QString::fromLatin1(stopped.row->name));
}

void show_no_rate(std::initializer_list<QRadioButton*> buttons) {
  for (QRadioButton* button : buttons) {
    // A checked button of an exclusive group cannot be unchecked directly.
    const QSignalBlocker quiet(button);
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
  }
}

}  // namespace veltrix::ui
