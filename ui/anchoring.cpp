#include "ui/anchoring.h"

#include <QWidget>

namespace veltrix::ui {

QRect anchored_geometry(const QRect& designed, const QSize& designed_parent, const QSize& parent, unsigned anchors) {
  const int dx = parent.width() - designed_parent.width();
  const int dy = parent.height() - designed_parent.height();
  QRect r = designed;
  if ((anchors & kAnchorRight) != 0) {
    if ((anchors & kAnchorLeft) != 0) {
      r.setWidth(designed.width() + dx);
    } else {
      r.moveLeft(designed.left() + dx);
    }
  }
  if ((anchors & kAnchorBottom) != 0) {
    if ((anchors & kAnchorTop) != 0) {
      r.setHeight(designed.height() + dy);
    } else {
      r.moveTop(designed.top() + dy);
    }
  }
  return r;
}

void Anchoring::add(QWidget* widget, unsigned anchors) { entries_.push_back({widget, widget->geometry(), anchors}); }

void Anchoring::apply(const QSize& parent) const {
  for (const Entry& e : entries_) {
    e.widget->setGeometry(anchored_geometry(e.designed, designed_parent_, parent, e.anchors));
  }
}

}  // namespace veltrix::ui
