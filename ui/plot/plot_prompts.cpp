#include "ui/plot/plot_prompts.h"

#include <QFileInfo>
#include <QObject>

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace veltrix::ui::plot {

PlotPrompts PlotPrompts::dialogs() {
  return {
      [](QWidget* parent, const QString& caption, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, caption, {}, filter);
      },
      [](QWidget* parent, const QString& caption, const QString& suggested, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
      },
      [](QWidget* parent, const QString& title, const QString& text) { QMessageBox::warning(parent, title, text); },
      sample_rate_dialog,
  };
}

std::optional<int> sample_rate_dialog(QWidget* parent, const QString& title, const QString& text, int suggested_hz) {
  constexpr int kHighestHz = 1'000'000;
  bool ok = false;
  const int hz = QInputDialog::getInt(parent, title, text, suggested_hz, 1, kHighestHz, 1, &ok);
  return ok ? std::optional<int>(hz) : std::nullopt;
}

QString PlotPrompts::png_file_name(QWidget* parent, const QString& suggested) const {
  QString path = save_file_name(parent, QObject::tr("Save image"), suggested, QObject::tr("PNG image (*.png)"));
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
    path += QStringLiteral(".png");
  }
  return path;
}

}  // namespace veltrix::ui::plot
