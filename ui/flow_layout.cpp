#include "ui/flow_layout.h"

#include <QWidget>
#include <algorithm>

namespace veltrix::ui {

FlowLayout::FlowLayout(QWidget* parent, int item_margin) : QLayout(parent), item_margin_(item_margin) {
  setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
  while (QLayoutItem* item = takeAt(0)) {
    delete item;
  }
}

void FlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

QLayoutItem* FlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize FlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) {
    size = size.expandedTo(item->sizeHint());
  }
  return size + QSize(2 * item_margin_, 2 * item_margin_);
}

void FlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  int x = rect.x();
  int y = rect.y();
  int row_height = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) {
      continue;
    }
    const QSize hint = item->sizeHint();
    const int width = hint.width() + 2 * item_margin_;
    if (x > rect.x() && x + width > rect.right() + 1) {
      x = rect.x();
      y += row_height;
      row_height = 0;
    }
    item->setGeometry(QRect(QPoint(x + item_margin_, y + item_margin_), hint));
    x += width;
    row_height = std::max(row_height, hint.height() + 2 * item_margin_);
  }
}

}  // namespace veltrix::ui
