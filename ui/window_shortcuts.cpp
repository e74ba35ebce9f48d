#include "ui/window_shortcuts.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QList>
#include <QShortcut>
#include <QWidget>

namespace veltrix::ui {

QString with_shortcut(const QString& tip, QKeyCombination keys) {
  return QStringLiteral("%1 (%2)").arg(tip, QKeySequence(keys).toString(QKeySequence::NativeText));
}

void give_shortcut(QAbstractButton* button, QKeyCombination keys) {
  button->setShortcut(QKeySequence(keys));
  button->setToolTip(with_shortcut(button->toolTip(), keys));
}

namespace {

QList<QKeySequence> shortcuts_of(QWidget* window) {
  QList<QKeySequence> keys;
  for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    if (!button->shortcut().isEmpty()) {
      keys << button->shortcut();
    }
  }
  for (const QShortcut* shortcut : window->findChildren<QShortcut*>()) {
    keys << shortcut->key();
  }
  return keys;
}

}  // namespace

void share_shortcuts(QWidget* owner, QWidget* other) {
  const QList<QKeySequence> taken = shortcuts_of(other);
  for (QAbstractButton* button : owner->findChildren<QAbstractButton*>()) {
    if (button->shortcut().isEmpty() || taken.contains(button->shortcut()) || other->isAncestorOf(button)) {
      continue;
    }
    auto* shared = new QShortcut(button->shortcut(), other);
    QObject::connect(shared, &QShortcut::activated, button, [button] {
      if (button->isVisible() && button->isEnabled()) {
        button->animateClick();
      }
    });
  }
  for (QShortcut* shortcut : owner->findChildren<QShortcut*>(Qt::FindDirectChildrenOnly)) {
    if (!taken.contains(shortcut->key())) {
      QObject::connect(new QShortcut(shortcut->key(), other), &QShortcut::activated, shortcut, &QShortcut::activated);
    }
  }
}

}  // namespace veltrix::ui
