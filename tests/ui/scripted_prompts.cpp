#include "tests/ui/scripted_prompts.h"

namespace veltrix::ui::test {

namespace {

std::optional<QString> next(std::deque<QString>& answers) {
  if (answers.empty()) {
    return std::nullopt;
  }
  const QString answer = answers.front();
  answers.pop_front();
  if (answer.isNull()) {
    return std::nullopt;
  }
  return answer;
}

}  // namespace

void ScriptedPrompts::show_error(const QString& caption, const QString& text, const QString& detail) {
  errors.push_back({caption, text, detail});
  if (on_error) {
    on_error();
  }
}

void ScriptedPrompts::show_information(const QString& caption, const QString& text, const QString& detail) {
  informations.push_back({caption, text, detail});
}

std::optional<QString> ScriptedPrompts::save_file_path(QWidget*, const FileQuestion& question) {
  save_suffixes.push_back(question.default_suffix);
  file_questions.push_back(question);
  return next(file_answers);
}

std::optional<QString> ScriptedPrompts::open_file_path(QWidget*, const FileQuestion& question) {
  file_questions.push_back(question);
  return next(file_answers);
}

std::optional<QString> ScriptedPrompts::pick_folder(QWidget*) {
  ++folder_pickers_shown;
  return next(folder_answers);
}

int ScriptedPrompts::choose_connection_mode(QWidget*) {
  ++mode_questions_shown;
  return connection_mode;
}

bool ScriptedPrompts::confirm(QWidget*, const QString&, const QString& question) {
  questions.push_back(question);
  return confirm_answer;
}

std::optional<int> ScriptedPrompts::ask_sample_rate(QWidget*, const QString&, const QString&, int suggested_hz) {
  suggested_rates.push_back(suggested_hz);
  if (rate_answers.empty()) {
    return std::nullopt;
  }
  const std::optional<int> answer = rate_answers.front();
  rate_answers.pop_front();
  return answer;
}

std::vector<QString> ScriptedPrompts::error_texts() const {
  std::vector<QString> texts;
  for (const ShownError& e : errors) {
    texts.push_back(e.text);
  }
  return texts;
}

}  // namespace veltrix::ui::test
