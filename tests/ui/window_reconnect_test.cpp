// A board that is unplugged and comes back: the window sees it go, finds the
// same board again by its path or its USB serial number, reconnects on its
// own and gives it back the rate and the registers the operator wrote; a
// board with another serial number is used only when the operator says so.
// With "Continue after reconnect" checked a capture goes on across it.

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/capture_sidecar.h"
#include "capture/console_buffer.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"

using veltrix::ui::test::buffered_lines;
using veltrix::ui::test::kCaptureTimeoutMs;
using veltrix::ui::test::WindowHarness;

namespace {

constexpr std::uint8_t kBus = 0x68;
constexpr std::uint8_t kOffsetRegister = 0x13;
constexpr std::uint8_t kDivider = 0x19;
constexpr std::uint8_t kConfig = 0x1A;

// A kor73 board behind `link`, listed in the fake sysfs tree under `sysfs`
// with `serial`.
std::unique_ptr<veltrix::sim::BoardSim> start_board(const std::string& link, const std::string& sysfs,
                                                    const std::string& serial) {
  veltrix::sim::BoardOptions options;
  options.link_path = link;
  options.sysfs_root = sysfs;
  options.serial = serial;
  auto board = std::make_unique<veltrix::sim::BoardSim>(options);
  if (board->start() != 0) {
    qFatal("the simulated board did not start");
  }
  return board;
}

// Connects KOR 73, writes 5A to register 13 and sets 100 Hz, as an operator.
void set_up_sensor(WindowHarness& h) {
  h.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
  h.select_model(QStringLiteral("KOR 73"));
  QVERIFY(iKOR != nullptr);
  h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
  h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("5A"));
  h.click("btnwrite_to_register");
  h.click("rdSamplingRate100");
  QCOMPARE(h.board->register_value(kBus, kOffsetRegister), 0x5A);
  QCOMPARE(h.board->sample_rate_hz(), 100.0);
}

// What a power cycle does to the sensor while it is unplugged.
void reset_sensor(veltrix::sim::BoardSim& board) {
  for (const std::uint8_t reg : {kOffsetRegister, kDivider, kConfig}) {
    board.set_register(kBus, reg, 0);
  }
}

void unplug(veltrix::sim::BoardSim& board, int reopen_after_ms) {
  veltrix::sim::Faults faults;
  faults.hangup_after = 0;
  faults.reopen_after = std::chrono::milliseconds(reopen_after_ms);
  board.set_faults(faults);
}

QString shown_errors(const WindowHarness& h) {
  const auto texts = h.prompts.error_texts();
  return QStringList(texts.begin(), texts.end()).join(QStringLiteral(" | "));
}

// The sidecars in `folder`, first segment first by their links.
std::vector<veltrix::capture::SidecarContents> sidecars(const std::filesystem::path& folder) {
  std::vector<veltrix::capture::SidecarContents> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".json") {
      std::ifstream in(entry.path());
      std::stringstream text;
      text << in.rdbuf();
      const auto reading = veltrix::capture::read_sidecar(text.str());
      if (!reading.sidecar) {
        qFatal("%s is no sidecar: %s", entry.path().c_str(), reading.error.c_str());
      }
      found.push_back(*reading.sidecar);
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.next_segment == b.data_log; });
  return found;
}

}  // namespace

class WindowReconnectTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void cleanup() { qunsetenv("VELTRIX_SYSFS"); }

  void same_board_back_is_reconnected_and_restored_data() {
    QTest::addColumn<bool>("named_port");
    QTest::addRow("VELTRIX_PORT") << true;
    QTest::addRow("discovered by serial number") << false;
  }
  void same_board_back_is_reconnected_and_restored() {
    QFETCH(bool, named_port);
    const veltrix::test::TempFolder folder{"reconnect"};
    WindowHarness h;
    h.board = start_board(folder.file("board"), folder.file("sysfs"), "VX-0001");
    qputenv("VELTRIX_SYSFS", folder.file("sysfs").c_str());
    if (named_port) {
      qputenv("VELTRIX_PORT", folder.file("board").c_str());
    } else {
      qunsetenv("VELTRIX_PORT");
    }
    set_up_sensor(h);
    const std::string first_port = h.board->current_port_path();

    unplug(*h.board, 300);
    reset_sensor(*h.board);
    QElapsedTimer since_unplug;
    since_unplug.start();
    auto* status = h.child<QLabel>("lblBoardStatus");
    // Back after 300 ms; reconnected within 2 s of that (and some slack for a loaded machine).
    QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(QStringLiteral("Reconnected")), 3000);
    QVERIFY2(since_unplug.elapsed() < 3000, qPrintable(QString::number(since_unplug.elapsed())));
    QVERIFY(h.board->current_port_path() != first_port || named_port);

    QCOMPARE(h.board->register_value(kBus, kOffsetRegister), 0x5A);
    QCOMPARE(h.board->sample_rate_hz(), 100.0);
    QCOMPARE(status->text(),
             QStringLiteral("Reconnected at %1: 100 Hz, 1 register write and 1 rate restored, all read back")
                 .arg(QString::fromStdString(named_port ? folder.file("board") : h.board->current_port_path())));
    QVERIFY(h.child<QRadioButton>("rdSamplingRate100")->isChecked());
    QVERIFY(h.child<QPushButton>("btnReconnect")->isHidden());
    QVERIFY(!h.child<QComboBox>("cmbDevices")->isEnabled());
    QVERIFY(h.prompts.questions.empty());
    // The window goes on talking to the board that came back.
    h.board->clear_commands();
    h.click("btnRefresh");
    QVERIFY(!h.board_lines().isEmpty());
  }

  void board_with_another_serial_number_is_taken_only_when_the_operator_agrees() {
    const veltrix::test::TempFolder folder{"reconnect"};
    WindowHarness h;
    h.board = start_board(folder.file("board"), folder.file("sysfs"), "VX-0001");
    qputenv("VELTRIX_SYSFS", folder.file("sysfs").c_str());
    qputenv("VELTRIX_PORT", folder.file("board").c_str());
    set_up_sensor(h);

    unplug(*h.board, -1);
    auto* status = h.child<QLabel>("lblBoardStatus");
    auto* reconnect = h.child<QPushButton>("btnReconnect");
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Board disconnected: waiting for it to return"), 3000);
    QVERIFY(reconnect->isVisible());
    QVERIFY(reconnect->toolTip().contains(QStringLiteral("Ctrl+Shift+R")));
    QVERIFY(!h.child<QComboBox>("cmbDevices")->isEnabled());

    h.board.reset();
    h.board = start_board(folder.file("board"), folder.file("sysfs"), "VX-0002");
    QTest::qWait(1500);
    QCOMPARE(status->text(), QStringLiteral("Board disconnected: waiting for it to return"));
    QCOMPARE(h.board->register_value(kBus, kOffsetRegister), 0x00);

    h.prompts.confirm_answer = false;
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    QTest::keyClick(h.window.get(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(h.prompts.questions.size(), std::size_t{1});  // a shortcut's click is animated
    QVERIFY(h.prompts.questions[0].contains(QStringLiteral("VX-0002")));
    QVERIFY(reconnect->isVisible());
    QCOMPARE(h.board->register_value(kBus, kOffsetRegister), 0x00);

    h.prompts.confirm_answer = true;
    h.click("btnReconnect");
    QCOMPARE(h.prompts.questions.size(), std::size_t{2});
    QTRY_VERIFY(status->text().startsWith(QStringLiteral("Reconnected")));
    QCOMPARE(h.board->register_value(kBus, kOffsetRegister), 0x5A);
    QCOMPARE(h.board->sample_rate_hz(), 100.0);
  }

  void checked_continue_after_reconnect_carries_a_capture_across_the_loss() {
    const veltrix::test::TempFolder folder{"reconnect"};
    const veltrix::test::TempFolder logs{"reconnect-logs"};
    WindowHarness h;
    h.board = start_board(folder.file("board"), folder.file("sysfs"), "VX-0001");
    qputenv("VELTRIX_SYSFS", folder.file("sysfs").c_str());
    qputenv("VELTRIX_PORT", folder.file("board").c_str());
    set_up_sensor(h);
    auto* box = h.child<QCheckBox>("chkContinueAfterReconnect");
    QVERIFY(!box->isChecked() && box->isEnabled());
    h.click("chkContinueAfterReconnect");
    h.start_logged_capture(QString::fromStdString(logs.path().string()));
    QVERIFY(!box->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 10, kCaptureTimeoutMs);

    unplug(*h.board, -1);
    auto* status = h.child<QLabel>("lblBoardStatus");
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("Board disconnected: waiting for it to return"), 3000);
    // Waiting for the board, still capturing: it says so, Stop is offered and nothing asked.
    auto* report = h.child<QLabel>("lblCaptureReport");
    QTRY_VERIFY(
        report->text().contains(QStringLiteral("The link to the board was lost; the capture waits for it to return.")));
    QVERIFY2(!report->text().contains(QStringLiteral("stopped")), qPrintable(report->text()));
    const QString console = QString::fromStdString(veltrix::capture::console_buffer::snapshot());
    QVERIFY(console.contains(QStringLiteral("the capture waits for it to return")));
    QVERIFY2(!console.contains(QStringLiteral("stopped")), qPrintable(console));
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QVERIFY(!h.child<QPushButton>("btnStart")->isVisible());
    QVERIFY(!box->isEnabled());
    QVERIFY2(h.prompts.errors.empty(), qPrintable(shown_errors(h)));

    h.board.reset();
    h.board = start_board(folder.file("board"), folder.file("sysfs"), "VX-0001");
    QTRY_VERIFY_WITH_TIMEOUT(report->text().contains(QStringLiteral("Gap 1: ")), 5000);
    QVERIFY(!report->text().contains(QStringLiteral("waits for it")));
    QVERIFY2(report->text().contains(QStringLiteral("lost; board back at %1, 1 register write and 1 rate restored")
                                         .arg(folder.file("board").c_str())),
             qPrintable(report->text()));
    QCOMPARE(veltrix::capture::settings::BackgroundThreadRunningStatus.load(), 1);
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QVERIFY(!box->isEnabled());
    const int lines = buffered_lines();
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= lines + 10, kCaptureTimeoutMs);

    h.click("btnStop");
    // The whole capture, each segment and the gap between them.
    QTRY_VERIFY_WITH_TIMEOUT(report->text().contains(QStringLiteral("Segment 2: Capture report: ")), 5000);
    QVERIFY(report->text().contains(QStringLiteral("Segment 1: Capture report: ")));
    QVERIFY(report->text().contains(QStringLiteral("Gap 1: ")));
    QVERIFY2(h.prompts.errors.empty(), qPrintable(shown_errors(h)));
    const auto found = sidecars(logs.path());
    QCOMPARE(found.size(), std::size_t{2});
    QCOMPARE(found[0].previous_segment, std::string());
    QCOMPARE(found[0].next_segment, found[1].data_log);
    QCOMPARE(found[1].previous_segment, found[0].data_log);
    QCOMPARE(found[1].next_segment, std::string());
    for (const auto& segment : found) {
      QVERIFY(segment.report && segment.report->samples > 0);
    }

    h.restart();
    QVERIFY(h.child<QCheckBox>("chkContinueAfterReconnect")->isChecked());
  }
};

QTEST_MAIN(WindowReconnectTest)
#include "window_reconnect_test.moc"
