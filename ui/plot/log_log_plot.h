#pragma once
// A small chart of curves on logarithmic x and y axes, with a grid at the
// decades and each curve in its own colour; a hidden curve is left out of the
// axes' range too. Points at or below zero cannot be placed and are skipped.
// Drawn with QPainter.
//
// Thread contract: a widget; window thread only.

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <vector>

namespace veltrix::ui::plot {

struct LogLogCurve {
  QString name;
  QColor color;
  std::vector<QPointF> points;
  bool visible = true;
};

// A decade's label on an axis, and where it is drawn.
struct TickLabel {
  QString text;
  QRectF rect;
};

class LogLogPlot : public QWidget {
 public:
  explicit LogLogPlot(QString title, QString x_label, QString y_label, QWidget* parent = nullptr);

  void set_curves(std::vector<LogLogCurve> curves);
  void set_curve_visible(std::size_t index, bool visible);
  const std::vector<LogLogCurve>& curves() const { return curves_; }
  void set_y_label(QString y_label);
  const QString& y_label() const { return y_label_; }

  QSize sizeHint() const override { return {420, 300}; }

  // The decades' labels of both axes at the widget's size: those at the
  // corner stay inside the frame's edges, so none overlaps another.
  std::vector<TickLabel> tick_labels() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Layout;
  Layout layout() const;

  QString title_;
  QString x_label_;
  QString y_label_;
  std::vector<LogLogCurve> curves_;
};

}  // namespace veltrix::ui::plot
