#pragma once
// What the Live Plot window remembers between runs: its geometry, its time
// window and which channels it shows. Restored as it opens, taken as it
// closes. The main window reports a damaged settings file; here such a file,
// and any value of the wrong type or out of range, simply keeps the
// first-run value.
//
// Thread contract: window thread only.

namespace veltrix::ui::plot {

class LivePlotWindow;

void restore_live_plot_choices(LivePlotWindow& window);
void remember_live_plot_choices(const LivePlotWindow& window);

}  // namespace veltrix::ui::plot
