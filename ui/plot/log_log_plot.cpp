#include "ui/plot/log_log_plot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

namespace veltrix::ui::plot {

namespace {

struct Decades {
  int first = 0;
  int last = 1;
};

// The whole decades around the positive values of one coordinate.
template <typename Coordinate>
Decades decades_of(const std::vector<LogLogCurve>& curves, Coordinate coordinate) {
  double low = std::numeric_limits<double>::infinity();
  double high = 0;
  for (const LogLogCurve& curve : curves) {
    if (!curve.visible) {
      continue;
    }
    for (const QPointF& point : curve.points) {
      const double value = coordinate(point);
      if (value > 0 && std::isfinite(value)) {
        low = std::min(low, value);
        high = std::max(high, value);
      }
    }
  }
  if (high <= 0) {
    return {};
  }
  Decades decades{static_cast<int>(std::floor(std::log10(low))), static_cast<int>(std::ceil(std::log10(high)))};
  decades.last = std::max(decades.last, decades.first + 1);
  return decades;
}

QString decade_label(int exponent) {
  if (exponent >= -2 && exponent <= 3) {
    return QString::number(std::pow(10.0, exponent), 'g', 6);
  }
  return QStringLiteral("1e%1").arg(exponent);
}

}  // namespace

LogLogPlot::LogLogPlot(QString title, QString x_label, QString y_label, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), x_label_(std::move(x_label)), y_label_(std::move(y_label)) {
  setMinimumSize(240, 180);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(0xfb, 0xfb, 0xfc));
  setPalette(palette);
}

void LogLogPlot::set_y_label(QString y_label) {
  y_label_ = std::move(y_label);
  update();
}

void LogLogPlot::set_curves(std::vector<LogLogCurve> curves) {
  curves_ = std::move(curves);
  update();
}

void LogLogPlot::set_curve_visible(std::size_t index, bool visible) {
  if (index < curves_.size()) {
    curves_[index].visible = visible;
    update();
  }
}

struct LogLogPlot::Layout {
  QRectF frame;
  Decades xs;
  Decades ys;

  double to_x(double x) const {
    return frame.left() + (std::log10(x) - xs.first) / (xs.last - xs.first) * frame.width();
  }
  double to_y(double y) const {
    return frame.bottom() - (std::log10(y) - ys.first) / (ys.last - ys.first) * frame.height();
  }
};

LogLogPlot::Layout LogLogPlot::layout() const {
  const QFontMetrics metrics(font());
  const int line = metrics.height();
  Layout layout;
  layout.xs = decades_of(curves_, [](const QPointF& p) { return p.x(); });
  layout.ys = decades_of(curves_, [](const QPointF& p) { return p.y(); });
  int widest = metrics.horizontalAdvance(QStringLiteral("0.001"));
  for (int e = layout.ys.first; e <= layout.ys.last; ++e) {
    widest = std::max(widest, metrics.horizontalAdvance(decade_label(e)));
  }
  const double left = widest + line + 8;
  layout.frame = QRectF(left, line + 8, width() - left - 12, height() - 3 * line - 16);
  return layout;
}

std::vector<TickLabel> LogLogPlot::tick_labels() const {
  const QFontMetrics metrics(font());
  const int line = metrics.height();
  const Layout at = layout();
  const QRectF& frame = at.frame;
  std::vector<TickLabel> labels;
  for (int e = at.xs.first; e <= at.xs.last; ++e) {
    const QString text = decade_label(e);
    const double w = metrics.horizontalAdvance(text);
    QRectF rect(at.to_x(std::pow(10.0, e)) - w / 2, frame.bottom() + 2, w, line);
    if (rect.left() < frame.left()) {
      rect.moveLeft(frame.left());
    }
    if (rect.right() > frame.right()) {
      rect.moveRight(frame.right());
    }
    labels.push_back({text, rect});
  }
  for (int e = at.ys.first; e <= at.ys.last; ++e) {
    const QString text = decade_label(e);
    const double w = metrics.horizontalAdvance(text);
    QRectF rect(frame.left() - 4 - w, at.to_y(std::pow(10.0, e)) - line / 2.0, w, line);
    if (rect.bottom() > frame.bottom()) {
      rect.moveBottom(frame.bottom());
    }
    if (rect.top() < frame.top()) {
      rect.moveTop(frame.top());
    }
    labels.push_back({text, rect});
  }
  return labels;
}

void LogLogPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const int line = QFontMetrics(font()).height();
  const Layout at = layout();
  const QRectF& frame = at.frame;
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(QRectF(0, 2, width(), line), Qt::AlignHCenter, title_);
  painter.drawText(QRectF(frame.left(), height() - line - 2, frame.width(), line), Qt::AlignHCenter, x_label_);
  painter.save();
  painter.translate(2, frame.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-frame.height() / 2, 0, frame.height(), line), Qt::AlignHCenter, y_label_);
  painter.restore();
  if (frame.width() < 20 || frame.height() < 20) {
    return;
  }

  const QPen major(QColor(0xc8, 0xcc, 0xd4), 1);
  const QPen minor(QColor(0xe6, 0xe8, 0xec), 1);
  for (int e = at.xs.first; e <= at.xs.last; ++e) {
    for (int k = 1; k <= (e < at.xs.last ? 9 : 1); ++k) {
      const double x = at.to_x(k * std::pow(10.0, e));
      painter.setPen(k == 1 ? major : minor);
      painter.drawLine(QPointF(x, frame.top()), QPointF(x, frame.bottom()));
    }
  }
  for (int e = at.ys.first; e <= at.ys.last; ++e) {
    for (int k = 1; k <= (e < at.ys.last ? 9 : 1); ++k) {
      const double y = at.to_y(k * std::pow(10.0, e));
      painter.setPen(k == 1 ? major : minor);
      painter.drawLine(QPointF(frame.left(), y), QPointF(frame.right(), y));
    }
  }
  painter.setPen(palette().color(QPalette::WindowText));
  for (const TickLabel& label : tick_labels()) {
    painter.drawText(label.rect, Qt::AlignCenter | Qt::TextDontClip, label.text);
  }
  painter.setPen(QPen(QColor(0x90, 0x96, 0xa0), 1));
  painter.drawRect(frame);

  painter.setClipRect(frame);
  for (const LogLogCurve& curve : curves_) {
    if (!curve.visible) {
      continue;
    }
    QPainterPath path;
    bool started = false;
    for (const QPointF& point : curve.points) {
      if (!(point.x() > 0 && point.y() > 0)) {
        continue;
      }
      const QPointF place(at.to_x(point.x()), at.to_y(point.y()));
      if (started) {
        path.lineTo(place);
      } else {
        path.moveTo(place);
        started = true;
      }
    }
    painter.setPen(QPen(curve.color, 1.6));
    painter.drawPath(path);
  }
}

}  // namespace veltrix::ui::plot
