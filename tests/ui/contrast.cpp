#include "tests/ui/contrast.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace veltrix::ui::test {

namespace {

double linear(double channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& colour) {
  return 0.2126 * linear(colour.red()) + 0.7152 * linear(colour.green()) + 0.0722 * linear(colour.blue());
}

}  // namespace

double contrast_ratio(const QColor& a, const QColor& b) {
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

double drawn_contrast(const QImage& picture, const QRect& area) {
  const QRect inside = area.intersected(picture.rect());
  QHash<QRgb, int> counts;
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      ++counts[picture.pixel(x, y)];
    }
  }
  if (counts.isEmpty()) {
    return 1;
  }
  QRgb ground = counts.constBegin().key();
  for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
    if (it.value() > counts.value(ground)) {
      ground = it.key();
    }
  }
  double most = 1;
  for (auto it = counts.constBegin(); it != counts.constEnd(); ++it) {
    most = std::max(most, contrast_ratio(QColor(ground), QColor(it.key())));
  }
  return most;
}

}  // namespace veltrix::ui::test
