#include "ui/window_shortcuts.h"

#include <QAbstractButton>
#include <QKeySequence>

namespace veltrix::ui {

QString with_shortcut(const QString& tip, QKeyCombination keys) {
  return QStringLiteral("%1 (%2)").arg(tip, QKeySequence(keys).toString(QKeySequence::NativeText));
}

void give_shortcut(QAbstractButton* button, QKeyCombination keys) {
  button->setShortcut(QKeySequence(keys));
  button->setToolTip(with_shortcut(button->toolTip(), keys));
}

}  // namespace veltrix::ui
