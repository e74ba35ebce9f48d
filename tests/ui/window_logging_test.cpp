// The logging controls against a simulated KOR 73: rate buttons and the
// custom entry, output switches, folder picker paths, a full capture into a
// data log, Stop then Start at once, closing mid-capture, a data log that
// cannot be created, and captures that end by themselves.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "capture/capture_control.h"
#include "capture/capture_events.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "tests/capture/sample_line_check.h"
#include "tests/ui/sample_lines.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"
#include "ui/session_signals.h"
#include "ui/termination_signals.h"

using veltrix::ui::test::buffered_lines;
using veltrix::ui::test::check_sample_text;
using veltrix::ui::test::kAllComponents;
using veltrix::ui::test::kCaptureTimeoutMs;
using veltrix::ui::test::SampleRun;
using veltrix::ui::test::WindowHarness;

namespace {

QString pane_text(const WindowHarness& h) { return h.child<QPlainTextEdit>("txtDataLogging")->toPlainText(); }

QString as_pane_shows(const std::string& text) { return QString::fromLatin1(text).replace("\r\n", "\n"); }

// The data log, register log and description a capture wrote into `folder`.
struct Logs {
  std::filesystem::path data;
  std::filesystem::path registers;
  std::filesystem::path description;
};
Logs logs_in(const QString& folder) {
  Logs logs;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.toStdString())) {
    ++files;
    const std::string name = entry.path().filename().string();
    if (name.ends_with("_reg.txt")) {
      logs.registers = entry.path();
    } else if (name.ends_with(".json")) {
      logs.description = entry.path();
    } else {
      logs.data = entry.path();
    }
  }
  if (files != 3 || logs.description.empty()) {
    qWarning("%d files in %s", files, qPrintable(folder));
    return {};
  }
  return logs;
}

bool open_in_this_process(const std::filesystem::path& file) {
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(fd.path(), ignored) == file) {
      return true;
    }
  }
  return false;
}

}  // namespace

class WindowLoggingTest : public QObject {
  Q_OBJECT

  static void close_mid_capture(const std::function<void(VeltrixDataLoggerWFA_clr8xp::MainUIForm2&)>& close) {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    h.start_logged_capture(dir.path());
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 6, kCaptureTimeoutMs);
    close(*h.window);

    QVERIFY(veltrix::capture::settings::BackgroundThreadRunningStatus.load() != 1);
    const Logs logs = logs_in(dir.path());
    QVERIFY(!logs.data.empty());
    QVERIFY(!open_in_this_process(logs.data));
    const std::string data_log = veltrix::capture::test::read_file(logs.data);
    QCOMPARE(data_log, veltrix::capture::console_buffer::snapshot());
    const QString problem = check_sample_text(data_log, kAllComponents);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The window let go of the port: another connection may take it.
    auto device = find_model("KOR 73")->create();
    QCOMPARE(device->initialize(h.board->port_path().c_str(), MODE_I2C), 0L);
    veltrix::devices::disconnect_device();
  }

  // The board falls silent or goes away mid-capture: with nobody pressing
  // Stop, the window is idle again, the reason in one box and in the report
  // line.
  static void ends_by_itself(const veltrix::sim::Faults& faults, veltrix::capture::EndReason reason) {
    const QString why = QString::fromLatin1(veltrix::capture::end_reason_text(reason));
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QLatin1Char('\n')) >= 4, kCaptureTimeoutMs);
    h.board->set_faults(faults);

    QTRY_VERIFY_WITH_TIMEOUT(h.child<QPushButton>("btnStart")->isVisible(), kCaptureTimeoutMs);
    QVERIFY(h.child<QPushButton>("btnStop")->isHidden());
    for (const char* usable :
         {"btnLoad", "btnwrite_to_register", "btnRead", "chkEnableDisplay", "chkEnableFileLog", "chkFastCapture"}) {
      QVERIFY2(h.child<QWidget>(usable)->isEnabled(), usable);
    }
    QVERIFY(!h.window->findChild<QTimer*>(QStringLiteral("tmDataUpdater"))->isActive());
    QVERIFY(pane_text(h).contains(why));
    const QString report = h.child<QLabel>("lblCaptureReport")->text();
    QVERIFY2(report.startsWith(why + QStringLiteral(" Capture report: ")), qPrintable(report));
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
    QCOMPARE(h.prompts.errors[0].caption, QStringLiteral("Veltrix Data Logger"));
    QVERIFY2(h.prompts.errors[0].text.startsWith(why), qPrintable(h.prompts.errors[0].text));
    QTest::qWait(200);
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
  }

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void rate_buttons_follow_and_set_the_device() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    // The sensor left at 1000 Hz by hand; a write makes the window read the rate back.
    h.board->set_register(0x68, iKOR->lookup_address("CONFIG"), 0x01);
    h.board->set_register(0x68, iKOR->lookup_address("SMPLRT_DIV"), 0x00);
    h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("00"));
    h.click("btnwrite_to_register");
    auto* custom = h.child<QRadioButton>("rdCustomSampleRate");
    QVERIFY(custom->isVisible());
    QVERIFY(custom->isChecked());
    QCOMPARE(custom->text(), QStringLiteral("Custom ( 1000 Hz )"));
    QCOMPARE(h.window->CurrentSampleRate, 1000);
    for (const char* fixed : {"rdSamplingRate20", "rdSamplingRate50", "rdSamplingRate100", "rdSamplingRate200"}) {
      QVERIFY(!h.child<QRadioButton>(fixed)->isChecked());
    }
    // The flow closes up around the custom entry: it sits after 200 Hz.
    QCOMPARE(custom->y(), h.child<QWidget>("rdSamplingRate200")->y());

    auto* map = h.child<QPlainTextEdit>("txtRegisterMap");
    map->setPlainText(QStringLiteral("stale"));
    h.click("rdSamplingRate100");
    QCOMPARE(qRound(h.board->sample_rate_hz()), 100);
    QCOMPARE(h.window->CurrentSampleRate, 100);
    QVERIFY(custom->isHidden());
    QVERIFY(!custom->isChecked());
    QVERIFY(map->toPlainText().contains(QStringLiteral("SMPLRT_DIV")));
    QVERIFY(h.prompts.errors.empty());

    // During a capture the buttons stay usable and share the link with it.
    h.click("rdSamplingRate50");
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 4, kCaptureTimeoutMs);
    h.click("rdSamplingRate20");
    QCOMPARE(qRound(h.board->sample_rate_hz()), 20);
    h.click("rdSamplingRate50");
    const int lines = buffered_lines();
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= lines + 4, kCaptureTimeoutMs);
    h.click("btnStop");
    veltrix::capture::control::wait();
    SampleRun run;
    const QString problem = check_sample_text(veltrix::capture::console_buffer::snapshot(), kAllComponents, &run);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(run.headers, 1);
  }

  void start_follows_the_output_switches() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    auto* display = h.child<QCheckBox>("chkEnableDisplay");
    auto* file_log = h.child<QCheckBox>("chkEnableFileLog");
    auto* start = h.child<QPushButton>("btnStart");
    auto* timer = h.window->findChild<QTimer*>(QStringLiteral("tmDataUpdater"));
    QVERIFY(start->isEnabled());

    h.click("chkEnableDisplay");
    QVERIFY(!display->isChecked());
    QVERIFY(!veltrix::capture::settings::EnableLogToConsole.load());
    QVERIFY(!timer->isActive());
    QVERIFY(!start->isEnabled());

    h.prompts.folder_answers = {dir.path()};
    h.click("chkEnableFileLog");
    QVERIFY(file_log->isChecked());
    QVERIFY(veltrix::capture::settings::EnableLogToFile.load());
    QVERIFY(start->isEnabled());

    h.click("chkEnableDisplay");
    QVERIFY(veltrix::capture::settings::EnableLogToConsole.load());
    QVERIFY(timer->isActive());
    h.click("chkEnableFileLog");
    QVERIFY(!veltrix::capture::settings::EnableLogToFile.load());
    QVERIFY(start->isEnabled());
  }

  void folder_picker_paths() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir first;
    QTemporaryDir second;
    auto* file_log = h.child<QCheckBox>("chkEnableFileLog");
    auto* folder = h.child<QLineEdit>("txtSelectedFolder");

    // Cancelled while switching file logging on: off again, asked once.
    h.click("chkEnableFileLog");
    QCOMPARE(h.prompts.folder_pickers_shown, 1);
    QVERIFY(!file_log->isChecked());
    QVERIFY(!veltrix::capture::settings::EnableLogToFile.load());
    QVERIFY(folder->text().isEmpty());

    h.prompts.folder_answers = {first.path()};
    h.click("chkEnableFileLog");
    QCOMPARE(h.prompts.folder_pickers_shown, 2);
    QCOMPARE(folder->text(), first.path());
    QCOMPARE(veltrix::capture::settings::FileLogFolder.get(), first.path().toStdString());
    QVERIFY(veltrix::capture::settings::EnableLogToFile.load());

    // With a folder set, switching it on again asks nothing.
    h.click("chkEnableFileLog");
    h.click("chkEnableFileLog");
    QCOMPARE(h.prompts.folder_pickers_shown, 2);
    QVERIFY(file_log->isChecked());

    // The folder button: cancel changes nothing, a choice switches file logging on.
    h.click("chkEnableFileLog");
    h.click("btnSelectFolder");
    QCOMPARE(h.prompts.folder_pickers_shown, 3);
    QCOMPARE(folder->text(), first.path());
    QVERIFY(!file_log->isChecked());
    h.prompts.folder_answers = {second.path()};
    h.click("btnSelectFolder");
    QCOMPARE(folder->text(), second.path());
    QCOMPARE(veltrix::capture::settings::FileLogFolder.get(), second.path().toStdString());
    QVERIFY(file_log->isChecked());
    QVERIFY(veltrix::capture::settings::EnableLogToFile.load());
    QCOMPARE(h.prompts.folder_pickers_shown, 4);
  }

  void a_capture_from_the_window_writes_the_sensors_samples() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    h.start_logged_capture(dir.path());

    QVERIFY(h.child<QPushButton>("btnStart")->isHidden());
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    for (const char* locked : {"btnLoad", "btnwrite_to_register", "btnRead", "chkEnableDisplay", "chkEnableFileLog"}) {
      QVERIFY2(!h.child<QWidget>(locked)->isEnabled(), locked);
    }
    for (const char* usable :
         {"btnRefresh", "btnSave", "btnClear", "btnSelectFolder", "rdSamplingRate100", "chkGyro"}) {
      QVERIFY2(h.child<QWidget>(usable)->isEnabled(), usable);
    }
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QLatin1Char('\n')) >= 12, kCaptureTimeoutMs);
    h.click("btnStop");
    QVERIFY(h.child<QPushButton>("btnStart")->isVisible());
    QVERIFY(h.child<QPushButton>("btnStop")->isHidden());
    QVERIFY(h.child<QWidget>("btnRead")->isEnabled());
    veltrix::capture::control::wait();

    const std::string console = veltrix::capture::console_buffer::snapshot();
    QVERIFY(as_pane_shows(console).startsWith(pane_text(h)));
    const Logs logs = logs_in(dir.path());
    QVERIFY(!logs.data.empty());
    QVERIFY(logs.data.filename().string().starts_with("dataLog"));
    QCOMPARE(logs.data.extension().string(), std::string(".csv"));
    const std::string data_log = veltrix::capture::test::read_file(logs.data);
    QCOMPARE(data_log, console);
    QCOMPARE(veltrix::capture::test::split_lines(data_log, "\r\n").front(),
             std::string("Time,Gyro_X, Gyro_Y, Gyro_Z,Accel_X, Accel_Y, Accel_Z,Comp_X, Comp_Y, Comp_Z,Temp"));
    SampleRun run;
    const QString problem = check_sample_text(data_log, kAllComponents, &run);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(run.samples >= 11);
    QCOMPARE(static_cast<int>(
                 veltrix::capture::test::split_lines(veltrix::capture::test::read_file(logs.registers), "\n").size()),
             iKOR->get_register_list_size());
    QVERIFY(h.prompts.errors.empty());
  }

  void stop_then_start_at_once_appends_the_new_capture() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QLatin1Char('\n')) >= 4, kCaptureTimeoutMs);
    h.click("btnStop");
    h.click("btnStart");
    QCOMPARE(veltrix::capture::settings::BackgroundThreadRunningStatus.load(), 1);
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QStringLiteral("Time,")) == 2, kCaptureTimeoutMs);
    const int lines = pane_text(h).count(QLatin1Char('\n'));
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QLatin1Char('\n')) >= lines + 3, kCaptureTimeoutMs);
    h.click("btnStop");
    veltrix::capture::control::wait();
    h.window->tmDataUpdater_Tick();
    QCOMPARE(pane_text(h), as_pane_shows(veltrix::capture::console_buffer::snapshot()));
    SampleRun run;
    const QString problem = check_sample_text(veltrix::capture::console_buffer::snapshot(), kAllComponents, &run);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(run.headers, 2);
  }

  void closing_mid_capture_leaves_a_complete_closed_data_log_and_a_free_port() {
    close_mid_capture([](VeltrixDataLoggerWFA_clr8xp::MainUIForm2& window) { window.close(); });
  }

  // Ctrl-C, a logout's SIGTERM or a closed terminal's SIGHUP close the window
  // the same way instead of killing it with the data log cut mid-line.
  void a_termination_signal_closes_the_window_like_its_close_box() {
    close_mid_capture([](VeltrixDataLoggerWFA_clr8xp::MainUIForm2& window) {
      QVERIFY(veltrix::ui::close_on_termination_signals(window));
      raise(SIGTERM);
      QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), kCaptureTimeoutMs);
    });
  }

  void a_data_log_that_cannot_be_created_is_reported_and_the_console_goes_on() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing"));
    h.prompts.folder_answers = {missing};
    h.click("btnSelectFolder");
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(!h.prompts.errors.empty(), kCaptureTimeoutMs);
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
    QCOMPARE(h.prompts.errors[0].caption, QStringLiteral("Veltrix Data Logger"));
    QVERIFY2(h.prompts.errors[0].text.contains(missing), qPrintable(h.prompts.errors[0].text));
    QVERIFY2(h.prompts.errors[0].text.contains(QStringLiteral("No such file or directory")),
             qPrintable(h.prompts.errors[0].text));
    const int lines = buffered_lines();
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= lines + 3, kCaptureTimeoutMs);
    QTRY_VERIFY(pane_text(h).count(QLatin1Char('\n')) >= lines + 3);
    h.click("btnStop");
    QVERIFY(!QFileInfo::exists(missing));
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
  }

  // Events told on another thread come out as signals on this one, in their
  // order, the many samples folded into one progress signal while it waits.
  void session_events_become_signals_on_the_window_thread() {
    using veltrix::ui::SessionSignals;
    SessionSignals events;
    QStringList heard;
    auto hear = [&](const QString& what) {
      QCOMPARE(QThread::currentThread(), events.thread());
      heard.append(what);
    };
    connect(&events, &SessionSignals::capture_started, [&](int rate) { hear(QStringLiteral("started %1").arg(rate)); });
    connect(&events, &SessionSignals::capture_progress,
            [&](int count) { hear(QStringLiteral("progress %1").arg(count)); });
    connect(&events, &SessionSignals::capture_note, [&](const QString& text) { hear(QStringLiteral("note ") + text); });
    connect(&events, &SessionSignals::capture_failure,
            [&](const QString& text, bool goes_on) { hear(QStringLiteral("failure %1 %2").arg(text).arg(goes_on)); });
    connect(&events, &SessionSignals::board_went_away, [&](const veltrix::session::BoardLoss& loss) {
      hear(QStringLiteral("lost ") + QString::fromStdString(loss.sentence));
    });
    connect(&events, &SessionSignals::board_came_back, [&](const veltrix::session::BoardBack& back) {
      hear(QStringLiteral("back ") + QString::fromStdString(back.port));
    });
    connect(&events, &SessionSignals::capture_ended, [&](const veltrix::session::Outcome& outcome) {
      hear(QStringLiteral("ended %1").arg(outcome.segments.front().samples));
    });
    std::thread capture([&events] {
      events.started(200);
      for (int count = 1; count <= 1000; ++count) {
        events.progress("", count);
      }
      events.note("fell back");
      events.board_lost({true, true, 5.0, "away"});
      veltrix::session::BoardBack back;
      back.port = "/dev/ttyACM1";
      events.board_back(back);
      events.progress("", 1001);
      events.failure("gone", false);
      veltrix::session::Outcome outcome;
      outcome.segments.resize(1);
      outcome.segments.front().samples = 1001;
      events.ended(outcome);
    });
    capture.join();
    QVERIFY(heard.isEmpty());
    events.deliver_queued();
    // The one progress signal queued carries the count when it is emitted.
    QCOMPARE(heard, (QStringList{"started 200", "progress 1001", "note fell back", "lost away", "back /dev/ttyACM1",
                                 "failure gone 0", "ended 1001"}));
  }

  void a_board_that_falls_silent_returns_the_window_to_idle() {
    veltrix::sim::Faults silent;
    silent.silent_after = 10;
    ends_by_itself(silent, veltrix::capture::EndReason::kBoardNotAnswering);
  }

  void a_board_that_hangs_up_returns_the_window_to_idle() {
    veltrix::sim::Faults unplugged;
    unplugged.hangup_after = 10;
    ends_by_itself(unplugged, veltrix::capture::EndReason::kBoardLost);
  }

  // A board that answers but flags no sample leaves the capture waiting; the
  // report line counts the seconds without one, and forgets them once
  // samples come again.
  void a_capture_without_samples_says_how_long_it_has_waited() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(pane_text(h).count(QLatin1Char('\n')) >= 4, kCaptureTimeoutMs);
    veltrix::sim::Faults never_ready;
    never_ready.never_ready = true;
    h.board->set_faults(never_ready);
    auto* report = h.child<QLabel>("lblCaptureReport");
    QTRY_VERIFY_WITH_TIMEOUT(report->text().contains(QStringLiteral("no sample for 2 s")), kCaptureTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(report->text().contains(QStringLiteral("no sample for 3 s")), kCaptureTimeoutMs);
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QVERIFY(h.prompts.errors.empty());

    h.board->set_faults({});
    const int lines = buffered_lines();
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= lines + 3, kCaptureTimeoutMs);
    QTRY_VERIFY(!report->text().contains(QStringLiteral("no sample for")));
    h.click("btnStop");
    QTRY_VERIFY_WITH_TIMEOUT(report->text().contains(QStringLiteral("Capture report: ")), kCaptureTimeoutMs);
    QVERIFY(!report->text().contains(QStringLiteral("no sample for")));
  }
};

QTEST_MAIN(WindowLoggingTest)
#include "window_logging_test.moc"
