#include "ui/plot/live_plot_window.h"

#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/plot/analysis_window.h"
#include "ui/plot/channel_legend.h"
#include "ui/plot/series_channels.h"
#include "ui/plot/strip_charts.h"
#include "ui/plot/text_tool_button.h"

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;
using veltrix::capture::SampleQueue;

namespace veltrix::ui::plot {

namespace {

constexpr std::array<int, 3> kSpanSeconds{2, 10, 60};
constexpr double kLongestSpan = 60000;
constexpr std::size_t kBatch = 4096;
// While paused the samples behind the frozen view are kept, up to this many.
constexpr std::size_t kMostKeptWhilePaused = 4'000'000;
// A log shown is checked for new lines about once a second.
constexpr int kFramesPerReadOn = 30;

// The size the operator last gave the window, for the rest of the run.
QSize& remembered_size() {
  static QSize size(1040, 680);
  return size;
}

}  // namespace

LivePlotWindow::LivePlotWindow(SampleQueue* queue, PlotPrompts prompts, QWidget* parent)
    : QWidget(parent, Qt::Window), prompts_(std::move(prompts)), batch_(kBatch) {
  setWindowTitle(tr("Live Plot"));
  build();
  resize(remembered_size());
  restore_live_plot_choices(*this);
  set_source(queue);
  connect(&timer_, &QTimer::timeout, this, &LivePlotWindow::refresh);
  timer_.start(kFramePeriodMs);
  update_view();
}

void LivePlotWindow::build() {
  auto* top = new QHBoxLayout;
  top->setSpacing(4);
  top->addWidget(new QLabel(tr("Window:"), this));
  spans_ = new QButtonGroup(this);
  for (const int seconds : kSpanSeconds) {
    QToolButton* button = text_tool_button({}, QStringLiteral("span%1").arg(seconds), this);
    button->setCheckable(true);
    button->setToolTip(tr("Time window shown"));
    spans_->addButton(button, seconds * 1000);
    top->addWidget(button);
  }
  spans_->button(static_cast<int>(span_))->setChecked(true);
  connect(spans_, &QButtonGroup::idClicked, this, [this](int id) { set_span(id); });
  top->addSpacing(12);
  pause_ = text_tool_button(tr("Pause"), QStringLiteral("btnPause"), this);
  pause_->setCheckable(true);
  pause_->setToolTip(tr("Freeze the display; the capture goes on"));
  connect(pause_, &QToolButton::toggled, this, &LivePlotWindow::set_paused);
  top->addWidget(pause_);
  live_button_ = text_tool_button(tr("Show live"), QStringLiteral("btnShowLive"), this);
  live_button_->setToolTip(tr("Back to the running capture"));
  connect(live_button_, &QToolButton::clicked, this, &LivePlotWindow::show_live);
  top->addWidget(live_button_);
  follow_button_ = text_tool_button(tr("Follow"), QStringLiteral("btnFollow"), this);
  follow_button_->setToolTip(tr("Follow the running capture again"));
  connect(follow_button_, &QToolButton::clicked, this, &LivePlotWindow::follow);
  top->addWidget(follow_button_);
  top->addStretch(1);
  QToolButton* open = text_tool_button(tr("Open data log…"), QStringLiteral("btnOpenDataLog"), this);
  open->setShortcut(QKeySequence::Open);
  connect(open, &QToolButton::clicked, this, &LivePlotWindow::prompt_open);
  top->addWidget(open);
  QToolButton* analyze_button = text_tool_button(tr("Analyze…"), QStringLiteral("btnAnalyze"), this);
  analyze_button->setToolTip(
      tr("Allan deviation, spectrum and noise figures of the log shown, or of the live samples in view"));
  connect(analyze_button, &QToolButton::clicked, this, &LivePlotWindow::analyze);
  top->addWidget(analyze_button);
  QToolButton* save = text_tool_button(tr("Save image…"), QStringLiteral("btnSaveImage"), this);
  save->setShortcut(QKeySequence::Save);
  connect(save, &QToolButton::clicked, this, &LivePlotWindow::prompt_save);
  top->addWidget(save);

  plot_area_ = new QWidget(this);
  plot_area_->setAutoFillBackground(true);
  QPalette palette = plot_area_->palette();
  palette.setColor(QPalette::Window, QColor(0xfb, 0xfb, 0xfc));
  plot_area_->setPalette(palette);
  auto* plot_row = new QHBoxLayout(plot_area_);
  plot_row->setContentsMargins(6, 8, 10, 6);
  charts_ = new StripCharts(plot_area_);
  charts_->setObjectName(QStringLiteral("stripCharts"));
  charts_->set_source(&live_source_);
  charts_->on_view_request([this](double x0, double x1) { request_view(x0, x1); });
  legend_ = new ChannelLegend(plot_area_);
  legend_->on_toggled([this](PlotChannel channel, bool visible) { charts_->set_channel_visible(channel, visible); });
  plot_row->addWidget(charts_, 1);
  plot_row->addWidget(legend_);

  scroll_ = new QScrollBar(Qt::Horizontal, this);
  scroll_->setObjectName(QStringLiteral("scrollView"));
  connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
    view_end_ = value;
    update_view();
  });

  auto* bottom = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblStatus"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long report (its end, gaps and notes) takes more lines, never more width.
  status_->setWordWrap(true);
  drops_label_ = new QLabel(this);
  drops_label_->setObjectName(QStringLiteral("lblDisplayDrops"));
  drops_label_->setStyleSheet(QStringLiteral("color: #a04000;"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressIndexing"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(200);
  progress_->setTextVisible(false);
  cancel_ = text_tool_button(tr("Cancel"), QStringLiteral("btnCancelIndexing"), this);
  connect(cancel_, &QToolButton::clicked, this, [this] {
    if (log_) {
      log_->cancel();
    }
  });
  bottom->addWidget(status_, 1);
  bottom->addWidget(progress_);
  bottom->addWidget(cancel_);
  bottom->addWidget(drops_label_);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 6);
  column->setSpacing(6);
  column->addLayout(top);
  column->addWidget(plot_area_, 1);
  column->addWidget(scroll_);
  column->addLayout(bottom);
}

void LivePlotWindow::set_source(SampleQueue* queue) {
  queue_ = queue;
  begin_capture();
}

void LivePlotWindow::begin_capture() {
  live_.clear();
  drops_seen_ = queue_ != nullptr ? queue_->dropped() : 0;
  drops_ = 0;
  drops_label_->clear();
  update_view();
}

void LivePlotWindow::set_status(const QString& text) {
  capture_status_ = text;
  show_status();
}

void LivePlotWindow::refresh() {
  drain();
  if (log_ && log_->indexing()) {
    progress_->setValue(static_cast<int>(log_->progress() * 1000));
  } else if (log_ && ++frames_since_read_on_ >= kFramesPerReadOn) {
    frames_since_read_on_ = 0;
    if (log_->read_on()) {
      show_status();
    }
  }
  if (isVisible()) {
    update_view();
  }
}

void LivePlotWindow::drain() {
  if (queue_ == nullptr) {
    return;
  }
  for (;;) {
    const std::size_t count = queue_->pop(batch_);
    for (std::size_t i = 0; i < count; ++i) {
      // Time starts again at the next capture.
      if (!live_.empty() && batch_[i].x < live_.x().back()) {
        live_.clear();
      }
      live_.append(batch_[i]);
    }
    if (count < batch_.size()) {
      break;
    }
  }
  if (!live_.empty()) {
    const double newest = live_.x().back();
    double keep_from = newest - kLongestSpan;
    if ((paused_ || !follow_) && live_.size() < kMostKeptWhilePaused) {
      keep_from = std::min(keep_from, view_end_ - span_);
    }
    live_.drop_before(keep_from);
  }
  const std::uint64_t drops = queue_->dropped() - drops_seen_;
  if (drops != drops_) {
    drops_ = drops;
    drops_label_->setText(tr("Display skipped %1 samples; the logs are complete").arg(drops));
  }
}

void LivePlotWindow::update_view() {
  const SampleSeries& series = live_;
  const bool samples_axis = log_ && !log_->has_time();
  charts_->set_source(log_ ? static_cast<PlotSource*>(log_.get()) : &live_source_);
  charts_->set_placeholder(log_ ? tr("The data log holds no samples")
                                : tr("Waiting for samples: start a capture with a component selected"));
  for (const int seconds : kSpanSeconds) {
    spans_->button(seconds * 1000)->setText(samples_axis ? QString::number(seconds * 1000) : tr("%1 s").arg(seconds));
  }
  spans_->button(kSpanSeconds.back() * 1000)->setToolTip(samples_axis ? tr("Samples shown") : tr("Time window shown"));
  pause_->setEnabled(!log_);
  live_button_->setVisible(log_ != nullptr);
  follow_button_->setVisible(!log_ && !follow_);
  legend_->set_components(log_ ? log_->components() : series.components());
  const bool indexing = log_ && log_->indexing();
  progress_->setVisible(indexing);
  cancel_->setVisible(indexing);

  double first = series.empty() ? 0 : series.x().front();
  double last = series.empty() ? 0 : series.x().back();
  if (log_) {
    first = log_->first_x();
    last = log_->last_x();
    if (whole_log_) {
      span_ = std::max(last - first, 1.0);
      view_end_ = first + span_;
    }
  }
  const double earliest_end = first + span_;
  const double latest_end = std::max(last, earliest_end);
  if (following()) {
    view_end_ = latest_end;
  }
  view_end_ = std::clamp(view_end_, earliest_end, latest_end);
  scroll_->setVisible(!following());
  {
    const QSignalBlocker quiet(scroll_);
    scroll_->setRange(static_cast<int>(std::floor(earliest_end)), static_cast<int>(std::ceil(latest_end)));
    scroll_->setPageStep(std::max(1, static_cast<int>(span_)));
    scroll_->setSingleStep(std::max(1, static_cast<int>(span_ / 20)));
    scroll_->setValue(static_cast<int>(std::lround(view_end_)));
  }

  charts_->set_view(view_end_ - span_, view_end_,
                    samples_axis ? StripCharts::XUnit::kSamples : StripCharts::XUnit::kMilliseconds);
  PlotSource& source = log_ ? static_cast<PlotSource&>(*log_) : live_source_;
  for (int c = 0; c < kPlotChannelCount; ++c) {
    const auto channel = static_cast<PlotChannel>(c);
    legend_->set_value(channel, source.value_at(channel, view_end_, view_end_ - span_));
  }
}

void LivePlotWindow::request_view(double x0, double x1) {
  whole_log_ = false;
  span_ = std::max(x1 - x0, 1.0);
  view_end_ = x0 + span_;
  if (!log_) {
    follow_ = false;
  }
  // The span no longer is one of the buttons'.
  spans_->setExclusive(false);
  for (QAbstractButton* button : spans_->buttons()) {
    button->setChecked(static_cast<int>(span_) == spans_->id(button));
  }
  spans_->setExclusive(true);
  update_view();
}

void LivePlotWindow::fit_all() {
  if (log_) {
    show_whole_log();
    return;
  }
  const double first = live_.empty() ? 0 : live_.x().front();
  const double last = live_.empty() ? 0 : live_.x().back();
  request_view(first, std::max(last, first + 1));
}

// The view follows the log's whole range, which grows while it is read.
void LivePlotWindow::show_whole_log() {
  whole_log_ = true;
  spans_->setExclusive(false);
  for (QAbstractButton* button : spans_->buttons()) {
    button->setChecked(false);
  }
  spans_->setExclusive(true);
  update_view();
}

// Back to the span last chosen with a button: a zoom unchecks them all.
void LivePlotWindow::follow() {
  follow_ = true;
  set_span(chosen_span_);
  spans_->button(static_cast<int>(span_))->setChecked(true);
  pause_->setChecked(false);
  update_view();
}

void LivePlotWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home) {
    fit_all();
    return;
  }
  QWidget::keyPressEvent(event);
}

void LivePlotWindow::set_span(double span) {
  whole_log_ = false;
  span_ = span;
  chosen_span_ = span;
  update_view();
}

void LivePlotWindow::set_paused(bool paused) {
  paused_ = paused;
  pause_->setText(paused ? tr("Resume") : tr("Pause"));
  update_view();
}

void LivePlotWindow::show_live() {
  charts_->set_source(&live_source_);
  log_.reset();
  whole_log_ = false;
  if (spans_->checkedId() < 0) {
    span_ = chosen_span_;
    spans_->button(static_cast<int>(span_))->setChecked(true);
  }
  show_status();
  update_view();
}

bool LivePlotWindow::open_data_log(const QString& path) {
  const QString title = tr("Open data log");
  const QString name = QFileInfo(path).fileName();
  auto log = std::make_unique<IndexedLog>();
  std::string message;
  const auto ended = [this] { QMetaObject::invokeMethod(this, &LivePlotWindow::indexing_ended, Qt::QueuedConnection); };
  if (!log->open(QFile::encodeName(path).toStdString(), message, ended)) {
    const QString reason = QString::fromStdString(message);
    prompts_.error(this, title,
                   QFileInfo(path).isFile() && QFileInfo(path).isReadable()
                       ? tr("%1 is not a data log of this program.\n\n%2").arg(name, reason)
                       : tr("%1 could not be read: %2").arg(name, reason));
    return false;
  }
  charts_->set_source(&live_source_);
  log_ = std::move(log);
  log_name_ = name;
  log_path_ = path;
  frames_since_read_on_ = 0;
  progress_->setValue(0);
  show_status();
  show_whole_log();
  return true;
}

void LivePlotWindow::indexing_ended() {
  show_status();
  update_view();
}

bool LivePlotWindow::save_image(const QString& path) {
  if (plot_area_->grab().save(path, "PNG")) {
    return true;
  }
  prompts_.error(this, tr("Save image"), tr("The image could not be written to %1.").arg(path));
  return false;
}

AnalysisWindow* LivePlotWindow::analyze() {
  if (analysis_ == nullptr) {
    analysis_ = new AnalysisWindow(prompts_, this);
    analysis_->setAttribute(Qt::WA_DeleteOnClose);
  }
  if (log_) {
    if (!analysis_->analyze_log_file(log_path_)) {
      return analysis_;
    }
  } else {
    SeriesChannels live = series_channels(live_, span_ / 1000);
    if (live.rate_hz <= 0) {
      prompts_.error(this, tr("Analyze"), tr("There are no live samples to analyse: start a capture first."));
      return analysis_;
    }
    analysis_->analyze_channels(
        std::move(live.log), live.rate_hz,
        tr("The last %1 s of the capture at %2 Hz").arg(span_ / 1000).arg(live.rate_hz, 0, 'f', 1));
  }
  analysis_->show();
  analysis_->raise();
  return analysis_;
}

void LivePlotWindow::prompt_open() {
  const QString path = prompts_.open_file_name(this, tr("Open data log"), tr("Data logs (*.csv);;All files (*)"));
  if (!path.isEmpty()) {
    open_data_log(path);
  }
}

void LivePlotWindow::prompt_save() {
  const QString path = prompts_.png_file_name(this, QStringLiteral("livePlot.png"));
  if (!path.isEmpty()) {
    save_image(path);
  }
}

void LivePlotWindow::show_status() {
  if (!log_) {
    status_->setText(capture_status_);
    return;
  }
  const QString refused =
      log_->overview_refused().empty()
          ? QString()
          : tr("; its overview was not used: %1").arg(QString::fromStdString(log_->overview_refused()));
  if (!log_->indexed()) {
    status_->setText(tr("%1: reading every line, drawn as it is read…").arg(log_name_) + refused);
    return;
  }
  const IndexedLogSummary summary = log_->summary();
  QString text = tr("%1: %2 samples").arg(log_name_).arg(summary.lines);
  if (log_->rate_hz() > 0) {
    text += tr(", timed by the sidecar's rate, %1 Hz").arg(log_->rate_hz());
  } else if (!log_->has_time()) {
    text += tr(", numbered (no time column, no rate)");
  }
  if (log_->from_overview()) {
    text += tr("; drawn from its overview");
  }
  if (summary.total_time_ms) {
    text += tr("; its summary: %1 ms, %2 samples").arg(*summary.total_time_ms).arg(*summary.total_samples);
  }
  if (summary.skipped_lines > 0) {
    text += tr("; %1 lines with other columns than the header not shown").arg(summary.skipped_lines);
  }
  if (summary.cut_last_line) {
    text += tr("; its last line is cut short and not shown");
  }
  if (summary.cancelled) {
    text += tr("; reading cancelled, the rest is not shown");
  }
  if (!summary.error.empty()) {
    text += tr("; reading stopped, the rest is not shown: %1").arg(QString::fromStdString(summary.error));
  }
  status_->setText(text + refused);
}

void LivePlotWindow::closeEvent(QCloseEvent* event) {
  remember_live_plot_choices(*this);
  QWidget::closeEvent(event);
}

void LivePlotWindow::resizeEvent(QResizeEvent* event) {
  remembered_size() = event->size();
  QWidget::resizeEvent(event);
}

}  // namespace veltrix::ui::plot
