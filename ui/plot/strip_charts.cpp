#include "ui/plot/strip_charts.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ui/plot/plot_style.h"

using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;

namespace veltrix::ui::plot {

namespace {

constexpr int kTargetYTicks = 4;
constexpr int kChartGap = 10;
constexpr double kZoomPerNotch = 0.8;  // span after one wheel notch in
constexpr double kNarrowestSpan = 1;   // ms or samples
constexpr int kLeastBox = 4;           // pixels: a smaller box is a click
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
  setMouseTracking(true);
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

void StripCharts::draw_chart(QPainter& painter, const QRect& plot, int component_index, const XAxisLayout& x_axis) {
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
  painter.setPen(kGrid);
  for (const double x : x_axis.ticks) {
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
  }
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
      const double x = plot.left() + 1 + static_cast<double>(i) + 0.5;
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

std::vector<int> StripCharts::shown_components() const {
  const int present = source_ == nullptr ? 0 : source_->components();
  std::vector<int> shown;
  for (int i = 0; i < static_cast<int>(kPlotComponents.size()); ++i) {
    if ((present & kPlotComponents[static_cast<std::size_t>(i)].component) != 0) {
      shown.push_back(i);
    }
  }
  return shown;
}

std::vector<QRect> StripCharts::chart_rects() const {
  const auto count = static_cast<int>(shown_components().size());
  std::vector<QRect> rects;
  const QFontMetrics metrics(font());
  const int title = metrics.height() + 6;
  const int axis = metrics.height() + 22;
  const int chart_height = count == 0 ? 0 : (height() - axis - (count - 1) * kChartGap) / count;
  for (int i = 0, top = 0; i < count; ++i, top += chart_height + kChartGap) {
    rects.emplace_back(plot_left() - 1, top + title, plot_right() - plot_left() + 2, chart_height - title);
  }
  return rects;
}

XAxisLayout StripCharts::x_axis(double labels_top) const {
  return x_axis_layout(x0_, x1_, unit_, plot_left(), plot_right(), width(), labels_top, QFontMetrics(font()));
}

void StripCharts::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  const std::vector<int> shown = shown_components();
  if (shown.empty()) {
    painter.setPen(kText);
    painter.drawText(rect(), Qt::AlignCenter, placeholder_);
    return;
  }

  const QFontMetrics metrics(font());
  const int left = plot_left();
  const int right = plot_right();
  const int present = source_->components();
  ChannelMask wanted;
  for (int c = 0; c < veltrix::capture::kPlotChannelCount; ++c) {
    wanted[static_cast<std::size_t>(c)] =
        visible_[static_cast<std::size_t>(c)] && (present & PlotSample::component_of(static_cast<PlotChannel>(c))) != 0;
  }
  source_->decimate(x0_, x1_, static_cast<std::size_t>(std::max(right - left, 1)), wanted, columns_);
  const std::vector<QRect> rects = chart_rects();
  const int last_bottom = rects.back().bottom() + 1;
  const XAxisLayout axis = x_axis(last_bottom + 4);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    draw_chart(painter, rects[i], shown[i], axis);
  }
  painter.setPen(kText);
  for (const XAxisLabel& label : axis.labels) {
    painter.drawText(label.box, Qt::AlignLeft | Qt::AlignTop, label.text);
  }
  painter.drawText(QRect(left, last_bottom + metrics.height() + 4, right - left, metrics.height() + 2),
                   Qt::AlignHCenter | Qt::AlignTop, axis.title);
  if (band_from_ && cursor_) {
    const int a = std::clamp(std::min(*band_from_, *cursor_), left, right);
    const int b = std::clamp(std::max(*band_from_, *cursor_), left, right);
    painter.fillRect(QRect(a, 0, b - a, last_bottom), QColor(0x30, 0x60, 0xc0, 40));
  } else if (cursor_ && *cursor_ >= left && *cursor_ <= right) {
    draw_cursor(painter, last_bottom);
  }
}

int StripCharts::plot_left() const { return QFontMetrics(font()).horizontalAdvance(QStringLiteral("-000000")) + 13; }

int StripCharts::plot_right() const { return width() - 15; }

double StripCharts::x_at(double pixel) const {
  return x0_ + (pixel - plot_left()) / std::max(1, plot_right() - plot_left()) * (x1_ - x0_);
}

void StripCharts::draw_cursor(QPainter& painter, int bottom) {
  const double x = x_at(*cursor_);
  painter.setPen(QPen(kText, 1, Qt::DashLine));
  painter.drawLine(QPointF(*cursor_ + 0.5, 0), QPointF(*cursor_ + 0.5, bottom));
  const double span = x1_ - x0_;
  // About a thousandth of the view, in decimals of a second.
  const int decimals = std::clamp(static_cast<int>(std::ceil(6 - std::log10(std::max(span, 1e-9)))), 0, 9);
  QStringList parts;
  parts << x_cursor_text(x, std::max(std::abs(x0_), std::abs(x1_)), unit_, decimals);
  const int present = source_->components();
  for (int c = 0; c < veltrix::capture::kPlotChannelCount; ++c) {
    const auto channel = static_cast<PlotChannel>(c);
    if (!visible_[static_cast<std::size_t>(c)] || (present & PlotSample::component_of(channel)) == 0) {
      continue;
    }
    if (const std::optional<float> value = source_->value_at(channel, x, x - span)) {
      parts << QStringLiteral("%1 %2").arg(channel_name(channel)).arg(*value, 0, 'f', 0);
    }
  }
  const QString label = parts.join(QStringLiteral("   "));
  const QFontMetrics metrics(font());
  const int w = metrics.horizontalAdvance(label) + 10;
  const int left = std::clamp(*cursor_ + 8, plot_left(), std::max(plot_left(), plot_right() - w));
  const QRect box(left, 2, w, metrics.height() + 4);
  painter.fillRect(box, QColor(255, 255, 255, 225));
  painter.setPen(kFrame);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  painter.setPen(kText);
  painter.drawText(box, Qt::AlignCenter, label);
}

void StripCharts::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches == 0 || !request_) {
    return;
  }
  const double at = x_at(event->position().x());
  const double scale = std::pow(kZoomPerNotch, notches);
  const double span = std::max((x1_ - x0_) * scale, kNarrowestSpan);
  const double share = (at - x0_) / (x1_ - x0_);
  request_(at - share * span, at - share * span + span);
  event->accept();
}

void StripCharts::mousePressEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  const bool box = event->button() == Qt::RightButton ||
                   (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) != 0);
  if (box) {
    band_from_ = x;
  } else if (event->button() == Qt::LeftButton) {
    drag_from_ = x;
    drag_x0_ = x0_;
    drag_x1_ = x1_;
  }
  cursor_ = x;
}

void StripCharts::mouseMoveEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  cursor_ = x;
  if (drag_from_ && request_) {
    const double shift = (x - *drag_from_) * (drag_x1_ - drag_x0_) / std::max(1, plot_right() - plot_left());
    request_(drag_x0_ - shift, drag_x1_ - shift);
  }
  update();
}

void StripCharts::mouseReleaseEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  if (band_from_ && std::abs(x - *band_from_) >= kLeastBox && request_) {
    const double a = x_at(std::min(x, *band_from_));
    const double b = x_at(std::max(x, *band_from_));
    request_(a, std::max(b, a + kNarrowestSpan));
  }
  band_from_.reset();
  drag_from_.reset();
  update();
}

void StripCharts::leaveEvent(QEvent*) {
  cursor_.reset();
  update();
}

}  // namespace veltrix::ui::plot
