#pragma once
// Every question and message the window puts to the operator: error boxes,
// file and folder pickers and the connection-mode question. The program
// shows real dialogs (qt_operator_prompts.h); tests answer from a script, so
// nothing blocks.
//
// Thread contract: window thread only.

#include <QString>
#include <optional>

class QWidget;

namespace veltrix::ui {

// What a file picker asks. `filters` as the toolkit writes them ("Data logs
// (*.csv);;All files (*)"); a name given without a suffix gets the first
// suffix of the filter chosen, or `default_suffix` where that has none.
struct FileQuestion {
  QString caption;
  QString suggested;  // a file name, or a path, the picker starts with; "" for none
  QString filters;    // "" for every file
  QString default_suffix;
};

class OperatorPrompts {
 public:
  virtual ~OperatorPrompts() = default;

  // A modal box with an OK button and the error icon. `detail`, when not
  // empty, is shown under `text`.
  virtual void show_error(const QString& caption, const QString& text, const QString& detail = {}) = 0;
  // The same with the information icon, for what is news but no error.
  virtual void show_information(const QString& caption, const QString& text, const QString& detail = {}) = 0;
  // An information box whose detail is a table, one row a line with its
  // columns lined up by spaces: shown in a fixed-pitch font.
  virtual void show_table(const QString& caption, const QString& text, const QString& rows) {
    show_information(caption, text, rows);
  }

  // A path to write to, with its suffix added as `question` says; nullopt
  // when the operator cancels.
  virtual std::optional<QString> save_file_path(QWidget* owner, const FileQuestion& question) = 0;
  // An existing file to read; nullopt when the operator cancels.
  virtual std::optional<QString> open_file_path(QWidget* owner, const FileQuestion& question) = 0;
  std::optional<QString> save_file_path(QWidget* owner, const QString& default_suffix) {
    return save_file_path(owner, FileQuestion{{}, {}, {}, default_suffix});
  }
  std::optional<QString> open_file_path(QWidget* owner) { return open_file_path(owner, FileQuestion{}); }
  // A folder; nullopt when the operator cancels.
  virtual std::optional<QString> pick_folder(QWidget* owner) = 0;

  // The bus for a model wired either way: MODE_I2C, MODE_SPI, or 0 when the
  // operator closed the question without choosing.
  virtual int choose_connection_mode(QWidget* owner) = 0;

  // A question with Yes and No; true for Yes.
  virtual bool confirm(QWidget* owner, const QString& caption, const QString& question) = 0;

  // A sample rate in Hz, for a data log that does not give its own, offering
  // `suggested_hz`; nullopt when the operator cancels (and where nobody can
  // be asked).
  virtual std::optional<int> ask_sample_rate(QWidget* /*owner*/, const QString& /*caption*/,
                                             const QString& /*question*/, int /*suggested_hz*/) {
    return std::nullopt;
  }
};

}  // namespace veltrix::ui
