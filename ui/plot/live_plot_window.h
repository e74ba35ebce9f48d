#pragma once
// The "Live Plot" window: the running capture's samples as stacked charts
// (strip_charts.h) with a legend, a time window of 2, 10 or 60 s, pause and
// resume (the capture goes on), "Save image…" as PNG and "Open data log…"
// to review a saved capture the same way. "Analyze…" opens the noise
// analysis (analysis_window.h) of the data log shown, or of the live samples
// of the time window shown. A timer pulls the samples from the
// capture's queue about 30 times a second; when the queue overflowed, a line
// says how many samples the display skipped (the logs have them all).
//
// The wheel, dragging and a zoom box change the view (strip_charts.h), Home
// fits everything. Zooming or panning the live plot stops it following the
// capture until "Follow". A data log of any size opens on its whole range:
// drawn at once from the overview its capture wrote, or else drawn as it is
// indexed in the background (indexed_log.h), with a progress bar and Cancel
// in the status line; a log a capture still writes shows its new lines as
// they come.
//
// Thread contract: a widget; window thread only. The queue's consumer side is
// this window's; its producer is the capture thread. An opened log's indexing
// thread tells the window it ended through a queued call.

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "capture/sample_queue.h"
#include "ui/plot/indexed_log.h"
#include "ui/plot/live_plot_settings.h"
#include "ui/plot/plot_prompts.h"
#include "ui/plot/sample_series.h"

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QProgressBar;
class QScrollBar;
class QToolButton;

namespace veltrix::ui::plot {

class AnalysisWindow;
class ChannelLegend;
class StripCharts;

class LivePlotWindow : public QWidget {
 public:
  static constexpr int kFramePeriodMs = 33;

  // `queue` may be null (no capture to show yet) and must outlive the window
  // or be replaced with set_source first.
  explicit LivePlotWindow(veltrix::capture::SampleQueue* queue = nullptr, PlotPrompts prompts = PlotPrompts::dialogs(),
                          QWidget* parent = nullptr);

  void set_source(veltrix::capture::SampleQueue* queue);
  // A new capture starts: forget the previous one's samples and skip count.
  void begin_capture();
  // The status line, e.g. the capture report.
  void set_status(const QString& text);

  // One frame: takes the queued samples and redraws. The timer calls it.
  void refresh();
  // Shows a data log (as "Open data log…" does after its prompt). False, with
  // the reason told through the error prompt, when it cannot be shown.
  bool open_data_log(const QString& path);
  bool save_image(const QString& path);
  // What "Analyze…" does: the analysis window, shown, analysing the data log
  // shown or the live samples in view.
  AnalysisWindow* analyze();

  // The live samples kept, and the data log shown instead (or null).
  const SampleSeries& shown_series() const { return live_; }
  IndexedLog* shown_log() const { return log_.get(); }
  // The x range drawn.
  double view_start() const { return view_end_ - span_; }
  double view_end() const { return view_end_; }
  // As the mouse asks it (strip_charts.h); and as Home does.
  void request_view(double x0, double x1);
  void fit_all();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend void restore_live_plot_choices(LivePlotWindow& window);
  friend void remember_live_plot_choices(const LivePlotWindow& window);

  void build();
  void drain();
  void update_view();
  void set_span(double span);
  void set_paused(bool paused);
  void show_live();
  void show_whole_log();
  void prompt_open();
  void prompt_save();
  void follow();
  void show_status();
  void indexing_ended();
  bool following() const { return !log_ && !paused_ && follow_; }

  veltrix::capture::SampleQueue* queue_ = nullptr;
  std::uint64_t drops_seen_ = 0;  // queue drops before this capture
  std::uint64_t drops_ = 0;       // in this capture
  PlotPrompts prompts_;
  SampleSeries live_;
  SeriesSource live_source_{&live_};
  std::unique_ptr<IndexedLog> log_;
  QString log_name_;
  QString log_path_;
  QPointer<AnalysisWindow> analysis_;
  int frames_since_read_on_ = 0;
  QString capture_status_;
  std::vector<veltrix::capture::PlotSample> batch_;
  double span_ = 10000;         // x units: ms, or samples for a log without known time
  double chosen_span_ = span_;  // by a button, as a zoom leaves it
  double view_end_ = 0;
  bool whole_log_ = false;  // the view is the shown log's whole range
  bool paused_ = false;
  bool follow_ = true;

  QTimer timer_;
  StripCharts* charts_ = nullptr;
  ChannelLegend* legend_ = nullptr;
  QWidget* plot_area_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QButtonGroup* spans_ = nullptr;
  QToolButton* pause_ = nullptr;
  QToolButton* live_button_ = nullptr;
  QToolButton* follow_button_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QToolButton* cancel_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* drops_label_ = nullptr;
};

}  // namespace veltrix::ui::plot
