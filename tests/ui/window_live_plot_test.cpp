// What the window adds beside its described controls, against simulated
// boards: one Live Plot window from the button and from Ctrl+L, the capture
// report under the console title and in the plot, and the fast capture box
// with its block reads and its fall-back note.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/console_buffer.h"
#include "tests/capture/sample_line_check.h"
#include "tests/ui/sample_lines.h"
#include "tests/ui/status_check.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"
#include "ui/plot/live_plot_window.h"
#include "ui/status_label.h"

using veltrix::ui::StatusLabel;
using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::test::buffered_lines;
using veltrix::ui::test::check_sample_text;
using veltrix::ui::test::kAllComponents;
using veltrix::ui::test::kCaptureTimeoutMs;
using veltrix::ui::test::SampleRun;
using veltrix::ui::test::WindowHarness;

namespace {

// The plot window has no meta-object of its own, so the window's widgets are
// told apart by type here.
QList<LivePlotWindow*> plot_windows(const WindowHarness& h) {
  QList<LivePlotWindow*> plots;
  for (QWidget* widget : h.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* plot = dynamic_cast<LivePlotWindow*>(widget)) {
      plots.append(plot);
    }
  }
  return plots;
}

QString report_label(const WindowHarness& h) { return h.child<QLabel>("lblCaptureReport")->text(); }

// Start, about `lines` console lines, Stop, and the capture thread joined.
void capture_lines(WindowHarness& h, int lines) {
  h.click("btnStart");
  QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= lines, kCaptureTimeoutMs);
  h.click("btnStop");
  veltrix::capture::control::wait();
}

QString hex_byte(int value) { return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper(); }

}  // namespace

class WindowLivePlotTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void the_button_and_ctrl_l_open_one_plot_window() {
    WindowHarness h;
    h.window->show();
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    auto* button = h.child<QPushButton>("btnLivePlot");
    QCOMPARE(button->toolTip(), QStringLiteral("Live plot (Ctrl+L)"));
    QCOMPARE(button->accessibleName(), QStringLiteral("Live plot"));
    QVERIFY(!button->icon().isNull());
    QVERIFY(button->isEnabled());
    QVERIFY(plot_windows(h).isEmpty());

    QTest::keyClick(h.window.get(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(plot_windows(h).size(), 1);
    LivePlotWindow* plot = plot_windows(h).front();
    QVERIFY(plot->isWindow());
    QVERIFY(plot->isVisible());

    plot->close();
    h.click("btnLivePlot");
    QCOMPARE(plot_windows(h), QList<LivePlotWindow*>{plot});
    QVERIFY(plot->isVisible());

    plot->close();
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    QTest::keyClick(h.window.get(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(plot_windows(h), QList<LivePlotWindow*>{plot});
    QVERIFY(plot->isVisible());
  }

  void a_capture_ends_with_its_report_in_the_window_and_the_plot() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    h.prompts.folder_answers = {dir.path()};
    h.click("btnSelectFolder");
    h.click("btnLivePlot");
    LivePlotWindow* plot = plot_windows(h).front();
    const QRect pane = h.child<QWidget>("txtDataLogging")->geometry();
    const QRect label = h.child<QLabel>("lblCaptureReport")->geometry();
    QVERIFY(!label.intersects(pane));
    QVERIFY(!label.intersects(h.child<QWidget>("btnLivePlot")->geometry()));

    capture_lines(h, 12);
    QTRY_VERIFY_WITH_TIMEOUT(!report_label(h).isEmpty(), kCaptureTimeoutMs);
    SampleRun run;
    const QString problem = check_sample_text(veltrix::capture::console_buffer::snapshot(), kAllComponents, &run);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY(report_label(h).startsWith(QStringLiteral("Capture report: %1 samples in ").arg(run.samples)));
    QVERIFY2(report_label(h).contains(QStringLiteral("(sensor 50 Hz)")), qPrintable(report_label(h)));
    const QLabel* shown = h.child<QLabel>("lblCaptureReport");
    const QRect room = shown->contentsRect();
    QVERIFY2(shown->fontMetrics().boundingRect(room, Qt::TextWordWrap, shown->text()).height() <= room.height(),
             "the whole report fits in its two lines at the window's first size");
    QVERIFY(!h.child<QWidget>("txtDataLogging")->property("plainText").toString().contains("Capture report"));
    plot->refresh();
    QCOMPARE(static_cast<int>(plot->shown_series().size()), run.samples);
    bool plot_status_shown = false;
    for (const QLabel* line : plot->findChildren<QLabel*>()) {
      plot_status_shown = plot_status_shown || line->text().contains(report_label(h));
    }
    QVERIFY(plot_status_shown);

    // The sidecar names the sensor the way connect found it.
    std::string sidecar;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path().toStdString())) {
      if (entry.path().extension() == ".json") {
        sidecar = veltrix::capture::test::read_file(entry.path());
      }
    }
    for (const std::string& fact : {std::string("\"KOR 73\""), std::string("\"kor73\""), std::string("\"I2C\""),
                                    "\"" + h.board->port_path() + "\""}) {
      QVERIFY2(sidecar.find(fact) != std::string::npos, fact.c_str());
    }

    // The next Start clears the line until its own report comes.
    h.click("btnStart");
    QVERIFY(report_label(h).isEmpty());
    h.click("btnStop");
    veltrix::capture::control::wait();
    QTRY_VERIFY_WITH_TIMEOUT(report_label(h).startsWith(QStringLiteral("Capture report: ")), kCaptureTimeoutMs);
    QVERIFY(h.prompts.errors.empty());
  }

  // The report of a capture the board's loss ended is longer than the line
  // beside the console title holds at the window's first size: the line
  // shows what fits, in its place, and "more…" opens it whole; the Live Plot
  // shows it whole in its status line without growing wider than it opened.
  void a_long_report_is_read_whole_and_widens_no_window() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QCOMPARE(h.window->size(), QSize(872, 578));
    auto* label = h.child<StatusLabel>("lblCaptureReport");
    const QRect place = label->geometry();
    h.click("btnLivePlot");
    LivePlotWindow* plot = plot_windows(h).front();
    QTest::qWait(50);
    const QSize plot_size = plot->size();

    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 4, kCaptureTimeoutMs);
    veltrix::sim::Faults gone;
    gone.hangup_after = 0;
    h.board->set_faults(gone);
    QTRY_VERIFY_WITH_TIMEOUT(label->text().contains(QStringLiteral("Capture report: ")), kCaptureTimeoutMs);
    QTest::qWait(50);
    const QString whole = label->text();
    QVERIFY2(whole.startsWith(QStringLiteral("The link to the board was lost")), qPrintable(whole));

    QCOMPARE(label->geometry(), place);
    QVERIFY2(label->cut(), "the report of a lost board is longer than two lines");
    const QString problem = veltrix::ui::test::whole_text_problem(*label);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    auto* status = plot->findChild<QLabel*>(QStringLiteral("lblStatus"));
    QCOMPARE(status->text(), whole);
    QCOMPARE(plot->size(), plot_size);
    QVERIFY(plot->minimumSizeHint().width() <= plot_size.width());
    QTRY_VERIFY(status->height() >= status->heightForWidth(status->width()));
    QVERIFY(plot->rect().contains(status->geometry()));
  }

  void the_fast_box_reads_blocks_or_notes_the_fall_back() {
    {
      WindowHarness h;
      QVERIFY(h.connect("kor73", "KOR 73"));
      auto* fast = h.child<QCheckBox>("chkFastCapture");
      QVERIFY(fast->isEnabled());
      h.click("chkFastCapture");
      QVERIFY(veltrix::capture::settings::FastCapture.load());
      h.board->clear_commands();
      h.click("btnStart");
      QVERIFY(!fast->isEnabled());
      QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 12, kCaptureTimeoutMs);
      h.click("btnStop");
      veltrix::capture::control::wait();
      QVERIFY(fast->isEnabled());

      SampleRun run;
      const QString problem = check_sample_text(veltrix::capture::console_buffer::snapshot(), kAllComponents, &run);
      QVERIFY2(problem.isEmpty(), qPrintable(problem));
      const auto planned = iKOR->plan_sample_block(kAllComponents);
      QVERIFY(planned.has_value());
      const QString block =
          QStringLiteral("RD68") + hex_byte(iKOR->lookup_address("INT_STATUS")) + hex_byte(planned->length);
      const QString gyro_read = QStringLiteral("RD68") + hex_byte(iKOR->lookup_address("GYRO_XOUT_H")) + "06";
      const QStringList lines = h.board_lines();
      QVERIFY2(lines.count(block) >= run.samples, qPrintable(block));
      QCOMPARE(lines.count(gyro_read), 0);
      QTRY_VERIFY_WITH_TIMEOUT(report_label(h).startsWith(QStringLiteral("Capture report: ")), kCaptureTimeoutMs);
      QVERIFY(!report_label(h).contains(QStringLiteral("cannot be read in one block")));
    }
    {
      WindowHarness h;
      QVERIFY(h.connect("hep11", "HEP 11"));
      h.click("chkFastCapture");
      h.click("btnStart");
      QTRY_VERIFY_WITH_TIMEOUT(report_label(h).contains(QStringLiteral("cannot be read in one block")),
                               kCaptureTimeoutMs);
      QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 4, kCaptureTimeoutMs);
      h.click("btnStop");
      veltrix::capture::control::wait();
      QTRY_VERIFY_WITH_TIMEOUT(report_label(h).startsWith(QStringLiteral("Capture report: ")), kCaptureTimeoutMs);
      QVERIFY(report_label(h).contains(QStringLiteral("cannot be read in one block")));
      QVERIFY(h.prompts.errors.empty());
    }
  }
};

QTEST_MAIN(WindowLivePlotTest)
#include "window_live_plot_test.moc"
