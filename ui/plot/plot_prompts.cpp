#include "ui/plot/plot_prompts.h"

#include <QFileDialog>
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
  };
}

}  // namespace veltrix::ui::plot
