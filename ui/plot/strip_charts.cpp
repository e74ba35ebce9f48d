#include "ui/plot/strip_charts.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/plot/plot_style.h"

using veltrix::capture::PlotChannel;

namespace veltrix::ui::plot {

namespace {

constexpr int kTargetYTicks = 4;
constexpr int kChartGap = 10;
const QColor kBackground(0xfb, 0xfb, 0xfc);
const QColor kGrid(0xe3, 0xe6, 0xea);
const QColor kFrame(0xb8, 0xbe, 0xc6);
const QColor kText(0x4a, 0x50, 0x58);

// 1, 2 or 5 times a power of ten, near `raw` (at least 70 % of it, so a
// chart rather gets one tick more than one fewer).
double nice_step(double raw) {
  const double least = raw * 0.7;
  const double magnitude = std::pow(10.0, std::floor(std::log10(least)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * magnitude >= least) {
      return m * magnitude;
    }
  }
  return 10 * magnitude;
}

QString tick_label(double value, double step) {
  const int decimals = step >= 1 ? 0 : std::min(6, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  if (std::abs(value) < step * 1e-6) {
    value = 0;  // no "-0"
  }
  return QString::number(value, 'f', decimals);
}

}  // namespace

StripCharts::StripCharts(QWidget* parent) : QWidget(parent) {
  visible_.fill(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void StripCharts::set_view(double x0, double x1, XUnit unit) {
  x0_ = x0;
  x1_ = std::max(x1, x0 + 1e-9);
  unit_ = unit;
  update();
}

void StripCharts::set_channel_visible(PlotChannel channel, bool visible) {
  visible_[static_cast<std::size_t>(channel)] = visible;
  update();
}

void StripCharts::decimate_visible(const QRect& plot, int component_index) {
  const PlotComponent& component = kPlotComponents[static_cast<std::size_t>(component_index)];
  const auto width = static_cast<std::size_t>(std::max(plot.width(), 1));
  // The newest sample sits exactly at x1: include it.
  starts_.resize(width + 1);
  split_columns(series_->x(), x0_, std::nextafter(x1_, x1_ + 1), starts_);
  for (int axis = 0; axis < component.channels; ++axis) {
    const PlotChannel channel = plot_channel(component, axis);
    std::vector<PixelColumn>& columns = columns_[static_cast<std::size_t>(channel)];
    columns.resize(width);
    if (!visible_[static_cast<std::size_t>(channel)] || series_->values(channel).empty()) {
      std::fill(columns.begin(), columns.end(), PixelColumn{});
      continue;
    }
    decimate_min_max(series_->values(channel), starts_, columns);
  }
}

StripCharts::Scale StripCharts::y_scale(int component_index) const {
  const PlotComponent& component = kPlotComponents[static_cast<std::size_t>(component_index)];
  float lo = std::numeric_limits<float>::infinity();
  float hi = -lo;
  for (int axis = 0; axis < component.channels; ++axis) {
    for (const PixelColumn& column : columns_[static_cast<std::size_t>(plot_channel(component, axis))]) {
      if (column.empty()) {
        continue;
      }
      lo = std::min(lo, column.min);
      hi = std::max(hi, column.max);
    }
  }
  if (lo > hi) {
    return {};
  }
  const double pad = std::max(1.0, (static_cast<double>(hi) - lo) * 0.05);
  // Snapped to a fifth of the tick step: the axis holds still while noise
  // moves, and the curves still fill most of the chart.
  const double snap = nice_step((hi - lo + 2 * pad) / kTargetYTicks) / 5;
  return {std::floor((lo - pad) / snap) * snap, std::ceil((hi + pad) / snap) * snap};
}

void StripCharts::draw_chart(QPainter& painter, const QRect& plot, int component_index) {
  const PlotComponent& component = kPlotComponents[static_cast<std::size_t>(component_index)];
  const Scale scale = y_scale(component_index);
  const double step = nice_step((scale.hi - scale.lo) / kTargetYTicks);
  const auto y_of = [&](double v) {
    return plot.bottom() + 1 - (v - scale.lo) / (scale.hi - scale.lo) * plot.height();
  };
  const QFontMetrics metrics(font());

  painter.fillRect(plot, Qt::white);
  for (double v = std::ceil(scale.lo / step) * step; v <= scale.hi + step * 1e-6; v += step) {
    const double y = y_of(v);
    painter.setPen(kGrid);
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(kText);
    const QString label = tick_label(v, step);
    painter.drawText(QPointF(plot.left() - 6 - metrics.horizontalAdvance(label), y + metrics.ascent() / 2.0 - 1),
                     label);
  }

  painter.save();
  painter.setClipRect(plot.adjusted(1, 1, -1, -1));
  draw_x_axis(painter, plot.left(), plot.right(), plot.top(), plot.bottom(), false);
  painter.setClipRect(plot);
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int axis = 0; axis < component.channels; ++axis) {
    const PlotChannel channel = plot_channel(component, axis);
    painter.setPen(QPen(channel_color(channel), 1));
    points_.clear();
    const std::vector<PixelColumn>& columns = columns_[static_cast<std::size_t>(channel)];
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const PixelColumn& column = columns[i];
      if (column.empty()) {
        continue;
      }
      if (column.gap_before && points_.size() > 1) {
        painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
        points_.clear();
      }
      const double x = plot.left() + static_cast<double>(i) + 0.5;
      points_.emplace_back(x, y_of(column.first));
      if (column.count > 1) {
        points_.emplace_back(x, y_of(column.min));
        points_.emplace_back(x, y_of(column.max));
        points_.emplace_back(x, y_of(column.last));
      }
    }
    if (points_.size() == 1) {
      points_.push_back(points_.front() + QPointF(1, 0));
    }
    if (!points_.empty()) {
      painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
    }
  }
  painter.restore();

  painter.setPen(kFrame);
  painter.drawRect(plot.adjusted(0, 0, -1, -1));
  QFont bold = font();
  bold.setBold(true);
  painter.setFont(bold);
  painter.setPen(kText);
  painter.drawText(QPointF(plot.left() + 1, plot.top() - 5), QString::fromLatin1(component.title));
  painter.setFont(font());
}

void StripCharts::draw_x_axis(QPainter& painter, int left, int right, int top, int bottom, bool labels) {
  const double per_unit = unit_ == XUnit::kMilliseconds ? 1000.0 : 1.0;  // labels in seconds or samples
  const double span = (x1_ - x0_) / per_unit;
  const QFontMetrics metrics(font());
  const int label_width = metrics.horizontalAdvance(QStringLiteral("000000.0")) + 16;
  const double step = nice_step(span / std::max(2, (right - left) / label_width));
  const auto x_of = [&](double v) { return left + (v * per_unit - x0_) / (x1_ - x0_) * (right - left); };
  for (double v = std::ceil(x0_ / per_unit / step) * step; v <= x1_ / per_unit + step * 1e-6; v += step) {
    const double x = x_of(v);
    if (labels) {
      painter.setPen(kText);
      const QString label = tick_label(v, step);
      const double w = metrics.horizontalAdvance(label);
      painter.drawText(QPointF(std::clamp(x - w / 2, left - w / 2, right - w), bottom + metrics.ascent() + 4), label);
    } else {
      painter.setPen(kGrid);
      painter.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
  }
}

void StripCharts::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  const int present = series_ == nullptr ? 0 : series_->components();
  std::vector<int> shown;
  for (int i = 0; i < static_cast<int>(kPlotComponents.size()); ++i) {
    if ((present & kPlotComponents[static_cast<std::size_t>(i)].component) != 0) {
      shown.push_back(i);
    }
  }
  if (shown.empty()) {
    painter.setPen(kText);
    painter.drawText(rect(), Qt::AlignCenter, placeholder_);
    return;
  }

  const QFontMetrics metrics(font());
  const int left = metrics.horizontalAdvance(QStringLiteral("-000000")) + 12;
  const int right = width() - 14;
  const int title = metrics.height() + 6;
  const int axis = metrics.height() + 22;
  const int count = static_cast<int>(shown.size());
  const int chart_height = (height() - axis - (count - 1) * kChartGap) / count;
  int top = 0;
  for (const int component_index : shown) {
    const QRect plot(left, top + title, right - left, chart_height - title);
    decimate_visible(plot, component_index);
    draw_chart(painter, plot, component_index);
    top += chart_height + kChartGap;
  }
  const int last_bottom = top - kChartGap;
  draw_x_axis(painter, left, right, 0, last_bottom, true);
  painter.setPen(kText);
  const QString unit = unit_ == XUnit::kMilliseconds ? QStringLiteral("time (s)") : QStringLiteral("sample");
  painter.drawText(QRect(left, last_bottom + metrics.height() + 4, right - left, metrics.height() + 2),
                   Qt::AlignHCenter | Qt::AlignTop, unit);
}

}  // namespace veltrix::ui::plot
