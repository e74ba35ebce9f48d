#pragma once
// The Live Plot window's legend: one entry per channel, grouped by component,
// with the channel's colour, a check box that shows or hides it, and its
// newest value in view (label "channelValue{channel index}"). Groups of
// components not recorded are hidden.
//
// Thread contract: a widget; window thread only.

#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "capture/sample_queue.h"

class QCheckBox;
class QLabel;

namespace veltrix::ui::plot {

class ChannelLegend : public QWidget {
 public:
  explicit ChannelLegend(QWidget* parent = nullptr);

  // Called when the operator ticks or clears a channel's entry.
  void on_toggled(std::function<void(veltrix::capture::PlotChannel, bool visible)> handler) {
    on_toggled_ = std::move(handler);
  }
  void set_components(int components);
  // Whether the channel's entry is ticked; setting it is heard as a toggle.
  bool shown(veltrix::capture::PlotChannel channel) const;
  void set_shown(veltrix::capture::PlotChannel channel, bool shown);
  void set_value(veltrix::capture::PlotChannel channel, std::optional<float> value);

 private:
  std::function<void(veltrix::capture::PlotChannel, bool)> on_toggled_;
  std::array<QWidget*, 4> groups_{};
  std::array<QCheckBox*, veltrix::capture::kPlotChannelCount> boxes_{};
  std::array<QLabel*, veltrix::capture::kPlotChannelCount> values_{};
};

}  // namespace veltrix::ui::plot
