#include "tests/ui/window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/device_connection.h"

namespace veltrix::ui::test {

namespace {

std::unique_ptr<QTemporaryDir> settings_folder;

}  // namespace

void reset_process_state() {
  reset_run_state();
  settings_folder = std::make_unique<QTemporaryDir>();
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_folder->path());
}

QString settings_file() { return QSettings().fileName(); }

void reset_run_state() {
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  veltrix::devices::disconnect_device();
  iKOR = nullptr;
  using namespace veltrix::capture::settings;
  BackgroundThreadRunningStatus = 0;
  EnableLogToConsole = true;
  EnableLogToFile = false;
  FileLogFolder.set("");
  FastCapture = false;
  select_components(0);
  veltrix::capture::console_buffer::clear();
  // Nothing answers here unless a test starts a board. Through Qt's
  // environment lock: QtTest's watchdog thread reads the environment while a
  // test runs, and a bare setenv beside its getenv can crash it.
  qputenv("VELTRIX_PORT", "/nonexistent/veltrix-board");
}

WindowHarness::WindowHarness() {
  reset_process_state();
  window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(prompts);
}

WindowHarness::~WindowHarness() {
  window.reset();
  iKOR = nullptr;
  board.reset();
  qunsetenv("VELTRIX_PORT");
}

void WindowHarness::restart() {
  window->close();
  window.reset();
  reset_run_state();
  if (board) {
    qputenv("VELTRIX_PORT", QByteArray::fromStdString(board->port_path()));
  }
  window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(prompts);
}

sim::BoardSim& WindowHarness::start_board(const std::string& model_class, sim::SensorOptions sensor) {
  sim::BoardOptions options;
  options.sensor = std::move(sensor);
  options.sensor.model_class = model_class;
  board = std::make_unique<sim::BoardSim>(options);
  if (board->start() != 0) {
    qFatal("the simulated board did not start");
  }
  qputenv("VELTRIX_PORT", QByteArray::fromStdString(board->port_path()));
  return *board;
}

void WindowHarness::select_model(const QString& model, int mode) {
  prompts.connection_mode = mode;
  auto* devices = child<QComboBox>("cmbDevices");
  devices->setCurrentIndex(devices->findText(model));
}

bool WindowHarness::connect(const std::string& model_class, const QString& model, sim::SensorOptions sensor) {
  start_board(model_class, std::move(sensor));
  window->show();
  if (!QTest::qWaitForWindowExposed(window.get())) {
    return false;
  }
  select_model(model);
  return iKOR != nullptr;
}

void WindowHarness::click(const char* button_name) const {
  QTest::mouseClick(child<QAbstractButton>(button_name), Qt::LeftButton);
}

QStringList WindowHarness::board_lines() const {
  QStringList lines;
  for (const auto& record : board->commands()) {
    lines.append(QString::fromStdString(record.line));
  }
  return lines;
}

void WindowHarness::start_logged_capture(const QString& folder) {
  prompts.folder_answers = {folder};
  click("btnSelectFolder");
  click("btnStart");
}

int buffered_lines() {
  const std::string text = veltrix::capture::console_buffer::snapshot();
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace veltrix::ui::test
