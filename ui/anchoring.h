#pragma once
// Resize anchoring for absolutely placed widgets: a widget keeps its distance
// to each parent edge it is anchored to, so anchoring to both opposite edges
// stretches it and anchoring to the bottom or right edge alone moves it.
//
// Thread contract: window thread only.

#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace veltrix::ui {

enum Anchor : unsigned {
  kAnchorTop = 1,
  kAnchorBottom = 2,
  kAnchorLeft = 4,
  kAnchorRight = 8,
};

// Where a widget placed at `designed` in a parent of `designed_parent` goes
// when the parent is `parent`.
QRect anchored_geometry(const QRect& designed, const QSize& designed_parent, const QSize& parent, unsigned anchors);

class Anchoring {
 public:
  explicit Anchoring(QSize designed_parent) : designed_parent_(designed_parent) {}

  // Takes the widget's current geometry as its designed one.
  void add(QWidget* widget, unsigned anchors);
  void apply(const QSize& parent) const;

 private:
  struct Entry {
    QWidget* widget;
    QRect designed;
    unsigned anchors;
  };
  QSize designed_parent_;
  std::vector<Entry> entries_;
};

}  // namespace veltrix::ui
