#pragma once
// The Live Plot window's questions to the operator, replaceable so tests
// script them and nothing blocks. dialogs() asks with the toolkit's file
// dialogs and message boxes.
//
// Thread contract: called on the window thread.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace veltrix::ui::plot {

struct PlotPrompts {
  // The chosen file, or "" when the operator cancels.
  std::function<QString(QWidget* parent, const QString& caption, const QString& filter)> open_file_name;
  std::function<QString(QWidget* parent, const QString& caption, const QString& suggested, const QString& filter)>
      save_file_name;
  std::function<void(QWidget* parent, const QString& title, const QString& text)> error;
  // A sample rate in Hz from a spin box that offers `suggested_hz`; nullopt
  // when the operator cancels. Unset, every question is cancelled.
  std::function<std::optional<int>(QWidget* parent, const QString& title, const QString& text, int suggested_hz)>
      sample_rate;

  static PlotPrompts dialogs();

  // A PNG file to save an image in, ".png" added when the operator typed no
  // suffix; "" when cancelled.
  QString png_file_name(QWidget* parent, const QString& suggested) const;
};

// The spin box dialogs() asks the sample rate with.
std::optional<int> sample_rate_dialog(QWidget* parent, const QString& title, const QString& text, int suggested_hz);

}  // namespace veltrix::ui::plot
