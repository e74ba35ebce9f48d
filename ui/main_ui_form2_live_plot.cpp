// Beside the described controls: the Live Plot window, the fast capture box,
// and the line under the console title that tells how the last capture went.

#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include "capture/capture_settings.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"
#include "ui/plot/live_plot_window.h"
#include "ui/window_shortcuts.h"

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
      [&prompts](QWidget* parent, const QString& title, const QString& text) {
        return prompts.ask_sample_rate(parent, title, text);
      },
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

veltrix::session::CaptureRun MainUIForm2::begin_capture_extras() {
  capture_notes_.clear();
  capture_end_.clear();
  capture_waiting_.clear();
  capture_report_.clear();
  capture_gaps_.clear();
  failures_shown_.clear();
  show_capture_outcome();
  if (!live_plot_.isNull()) {
    live_plot_->begin_capture();
  }
  veltrix::session::CaptureRun run;
  run.plot_queue = &plot_queue_;
  return run;
}

// A capture's notes (a fast capture that fell back, say) stay beside its
// report.
void MainUIForm2::capture_note(const QString& message) {
  capture_notes_ = capture_notes_.isEmpty() ? message : capture_notes_ + QLatin1Char(' ') + message;
  show_capture_outcome();
}

// A capture that waits on a sensor flagging none says so while it lasts.
void MainUIForm2::capture_waiting(int seconds) {
  capture_waiting_ = seconds > 0 ? QString::fromStdString(veltrix::capture::waiting_text(seconds)) : QString();
  show_capture_outcome();
}

void MainUIForm2::show_capture_outcome() {
  QString text;
  for (const QString& part : {capture_end_, capture_waiting_, capture_report_, capture_gaps_, capture_notes_}) {
    if (!part.isEmpty()) {
      text = text.isEmpty() ? part : text + QLatin1Char(' ') + part;
    }
  }
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  lblCaptureReport->setText(text);
  lblCaptureReport->setToolTip(text);
  if (!live_plot_.isNull()) {
    live_plot_->set_status(text);
  }
}

void MainUIForm2::wire_capture_extras() {
  auto* shortcut = new QShortcut(QKeySequence(veltrix::ui::kLivePlotKeys), this);
  connect(shortcut, &QShortcut::activated, this, &MainUIForm2::show_live_plot);
  connect(btnLivePlot, &QPushButton::clicked, this, &MainUIForm2::show_live_plot);
  connect(chkFastCapture, &QCheckBox::toggled, this, &MainUIForm2::chkFastCapture_CheckedChanged);
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
