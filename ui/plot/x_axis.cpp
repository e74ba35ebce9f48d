#include "ui/plot/x_axis.h"

#include <algorithm>
#include <cmath>

namespace veltrix::ui::plot {

namespace {

constexpr double kLabelGap = 16;    // pixels between two labels' texts
constexpr double kFinestTick = 50;  // pixels between two grid lines, at least
constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;

enum class Style { kSeconds, kMinutes, kHours, kSamples };

Style style_of(double reach_seconds, XUnit unit) {
  if (unit == XUnit::kSamples) {
    return Style::kSamples;
  }
  return reach_seconds >= kHour ? Style::kHours : reach_seconds >= kMinute ? Style::kMinutes : Style::kSeconds;
}

double nice_decimal_step(double raw) {
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double m : {1.0, 2.0, 5.0}) {
    if (m * magnitude >= raw) {
      return m * magnitude;
    }
  }
  return 10 * magnitude;
}

// The least step of at least `raw`: 1, 2 or 5 times a power of ten; from a
// second up in time, the clock's own steps.
double step_at_least(double raw, Style style) {
  if (style == Style::kSamples) {
    return nice_decimal_step(std::max(raw, 1.0));
  }
  if (raw < 1) {
    return nice_decimal_step(raw);
  }
  static constexpr double kClockSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                           600, 900, 1800, 3600, 7200, 10800, 21600, 43200, kDay};
  for (const double step : kClockSteps) {
    if (step >= raw) {
      return step;
    }
  }
  return kDay * nice_decimal_step(raw / kDay);
}

int decimals_of(double step) { return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9)); }

QString label(double value, int decimals, Style style) {
  if (style == Style::kSamples || style == Style::kSeconds) {
    if (std::abs(value) < 0.5 * std::pow(10.0, -decimals)) {
      value = 0;  // no "-0"
    }
    return QString::number(value, 'f', decimals);
  }
  const auto scale = static_cast<long long>(std::llround(std::pow(10.0, decimals)));
  const long long ticks = std::llround(std::abs(value) * static_cast<double>(scale));
  const long long whole = ticks / scale;
  const long long seconds = whole % 60;
  QString text = style == Style::kHours ? QStringLiteral("%1:%2:%3")
                                              .arg(whole / 3600)
                                              .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
                                              .arg(seconds, 2, 10, QLatin1Char('0'))
                                        : QStringLiteral("%1:%2").arg(whole / 60).arg(seconds, 2, 10, QLatin1Char('0'));
  if (decimals > 0) {
    text += QStringLiteral(".%1").arg(ticks % scale, decimals, 10, QLatin1Char('0'));
  }
  if (value < 0 && ticks != 0) {
    text.prepend(QLatin1Char('-'));
  }
  return text;
}

QString title_of(Style style) {
  switch (style) {
    case Style::kSeconds:
      return QStringLiteral("time (s)");
    case Style::kMinutes:
      return QStringLiteral("time (m:ss)");
    case Style::kHours:
      return QStringLiteral("time (h:mm:ss)");
    case Style::kSamples:
      break;
  }
  return QStringLiteral("sample");
}

}  // namespace

XAxisLayout x_axis_layout(double x0, double x1, XUnit unit, int left, int right, int width, double top,
                          const QFontMetrics& metrics) {
  const double per_unit = unit == XUnit::kMilliseconds ? 1000.0 : 1.0;
  const double v0 = x0 / per_unit;
  const double v1 = x1 / per_unit;
  const double span = v1 - v0;
  const double pixels = std::max(1, right - left);
  const Style style = style_of(std::max(std::abs(v0), std::abs(v1)), unit);
  XAxisLayout layout;
  layout.title = title_of(style);
  if (!(span > 0) || !std::isfinite(span)) {
    return layout;
  }
  const auto first_tick = [&](double step) { return std::ceil(v0 / step - 1e-9); };
  const auto last_tick = [&](double step) { return std::floor(v1 / step + 1e-9); };
  double step = step_at_least(span * kFinestTick / pixels, style);
  for (int tries = 0; tries < 100; ++tries) {
    const int decimals = decimals_of(step);
    const double widest = std::max(metrics.horizontalAdvance(label(first_tick(step) * step, decimals, style)),
                                   metrics.horizontalAdvance(label(last_tick(step) * step, decimals, style)));
    if (step / span * pixels >= std::max(widest + kLabelGap, kFinestTick)) {
      break;
    }
    step = step_at_least(step * 1.000001, style);
  }
  // Beyond a double's precision the ticks would not advance.
  if (last_tick(step) - first_tick(step) > pixels) {
    return layout;
  }
  const int decimals = decimals_of(step);
  double last_right = -kLabelGap;
  for (double k = first_tick(step); k <= last_tick(step); k += 1) {
    const double value = k * step;
    const double x = left + (value - v0) / span * pixels;
    layout.ticks.push_back(x);
    const QString text = label(value, decimals, style);
    const double w = metrics.horizontalAdvance(text);
    const double box_left = std::clamp(x - w / 2, 0.0, std::max(0.0, width - w));
    if (box_left < last_right + kLabelGap / 2) {
      continue;
    }
    layout.labels.push_back({QRectF(box_left, top, w, metrics.height()), text});
    last_right = box_left + w;
  }
  return layout;
}

QString x_cursor_text(double x, double reach, XUnit unit, int decimals) {
  if (unit == XUnit::kSamples) {
    return QStringLiteral("sample %1").arg(std::floor(x), 0, 'f', 0);
  }
  const Style style = style_of(std::abs(reach) / 1000, unit);
  const QString text = label(x / 1000, decimals, style);
  return style == Style::kSeconds ? text + QStringLiteral(" s") : text;
}

}  // namespace veltrix::ui::plot
