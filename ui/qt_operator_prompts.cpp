#include "ui/qt_operator_prompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>

#include "ui/application_setup.h"
#include "ui/plot/plot_prompts.h"
#include "ui/select_connection_mode.h"

namespace veltrix::ui {

namespace {

// The file or folder the operator chose, or nullopt when they cancelled.
std::optional<QString> chosen(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().constFirst();
}

// "json" for "JSON (*.json)", "" for "All files (*)".
QString filter_suffix(const QString& filter) {
  static const QRegularExpression kFirstSuffix(QStringLiteral(R"(\*\.(\w+))"));
  const QRegularExpressionMatch match = kFirstSuffix.match(filter);
  return match.hasMatch() ? match.captured(1) : QString();
}

void pose(QFileDialog& dialog, const FileQuestion& question) {
  if (!question.caption.isEmpty()) {
    dialog.setWindowTitle(question.caption);
  }
  if (!question.filters.isEmpty()) {
    dialog.setNameFilter(question.filters);
  }
  if (!question.suggested.isEmpty()) {
    dialog.selectFile(question.suggested);
  }
}

// No owner: the box stands on its own, modal for the whole application.
void show_box(QMessageBox::Icon icon, const QString& caption, const QString& text, const QString& detail,
              bool detail_is_table = false) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.setInformativeText(detail);
  if (detail_is_table) {
    // The toolkit's name for the label of the informative text.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
      label->setFont(table_font());
      label->setTextFormat(Qt::PlainText);
      label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
  }
  box.exec();
}

}  // namespace

void QtOperatorPrompts::show_error(const QString& caption, const QString& text, const QString& detail) {
  show_box(QMessageBox::Critical, caption, text, detail);
}

void QtOperatorPrompts::show_information(const QString& caption, const QString& text, const QString& detail) {
  show_box(QMessageBox::Information, caption, text, detail);
}

void QtOperatorPrompts::show_table(const QString& caption, const QString& text, const QString& rows) {
  show_box(QMessageBox::Information, caption, text, rows, true);
}

std::optional<QString> QtOperatorPrompts::save_file_path(QWidget* owner, const FileQuestion& question) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  pose(dialog, question);
  // The suffix follows the filter chosen, so the name and the format agree.
  const auto suffix_for = [&question](const QString& filter) {
    const QString suffix = filter_suffix(filter);
    return suffix.isEmpty() ? question.default_suffix : suffix;
  };
  dialog.setDefaultSuffix(suffix_for(dialog.selectedNameFilter()));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, suffix_for](const QString& filter) { dialog.setDefaultSuffix(suffix_for(filter)); });
  std::optional<QString> path = chosen(dialog);
  // A native dialog may leave the suffix to us.
  if (path && QFileInfo(*path).suffix().isEmpty() && !dialog.defaultSuffix().isEmpty()) {
    *path += QLatin1Char('.') + dialog.defaultSuffix();
  }
  return path;
}

std::optional<QString> QtOperatorPrompts::open_file_path(QWidget* owner, const FileQuestion& question) {
  QFileDialog dialog(owner);
  dialog.setFileMode(QFileDialog::ExistingFile);
  pose(dialog, question);
  return chosen(dialog);
}

std::optional<QString> QtOperatorPrompts::pick_folder(QWidget* owner) {
  QFileDialog dialog(owner);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  return chosen(dialog);
}

int QtOperatorPrompts::choose_connection_mode(QWidget* owner) {
  VeltrixDataLoggerWFA_clr8xp::SelectConnectionMode dialog(owner);
  dialog.exec();
  return dialog.SELECTED_MODE;
}

bool QtOperatorPrompts::confirm(QWidget* owner, const QString& caption, const QString& question) {
  return QMessageBox::question(owner, caption, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

std::optional<int> QtOperatorPrompts::ask_sample_rate(QWidget* owner, const QString& caption, const QString& question,
                                                      int suggested_hz) {
  return veltrix::ui::plot::sample_rate_dialog(owner, caption, question, suggested_hz);
}

}  // namespace veltrix::ui
