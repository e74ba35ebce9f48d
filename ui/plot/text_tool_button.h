#pragma once
// The plot windows' toolbar buttons: text only, named for tests and
// accessibility tools.
//
// Thread contract: window thread.

#include <QString>

class QToolButton;
class QWidget;

namespace veltrix::ui::plot {

QToolButton* text_tool_button(const QString& text, const QString& name, QWidget* parent);

}  // namespace veltrix::ui::plot
