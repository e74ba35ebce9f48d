#pragma once
// The operator prompts as real modal Qt dialogs.
//
// Thread contract: window thread only.

#include "ui/operator_prompts.h"

namespace veltrix::ui {

class QtOperatorPrompts final : public OperatorPrompts {
 public:
  void show_error(const QString& caption, const QString& text, const QString& detail) override;
  void show_information(const QString& caption, const QString& text, const QString& detail) override;
  void show_table(const QString& caption, const QString& text, const QString& rows) override;
  using OperatorPrompts::open_file_path;
  using OperatorPrompts::save_file_path;
  std::optional<QString> save_file_path(QWidget* owner, const FileQuestion& question) override;
  std::optional<QString> open_file_path(QWidget* owner, const FileQuestion& question) override;
  std::optional<QString> pick_folder(QWidget* owner) override;
  int choose_connection_mode(QWidget* owner) override;
  bool confirm(QWidget* owner, const QString& caption, const QString& question) override;
  std::optional<int> ask_sample_rate(QWidget* owner, const QString& caption, const QString& question,
                                     int suggested_hz) override;
};

}  // namespace veltrix::ui
