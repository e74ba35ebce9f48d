#pragma once
// Operator prompts answered from a script, for tests: every box is recorded
// instead of shown, every picker returns the next scripted answer (a cancel
// when none is left), the connection-mode question returns the
// scripted mode.

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "ui/operator_prompts.h"

namespace veltrix::ui::test {

struct ShownError {
  QString caption;
  QString text;
  QString detail;
};

class ScriptedPrompts final : public OperatorPrompts {
 public:
  void show_error(const QString& caption, const QString& text, const QString& detail) override;
  void show_information(const QString& caption, const QString& text, const QString& detail) override;
  using OperatorPrompts::open_file_path;
  using OperatorPrompts::save_file_path;
  std::optional<QString> save_file_path(QWidget* owner, const FileQuestion& question) override;
  std::optional<QString> open_file_path(QWidget* owner, const FileQuestion& question) override;
  std::optional<QString> pick_folder(QWidget* owner) override;
  int choose_connection_mode(QWidget* owner) override;
  bool confirm(QWidget* owner, const QString& caption, const QString& question) override;
  std::optional<int> ask_sample_rate(QWidget* owner, const QString& caption, const QString& question,
                                     int suggested_hz) override;

  std::vector<ShownError> errors;
  std::vector<ShownError> informations;  // boxes with the information icon
  // Runs as each box is recorded, to look at the window while it is up.
  std::function<void()> on_error;
  // The texts of `errors`, for comparing in one go.
  std::vector<QString> error_texts() const;

  // Save and open pickers, folder picker; a null QString() is a cancel.
  std::deque<QString> file_answers;
  std::deque<QString> folder_answers;
  int connection_mode = 0;
  // The answer to every Yes/No question; each question is kept.
  bool confirm_answer = false;
  std::vector<QString> questions;

  std::vector<QString> save_suffixes;        // the default suffix of each save picker shown
  std::vector<FileQuestion> file_questions;  // each save or open picker shown
  // The answers to the sample-rate question (a cancel when none is left),
  // and the rate each question suggested.
  std::deque<std::optional<int>> rate_answers;
  std::vector<int> suggested_rates;
  int folder_pickers_shown = 0;
  int mode_questions_shown = 0;
};

}  // namespace veltrix::ui::test
