// Beside the described controls: the Live Plot window, the fast capture box,
// and the line under the console title that tells how the last capture went.

#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "capture/capture_settings.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/plot/live_plot_window.h"

using veltrix::capture::CaptureReport;
using veltrix::capture::report_line;
using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::plot::PlotPrompts;

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

// The plot's questions go through the window's prompts, so a scripted
// operator answers them too.
PlotPrompts plot_prompts(veltrix::ui::OperatorPrompts& prompts) {
  return {
      [&prompts](QWidget* parent, const QString&, const QString&) {
        return prompts.open_file_path(parent).value_or(QString());
      },
      [&prompts](QWidget* parent, const QString&, const QString&, const QString&) {
        return prompts.save_file_path(parent, QStringLiteral("png")).value_or(QString());
      },
      [&prompts](QWidget*, const QString& title, const QString& text) { prompts.show_error(title, text); },
  };
}

}  // namespace

void MainUIForm2::show_live_plot() {
  if (live_plot_.isNull()) {
    live_plot_ = new LivePlotWindow(&plot_queue_, plot_prompts(prompts_), this);
    live_plot_->setObjectName(QStringLiteral("livePlotWindow"));
    live_plot_->setWindowFlag(Qt::Window);
    live_plot_->set_status(lblCaptureReport->text());
  }
  live_plot_->show();
  live_plot_->raise();
  live_plot_->activateWindow();
}

void MainUIForm2::chkFastCapture_CheckedChanged() {
  veltrix::capture::settings::FastCapture = chkFastCapture->isChecked();
}

veltrix::capture::control::CaptureOptions MainUIForm2::begin_capture_extras() {
  (void)veltrix::capture::control::take_notes();
  capture_notes_.clear();
  capture_report_.clear();
  show_capture_outcome();
  if (!live_plot_.isNull()) {
    live_plot_->begin_capture();
  }
  veltrix::capture::control::CaptureOptions options;
  options.description = description_;
  options.plot_queue = &plot_queue_;
  // Runs on the capture thread; the window may be closing meanwhile, and then
  // the queued call is dropped with it.
  options.report_observer = [this, capture = ++capture_serial_](const CaptureReport& report) {
    QMetaObject::invokeMethod(
        this, [this, capture, report] { show_capture_report(capture, report); }, Qt::QueuedConnection);
  };
  return options;
}

// A report of an earlier capture, arriving after a quick Stop and Start, is
// not this capture's.
void MainUIForm2::show_capture_report(int capture, const CaptureReport& report) {
  if (capture != capture_serial_) {
    return;
  }
  collect_capture_notes();
  capture_report_ = QString::fromStdString(report_line(report));
  show_capture_outcome();
}

// A capture leaves its notes (a fast capture that fell back, say) as it
// starts; the capture watch and the report pick them up.
void MainUIForm2::collect_capture_notes() {
  const QString notes = QString::fromStdString(veltrix::capture::control::take_notes()).trimmed();
  if (notes.isEmpty()) {
    return;
  }
  capture_notes_ = capture_notes_.isEmpty() ? notes : capture_notes_ + QLatin1Char(' ') + notes;
  show_capture_outcome();
}

void MainUIForm2::show_capture_outcome() {
  QString text = capture_report_;
  if (!capture_notes_.isEmpty()) {
    text = text.isEmpty() ? capture_notes_ : text + QLatin1Char(' ') + capture_notes_;
  }
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  lblCaptureReport->setText(text);
  lblCaptureReport->setToolTip(text);
  if (!live_plot_.isNull()) {
    live_plot_->set_status(text);
  }
}

void MainUIForm2::wire_capture_extras() {
  auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
  connect(shortcut, &QShortcut::activated, this, &MainUIForm2::show_live_plot);
  connect(btnLivePlot, &QPushButton::clicked, this, &MainUIForm2::show_live_plot);
  connect(chkFastCapture, &QCheckBox::toggled, this, &MainUIForm2::chkFastCapture_CheckedChanged);
  connect(capture_watch_, &QTimer::timeout, this, &MainUIForm2::collect_capture_notes);
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
