#include "ui/main_ui_form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QThread>
#include <QTimer>

#include <chrono>

#include "devices/port_notifier.h"
#include "ui/operator_prompts.h"
#include "ui/plot/live_plot_window.h"
#include "ui/window_shortcuts.h"

namespace VeltrixDataLoggerWFA_clr8xp {

MainUIForm2::MainUIForm2(veltrix::ui::OperatorPrompts& prompts, QWidget* parent)
    : QWidget(parent), prompts_(prompts), anchoring_(QSize(872, 578)) {
  build_controls();
  restore_choices();
  // Only now, with every initial value in place, so building raised nothing.
  wire_handlers();
  install_port_notifier();
}

MainUIForm2::~MainUIForm2() {
  shut_down();
  // Before the queue it reads goes with this window's members.
  delete live_plot_.data();
  veltrix::devices::set_port_notifier({});
}

void MainUIForm2::wire_handlers() {
  connect(cmbDevices, &QComboBox::currentIndexChanged, this, &MainUIForm2::cmbDevices_SelectedIndexChanged);
  connect(cmbDevices, &QComboBox::currentIndexChanged, this, &MainUIForm2::restore_model_choices);
  connect(btnRefresh, &QPushButton::clicked, this, &MainUIForm2::btnRefresh_Click);
  connect(btnwrite_to_register, &QPushButton::clicked, this, &MainUIForm2::btnwrite_to_register_Click);
  connect(btnRead, &QPushButton::clicked, this, &MainUIForm2::btnRead_Click);
  connect(btnSave, &QPushButton::clicked, this, &MainUIForm2::btnSave_Click);
  connect(btnCompare, &QPushButton::clicked, this, &MainUIForm2::btnCompare_Click);
  connect(btnLoad, &QPushButton::clicked, this, &MainUIForm2::btnLoad_Click);
  connect(btnClear, &QPushButton::clicked, this, &MainUIForm2::btnClear_Click);
  for (QRadioButton* rate : {rdSamplingRate20, rdSamplingRate50, rdSamplingRate100, rdSamplingRate200}) {
    connect(rate, &QRadioButton::toggled, this, [this, rate] { rdSamplingRate_CheckedChanged(rate); });
  }
  connect(rdCustomSampleRate, &QRadioButton::toggled, this, &MainUIForm2::rdCustomSampleRate_CheckedChanged);
  connect(chkGyro, &QCheckBox::toggled, this, &MainUIForm2::chkGyro_CheckedChanged);
  connect(chkAccel, &QCheckBox::toggled, this, &MainUIForm2::chkAccel_CheckedChanged);
  connect(chkCompass, &QCheckBox::toggled, this, &MainUIForm2::chkCompass_CheckedChanged);
  connect(chkTemp, &QCheckBox::toggled, this, &MainUIForm2::chkTemp_CheckedChanged);
  connect(chkEnableDisplay, &QCheckBox::toggled, this, &MainUIForm2::chkHideDisplay_CheckedChanged);
  connect(chkEnableFileLog, &QCheckBox::toggled, this, &MainUIForm2::chkEnableFileLog_CheckedChanged);
  connect(btnSelectFolder, &QPushButton::clicked, this, &MainUIForm2::btnSelectFolder_Click);
  connect(btnStart, &QPushButton::clicked, this, &MainUIForm2::btnStart_Click);
  connect(btnStop, &QPushButton::clicked, this, &MainUIForm2::btnStop_Click);
  connect(tmDataUpdater, &QTimer::timeout, this, &MainUIForm2::tmDataUpdater_Tick);
  auto* start_stop = new QShortcut(QKeySequence(veltrix::ui::kStartStopKeys), this);
  connect(start_stop, &QShortcut::activated, this, [this] {
    QPushButton* front = capturing_ ? btnStop : btnStart;
    if (front->isEnabled()) {
      front->animateClick();
    }
  });
  wire_capture_events();
  wire_capture_extras();
  wire_reconnect();
}

// The port-configuration messages keep their own caption. They are
// shown on this window's thread: at once when the link is opened from here
// (the only place that opens it), queued when they come from anywhere else.
void MainUIForm2::install_port_notifier() {
  veltrix::devices::set_port_notifier([this](const char* text, const char* caption) {
    const QString message = QString::fromLocal8Bit(text);
    const QString title = QString::fromLocal8Bit(caption);
    if (QThread::currentThread() == thread()) {
      prompts_.show_error(title, message);
    } else {
      QMetaObject::invokeMethod(
          this, [this, message, title] { prompts_.show_error(title, message); }, Qt::QueuedConnection);
    }
  });
}

void MainUIForm2::show_error(const QString& text, const QString& detail) {
  prompts_.show_error(QString::fromLatin1(kMessageCaption), text, detail);
}

void MainUIForm2::resizeEvent(QResizeEvent* event) {
  anchoring_.apply(size());
  QWidget::resizeEvent(event);
}

void MainUIForm2::closeEvent(QCloseEvent* event) {
  remember_choices();
  shut_down();
  if (!live_plot_.isNull()) {
    live_plot_->close();
  }
  QWidget::closeEvent(event);
}

// A capture still running is stopped and joined, so its data log ends
// complete and closed; the link is closed after the capture thread is gone.
void MainUIForm2::shut_down() {
  if (shut_down_) {
    return;
  }
  shut_down_ = true;
  tmDataUpdater->stop();
  tmBoardWatch->stop();
  session_.stop();
  while (!session_.wait_for(std::chrono::seconds(1))) {
  }
  iKOR = nullptr;
  session_.disconnect();
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
