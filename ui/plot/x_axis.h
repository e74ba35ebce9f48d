#pragma once
// The strip charts' shared X axis: where its grid lines and labels go for a
// view, in time (seconds, m:ss or h:mm:ss as the view's reach asks) or in
// sample numbers. The step is the finest whose widest label still fits
// between two ticks, and a label that would still touch the one before is
// left out, so labels never run together at any zoom.
//
// Thread contract: pure functions of their arguments; window thread (fonts).

#include <QFontMetrics>
#include <QRectF>
#include <QString>
#include <vector>

namespace veltrix::ui::plot {

enum class XUnit { kMilliseconds, kSamples };

struct XAxisLabel {
  QRectF box;  // where the text goes, inside [0, the widget's width]
  QString text;
};

struct XAxisLayout {
  std::vector<double> ticks;  // pixel x of each grid line
  std::vector<XAxisLabel> labels;
  QString title;  // "time (s)", "time (m:ss)", "time (h:mm:ss)" or "sample"
};

// The axis of the view [x0, x1] drawn over pixels [left, right] of a widget
// `width` wide, labels' tops at `top`.
XAxisLayout x_axis_layout(double x0, double x1, XUnit unit, int left, int right, int width, double top,
                          const QFontMetrics& metrics);

// The cursor's x with `decimals` decimals of a second (time) or as a sample
// number, in the style the axis of a view reaching `reach` uses.
QString x_cursor_text(double x, double reach, XUnit unit, int decimals);

}  // namespace veltrix::ui::plot
