#pragma once
// The stacked charts of the Live Plot window: one chart per recorded
// component, each with its own Y axis scaled to the visible channels in view,
// sharing one X axis (x_axis.h: time, or sample numbers where no time is
// known). Each channel is drawn as one min/max pair per pixel column.
//
// The mouse asks for another view, which the owner grants with set_view:
// the wheel zooms in time around the pointer, dragging pans, a box drawn
// with the right button (or Shift and the left) zooms into its time span.
// A cursor line follows the pointer, labelled with its time and each
// visible channel's value there.
//
// Thread contract: a widget; window thread only. The source is not owned and
// must outlive its use here (set_source(nullptr) before it goes).

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "ui/plot/plot_source.h"
#include "ui/plot/x_axis.h"

namespace veltrix::ui::plot {

class StripCharts : public QWidget {
 public:
  using XUnit = veltrix::ui::plot::XUnit;

  explicit StripCharts(QWidget* parent = nullptr);

  void set_source(PlotSource* source) {
    source_ = source;
    update();
  }
  // Called with the view the mouse asks for, x0 < x1.
  void on_view_request(std::function<void(double x0, double x1)> request) { request_ = std::move(request); }
  // The x range drawn, [x0, x1], in the series' unit.
  void set_view(double x0, double x1, XUnit unit);
  void set_channel_visible(veltrix::capture::PlotChannel channel, bool visible);
  // Shown in place of the charts while the series is empty.
  void set_placeholder(const QString& text) { placeholder_ = text; }

  // Each chart shown, top to bottom: its frame, inside which every pixel
  // column is one of the view's columns.
  std::vector<QRect> chart_rects() const;

  QSize sizeHint() const override { return {720, 480}; }
  QSize minimumSizeHint() const override { return {320, 200}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct Scale {
    double lo = -1, hi = 1;
  };

  // The pixels [plot_left, plot_right) that show the view, inside the frames.
  int plot_left() const;
  int plot_right() const;
  double x_at(double pixel) const;
  void draw_cursor(class QPainter& painter, int bottom);
  Scale y_scale(int component_index) const;
  void draw_chart(class QPainter& painter, const QRect& plot, int component_index, const XAxisLayout& x_axis);
  std::vector<int> shown_components() const;
  XAxisLayout x_axis(double labels_top) const;

  PlotSource* source_ = nullptr;
  std::function<void(double, double)> request_;
  std::optional<int> cursor_;     // pointer's pixel column
  std::optional<int> band_from_;  // where a zoom box started
  std::optional<int> drag_from_;  // where a pan started, and the view then
  double drag_x0_ = 0, drag_x1_ = 0;
  double x0_ = 0, x1_ = 1;
  XUnit unit_ = XUnit::kMilliseconds;
  std::array<bool, veltrix::capture::kPlotChannelCount> visible_;
  // Kept between frames, so a frame allocates nothing.
  ChannelColumns columns_;
  std::vector<QPointF> points_;
  QString placeholder_;
};

}  // namespace veltrix::ui::plot
