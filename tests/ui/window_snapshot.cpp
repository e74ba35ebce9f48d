// Writes pictures for a person to compare with the designed layout:
//   window_snapshot OUT.png
//     the window connected to a simulated KOR 73 board after a one-second
//     capture;
//   window_snapshot --live-plot-8khz OUT.png
//     the Live Plot window during a fast capture of a simulated KOR 23 at
//     8 kHz (set in the register panel; gyroscope, read from the FIFO) for
//     2.5 s, showing 2 s, with its report;
//   window_snapshot --analysis OUT.png
//     the Analysis window on a 5-minute data log of a simulated gyroscope at
//     rest, 1 kHz, with the simulator's white noise and bias walk.
// Runs on any Qt platform; use QT_QPA_PLATFORM=offscreen without a display.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/capture_control.h"
#include "capture/capture_sidecar.h"
#include "capture/data_log.h"
#include "capture/data_log_format.h"
#include "capture/sample_format.h"
#include "devices/ikor.h"
#include "sim/board_sim.h"
#include "tests/ui/scripted_prompts.h"
#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"
#include "ui/plot/analysis_window.h"

namespace {

void run_events_for(int ms) {
  QElapsedTimer running;
  running.start();
  while (running.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

// A gyroscope capture at rest as the capture writes it, with its sidecar.
bool write_resting_gyro_log(const std::string& path) {
  constexpr int kRateHz = 1000;
  constexpr int kSamples = 300 * kRateHz;
  veltrix::sim::NoiseModel noise({.white_noise = 14, .bias_walk = 0.015, .seed = 5});
  veltrix::capture::DataLog log;
  if (log.open(path) != 0) {
    return false;
  }
  veltrix::capture::SampleText line;
  veltrix::capture::format_header(line, false, COMPONENT_GYRO);
  const std::string header(line.view());
  int status = log.write(header) | log.write(veltrix::capture::kLineEnd);
  const std::int16_t at_rest[3] = {-21, 8, 35};
  for (int n = 0; n < kSamples && status == 0; ++n) {
    veltrix::capture::SampleValues values;
    for (int axis = 0; axis < 3; ++axis) {
      values.gyro[axis] =
          noise.apply(static_cast<veltrix::sim::Channel>(axis), static_cast<std::uint64_t>(n), at_rest[axis]);
    }
    line.clear();
    veltrix::capture::format_sample_line(line, COMPONENT_GYRO, values, std::nullopt);
    status = log.write(line.view()) | log.write(veltrix::capture::kLineEnd);
  }
  line.clear();
  veltrix::capture::format_summary(line, kSamples, kSamples);
  status |= log.write(line.view()) | log.close();
  veltrix::capture::SidecarFacts facts;
  facts.description = {"KOR 23", "kor23", "I2C", "(simulated)"};
  facts.paths.data_log = path;
  facts.rate_hz = kRateHz;
  facts.components = COMPONENT_GYRO;
  facts.header = header;
  facts.started = std::chrono::system_clock::now();
  const veltrix::capture::CaptureReport report{kSamples, kSamples - 1.0, kRateHz, kRateHz, 1.0, 0, 0};
  return status == 0 && veltrix::capture::write_sidecar(facts, &report) == 0;
}

int analysis_snapshot(const QString& out) {
  const QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("dataLog1.csv"));
  if (!write_resting_gyro_log(path.toStdString())) {
    std::fprintf(stderr, "the data log was not written\n");
    return 1;
  }
  veltrix::ui::plot::AnalysisWindow window;
  window.show();
  if (!window.analyze_log_file(path)) {
    return 1;
  }
  while (window.running()) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QApplication::processEvents();
  return window.shown() && window.grab().save(out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool plot = argc == 3 && std::strcmp(argv[1], "--live-plot-8khz") == 0;
  const bool analysis = argc == 3 && std::strcmp(argv[1], "--analysis") == 0;
  if (argc != 2 && !plot && !analysis) {
    std::fprintf(stderr, "usage: window_snapshot [--live-plot-8khz | --analysis] OUT.png\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[argc - 1]);
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  // The pictures show a first run, whatever this user's settings hold.
  const QTemporaryDir no_settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, no_settings.path());
  if (analysis) {
    return analysis_snapshot(out);
  }
  veltrix::sim::BoardOptions options;
  options.sensor.model_class = plot ? "kor23" : "kor73";
  veltrix::sim::BoardSim board(options);
  if (board.start() != 0) {
    std::fprintf(stderr, "the simulated board did not start\n");
    return 1;
  }
  qputenv("VELTRIX_PORT", QByteArray::fromStdString(board.port_path()));
  int written = 1;
  {
    veltrix::ui::test::ScriptedPrompts prompts;
    prompts.connection_mode = MODE_I2C;  // for a model that asks
    VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
    window.show();
    auto* devices = window.findChild<QComboBox*>(QStringLiteral("cmbDevices"));
    devices->setCurrentIndex(devices->findText(QString::fromLatin1(plot ? "KOR 23" : "KOR 73")));
    if (plot) {
      // 8 kHz as a user sets it, no rate button offering it: SMPLRT_DIV (15)
      // and DLPF_FS_SYNC (16) to 0 through the register panel's Write.
      for (const char* reg : {"15", "16"}) {
        window.findChild<QLineEdit*>(QStringLiteral("txtWriteRegRegister"))->setText(QString::fromLatin1(reg));
        window.findChild<QLineEdit*>(QStringLiteral("txtWriteRegData"))->setText(QStringLiteral("00"));
        window.findChild<QPushButton*>(QStringLiteral("btnwrite_to_register"))->click();
      }
      unsigned char divider = 0;
      unsigned char filter = 0;
      if (iKOR == nullptr || iKOR->get_current_sampling_rate(divider, filter) != 8000) {
        std::fprintf(stderr, "the simulated board did not connect at 8 kHz\n");
        return 1;
      }
      window.findChild<QCheckBox*>(QStringLiteral("chkFastCapture"))->click();
      for (const char* name : {"chkAccel", "chkCompass", "chkTemp"}) {
        if (auto* box = window.findChild<QCheckBox*>(QString::fromLatin1(name)); box != nullptr && box->isChecked()) {
          box->click();
        }
      }
      window.findChild<QPushButton*>(QStringLiteral("btnLivePlot"))->click();
      if (auto* two_seconds = window.findChild<QAbstractButton*>(QStringLiteral("span2")); two_seconds != nullptr) {
        two_seconds->click();
      }
    }
    window.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    run_events_for(plot ? 2500 : 1000);
    window.findChild<QPushButton*>(QStringLiteral("btnStop"))->click();
    veltrix::capture::control::wait();
    if (plot) {
      run_events_for(300);  // the capture report reaches the plot's status line
      QWidget* live_plot = window.findChild<QWidget*>(QStringLiteral("livePlotWindow"));
      written = live_plot != nullptr && live_plot->grab().save(out) ? 0 : 1;
    } else {
      window.tmDataUpdater_Tick();
      QApplication::processEvents();
      written = window.grab().save(out) ? 0 : 1;
    }
  }
  iKOR = nullptr;
  return written;
}
