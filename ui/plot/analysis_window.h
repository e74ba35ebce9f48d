#pragma once
// The "Analysis" window: the noise analysis (analysis/analysis_report.h) of a
// saved data log or of the live plot's recent samples, as the Allan deviation
// and the power spectral density of each channel on log-log axes (a check
// box per channel shows or hides it in both), and a table of each channel's
// statistics and noise terms. A scale per component (counts per unit and the
// unit's name), remembered per model (analysis_scales.h), puts the figures,
// plots and export of that component in the unit. "Save image…" writes the window as PNG;
// "Export…" writes the analysis as JSON (the command line's document) or,
// for a .csv name, the Allan deviation of every channel as a table. Each
// channel has a colour of its own in both plots, up to all ten.
//
// The analysis runs on a worker thread behind a progress bar and Cancel; it
// hands its result to the window through a queued call. Starting another
// analysis, or closing the window, cancels and joins the running one.
//
// Thread contract: a widget; window thread only. The worker reads only what
// it was given and the cancel flag, and writes only the progress atomic.

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "analysis/analysis_report.h"
#include "analysis/log_channels.h"
#include "ui/plot/plot_prompts.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableWidget;
class QToolButton;

namespace veltrix::ui::plot {

class LogLogPlot;

// What a run of the analysis ended with: figures, a reason it could not give
// them, or neither when it was cancelled; and what reading the log learnt
// that the figures do not say (a cut last line, missed samples it cannot place).
struct AnalysisOutcome {
  std::optional<veltrix::analysis::LogAnalysis> analysis;
  QString error;
  QStringList notes;
};

class AnalysisWindow : public QWidget {
 public:
  explicit AnalysisWindow(PlotPrompts prompts = PlotPrompts::dialogs(), QWidget* parent = nullptr);
  ~AnalysisWindow() override;

  // Analyses a saved data log at the rate its sidecar gives, with the scales
  // remembered for the sidecar's model. A log without a sidecar is analysed
  // at the rate the operator gives, the rate its lines imply offered. False
  // when the operator cancels that question, and, told through the error
  // prompt, when the rate cannot be known.
  bool analyze_log_file(const QString& path);
  // Analyses samples already in memory, e.g. the live plot's, with the scales
  // remembered for `model` ("" when not known).
  void analyze_channels(veltrix::analysis::LogChannels log, double rate_hz, const QString& title,
                        const QString& model = {});
  void cancel();

  bool running() const { return worker_.joinable() && !finished_; }
  // The last analysis finished, in the scales set, or nothing while running
  // or after Cancel.
  const std::optional<veltrix::analysis::LogAnalysis>& shown() const { return shown_; }
  const veltrix::analysis::ComponentScales& scales() const { return scales_; }

  bool save_image(const QString& path);
  // JSON for a .json name, the Allan deviation table for a .csv name; any
  // other name is refused through the error prompt.
  bool export_to(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  using Job = std::function<AnalysisOutcome(const veltrix::analysis::Progress&)>;

  void build();
  QWidget* build_scale_fields();
  void use_model_scales(const QString& model);
  void scale_edited();
  void show_scaled();
  void start(const QString& title, Job job);
  void stop_worker();
  void finished(int generation, AnalysisOutcome outcome);
  void show_analysis();
  void set_running(bool running);
  void prompt_save_image();
  void prompt_export();

  PlotPrompts prompts_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<int> permille_{0};
  bool finished_ = true;
  int generation_ = 0;  // a result of an earlier run, arriving late, is dropped
  QString title_;
  QStringList notes_;
  std::optional<veltrix::analysis::LogAnalysis> counts_;  // the analysis finished, in counts
  std::optional<veltrix::analysis::LogAnalysis> shown_;
  QString model_;
  veltrix::analysis::ComponentScales scales_;

  QTimer progress_timer_;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QToolButton* cancel_button_ = nullptr;
  QToolButton* save_button_ = nullptr;
  QToolButton* export_button_ = nullptr;
  QWidget* channel_boxes_ = nullptr;
  LogLogPlot* adev_ = nullptr;
  LogLogPlot* psd_ = nullptr;
  QTableWidget* table_ = nullptr;
  struct ScaleFields {
    int component;
    QLineEdit* counts;
    QLineEdit* unit;
  };
  std::vector<ScaleFields> scale_fields_;
};

}  // namespace veltrix::ui::plot
