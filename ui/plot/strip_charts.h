#pragma once
// The stacked charts of the Live Plot window: one chart per recorded
// component, each with its own Y axis scaled to the visible channels in view,
// sharing one X axis (seconds, or sample numbers for a log without time
// column). Each channel is drawn as one min/max pair per pixel column.
//
// Thread contract: a widget; window thread only. The series is not owned and
// must outlive its use here (set_series(nullptr) before it goes).

#include <QWidget>
#include <array>
#include <vector>

#include "ui/plot/min_max_decimation.h"
#include "ui/plot/sample_series.h"

namespace veltrix::ui::plot {

class StripCharts : public QWidget {
 public:
  enum class XUnit { kMilliseconds, kSamples };

  explicit StripCharts(QWidget* parent = nullptr);

  void set_series(const SampleSeries* series) { series_ = series; }
  // The x range drawn, [x0, x1], in the series' unit.
  void set_view(double x0, double x1, XUnit unit);
  void set_channel_visible(veltrix::capture::PlotChannel channel, bool visible);
  // Shown in place of the charts while the series is empty.
  void set_placeholder(const QString& text) { placeholder_ = text; }

  QSize sizeHint() const override { return {720, 480}; }
  QSize minimumSizeHint() const override { return {320, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Scale {
    double lo = -1, hi = 1;
  };

  void decimate_visible(const QRect& plot, int component_index);
  Scale y_scale(int component_index) const;
  void draw_chart(class QPainter& painter, const QRect& plot, int component_index);
  void draw_x_axis(class QPainter& painter, int left, int right, int top, int bottom, bool labels);

  const SampleSeries* series_ = nullptr;
  double x0_ = 0, x1_ = 1;
  XUnit unit_ = XUnit::kMilliseconds;
  std::array<bool, veltrix::capture::kPlotChannelCount> visible_;
  // Kept between frames, so a frame allocates nothing.
  std::vector<std::size_t> starts_;
  std::array<std::vector<PixelColumn>, veltrix::capture::kPlotChannelCount> columns_;
  std::vector<QPointF> points_;
  QString placeholder_;
};

}  // namespace veltrix::ui::plot
