#include "ui/qt_operator_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

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

}  // namespace

namespace {

// No owner: the box stands on its own, modal for the whole application.
void show_box(QMessageBox::Icon icon, const QString& caption, const QString& text, const QString& detail) {
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.setInformativeText(detail);
  box.exec();
}

}  // namespace

void QtOperatorPrompts::show_error(const QString& caption, const QString& text, const QString& detail) {
  show_box(QMessageBox::Critical, caption, text, detail);
}

void QtOperatorPrompts::show_information(const QString& caption, const QString& text, const QString& detail) {
  show_box(QMessageBox::Information, caption, text, detail);
}

std::optional<QString> QtOperatorPrompts::save_file_path(QWidget* owner, const QString& default_suffix) {
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(default_suffix);
  return chosen(dialog);
}

std::optional<QString> QtOperatorPrompts::open_file_path(QWidget* owner) {
  QFileDialog dialog(owner);
  dialog.setFileMode(QFileDialog::ExistingFile);
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

std::optional<int> QtOperatorPrompts::ask_sample_rate(QWidget* owner, const QString& caption, const QString& question) {
  return veltrix::ui::plot::sample_rate_dialog(owner, caption, question);
}

}  // namespace veltrix::ui
