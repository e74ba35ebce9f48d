#include "ui/plot/text_tool_button.h"

#include <QToolButton>

namespace veltrix::ui::plot {

QToolButton* text_tool_button(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  button->setObjectName(name);
  button->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return button;
}

}  // namespace veltrix::ui::plot
