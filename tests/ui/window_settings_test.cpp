// What the window remembers between runs, what it does with a damaged
// settings file, and its keyboard shortcuts, against a simulated board.

#include <unistd.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>
#include <cstdio>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"
#include "ui/plot/live_plot_window.h"

using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::test::buffered_lines;
using veltrix::ui::test::kCaptureTimeoutMs;
using veltrix::ui::test::WindowHarness;
namespace settings = veltrix::capture::settings;

namespace {

LivePlotWindow* open_plot(WindowHarness& h) {
  h.click("btnLivePlot");
  for (QWidget* widget : h.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (auto* plot = dynamic_cast<LivePlotWindow*>(widget)) {
      return plot;
    }
  }
  qFatal("no Live Plot window");
}

QCheckBox* legend_box(LivePlotWindow* plot, const char* name) {
  for (QCheckBox* box : plot->findChildren<QCheckBox*>()) {
    if (box->accessibleName() == QLatin1String(name)) {
      return box;
    }
  }
  qFatal("no legend entry %s", name);
}

// What the process writes on stderr while it lives, line by line.
class StderrCapture {
 public:
  StderrCapture() {
    file_.open();
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    dup2(file_.handle(), STDERR_FILENO);
  }
  QStringList lines() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    file_.seek(0);
    return QString::fromLocal8Bit(file_.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }

 private:
  QTemporaryFile file_;
  int saved_ = -1;
};

void write_settings(const QByteArray& text) {
  QDir().mkpath(QFileInfo(veltrix::ui::test::settings_file()).path());
  QFile file(veltrix::ui::test::settings_file());
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

void check_first_run_state(WindowHarness& h) {
  auto* devices = h.child<QComboBox>("cmbDevices");
  QCOMPARE(devices->currentIndex(), -1);
  QVERIFY(devices->placeholderText().isEmpty());
  QVERIFY(h.child<QLineEdit>("txtSelectedFolder")->text().isEmpty());
  QVERIFY(!h.child<QCheckBox>("chkEnableFileLog")->isChecked());
  QVERIFY(h.child<QCheckBox>("chkEnableDisplay")->isChecked());
  QVERIFY(!h.child<QCheckBox>("chkFastCapture")->isChecked());
  QVERIFY(!settings::EnableLogToFile.load() && settings::EnableLogToConsole.load() && !settings::FastCapture.load());
  QCOMPARE(h.window->size(), QSize(872, 578));
}

}  // namespace

class WindowSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void what_the_operator_chose_is_back_after_a_restart_but_nothing_is_connected() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir logs;
    h.prompts.folder_answers = {logs.path()};
    h.click("btnSelectFolder");
    h.click("chkEnableDisplay");
    h.click("chkFastCapture");
    h.click("chkTemp");
    h.click("chkCompass");
    const QRect geometry(30, 40, 900, 590);
    h.window->setGeometry(geometry);
    LivePlotWindow* plot = open_plot(h);
    const QRect plot_geometry(60, 70, 700, 480);
    plot->setGeometry(plot_geometry);
    QTest::mouseClick(plot->findChild<QToolButton*>(QStringLiteral("span60")), Qt::LeftButton);
    legend_box(plot, "Gyroscope Y")->click();

    h.restart();
    QVERIFY(QFileInfo(veltrix::ui::test::settings_file()).fileName().endsWith(QLatin1String(".ini")));
    h.board->clear_commands();
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    QCOMPARE(h.window->geometry(), geometry);
    // A hint only: nothing selected, nothing connected, nothing sent.
    auto* devices = h.child<QComboBox>("cmbDevices");
    QCOMPARE(devices->placeholderText(), QStringLiteral("KOR 73 (last used)"));
    QCOMPARE(devices->currentIndex(), -1);
    QVERIFY(devices->isEnabled());
    QVERIFY(iKOR == nullptr);
    QTest::qWait(100);
    QVERIFY(h.board_lines().isEmpty());
    for (QPushButton* button : h.window->findChildren<QPushButton*>()) {
      QVERIFY2(!button->isEnabled() || button->objectName() == QStringLiteral("btnLivePlot"),
               qPrintable(button->objectName()));
    }
    QCOMPARE(h.child<QLineEdit>("txtSelectedFolder")->text(), logs.path());
    QVERIFY(h.child<QCheckBox>("chkEnableFileLog")->isChecked());
    QVERIFY(!h.child<QCheckBox>("chkEnableDisplay")->isChecked());
    QVERIFY(h.child<QCheckBox>("chkFastCapture")->isChecked());
    QCOMPARE(QString::fromStdString(settings::FileLogFolder.get()), logs.path());
    QVERIFY(settings::EnableLogToFile.load() && !settings::EnableLogToConsole.load() && settings::FastCapture.load());

    // The components come back with the model they were chosen for.
    h.select_model(QStringLiteral("KOR 73"));
    QVERIFY(iKOR != nullptr);
    QVERIFY(h.child<QCheckBox>("chkGyro")->isChecked() && h.child<QCheckBox>("chkAccel")->isChecked());
    QVERIFY(!h.child<QCheckBox>("chkTemp")->isChecked() && !h.child<QCheckBox>("chkCompass")->isChecked());
    QVERIFY(settings::chkGyroStatus.load() && settings::chkAccelStatus.load());
    QVERIFY(!settings::chkTempStatus.load() && !settings::chkCompStatus.load());
    QVERIFY(h.child<QPushButton>("btnStart")->isEnabled());

    plot = open_plot(h);
    QCOMPARE(plot->geometry(), plot_geometry);
    QVERIFY(plot->findChild<QToolButton*>(QStringLiteral("span60"))->isChecked());
    QVERIFY(!legend_box(plot, "Gyroscope Y")->isChecked());
    QVERIFY(legend_box(plot, "Gyroscope X")->isChecked());
  }

  void a_damaged_file_or_unusable_values_give_a_first_run() {
    QTemporaryDir gone;
    const QString gone_folder = gone.path() + QStringLiteral("/gone");
    const struct {
      const char* what;
      QByteArray text;
      int stderr_lines;
    } cases[] = {
        {"unclosed section", "[logging\nfile_log=true\nconsole_display=false\n[device]\nlast_model=KOR 73\n", 1},
        {"wrong types and ranges",
         "[logging]\nfolder=" + gone_folder.toUtf8() +
             "\nfile_log=yes\nconsole_display=0\nfast_capture=2\n"
             "[device]\nlast_model=KOR 99\n"
             "[window]\ngeometry=@Rect(50000 50000 900 600)\n"
             "[live_plot]\ntime_window_s=7\nshown_channels=banana\ngeometry=@Rect(-5000 0 700 480)\n",
         0},
    };
    for (const auto& c : cases) {
      WindowHarness h;
      // Destroyed without closing: it writes no settings.
      h.window.reset();
      write_settings(c.text);
      StderrCapture err;
      h.window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(h.prompts);
      const QStringList lines = err.lines();
      QVERIFY2(lines.size() == c.stderr_lines, qPrintable(QString::fromLatin1(c.what) + ": " + lines.join('|')));
      if (c.stderr_lines == 1) {
        QVERIFY2(lines[0].contains(veltrix::ui::test::settings_file()) && lines[0].contains(QLatin1String("damaged")),
                 qPrintable(lines[0]));
      }
      check_first_run_state(h);
      LivePlotWindow* plot = open_plot(h);
      QVERIFY(plot->findChild<QToolButton*>(QStringLiteral("span10"))->isChecked());
      QVERIFY(legend_box(plot, "Gyroscope Y")->isChecked());
      QVERIFY(plot->geometry().x() > -5000);
    }

    // One value that makes no sense leaves the other choices as they were.
    {
      WindowHarness h;
      h.window.reset();
      QTemporaryDir logs;
      write_settings("[logging]\nfolder=" + logs.path().toUtf8() +
                     "\nfile_log=true\nconsole_display=banana\nfast_capture=true\ncontinue_after_reconnect=true\n");
      h.window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(h.prompts);
      QCOMPARE(h.child<QLineEdit>("txtSelectedFolder")->text(), logs.path());
      QVERIFY(h.child<QCheckBox>("chkEnableFileLog")->isChecked());
      QVERIFY(h.child<QCheckBox>("chkEnableDisplay")->isChecked());
      QVERIFY(h.child<QCheckBox>("chkFastCapture")->isChecked());
      QVERIFY(h.child<QCheckBox>("chkContinueAfterReconnect")->isChecked());
    }

    // A settings file that cannot be read at all.
    WindowHarness h;
    h.window.reset();
    QVERIFY(QDir().mkpath(veltrix::ui::test::settings_file()));
    StderrCapture err;
    h.window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(h.prompts);
    const QStringList lines = err.lines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].contains(QLatin1String("cannot be read")), qPrintable(lines[0]));
    check_first_run_state(h);
  }

  void every_action_has_a_shortcut_shown_in_its_tooltip() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
    const struct {
      const char* button;
      const char* tip;
      const char* accessible;
    } tips[] = {{"btnRefresh", "Refresh (F5)", "Refresh"},
                {"btnLoad", "Load register map… (Ctrl+O)", "Load register map…"},
                {"btnSave", "Save register map… (Ctrl+S)", "Save register map…"},
                {"btnStart", "Start Component Log (Ctrl+Return)", ""},
                {"btnStop", "Stop Component Log (Ctrl+Return)", ""},
                {"btnClear", "Clear console (Ctrl+K)", "Clear console"},
                {"btnLivePlot", "Live plot (Ctrl+L)", "Live plot"},
                {"btnCompare", "Compare with file… (Ctrl+D)", "Compare with file…"},
                {"btnwrite_to_register", "Write (Ctrl+Shift+W)", ""},
                {"btnRead", "Read Burst (Ctrl+R)", ""},
                {"btnSelectFolder", "Choose log folder… (Ctrl+F)", "Choose log folder…"}};
    for (const auto& t : tips) {
      auto* button = h.child<QPushButton>(t.button);
      QCOMPARE(button->toolTip(), QString::fromUtf8(t.tip));
      QCOMPARE(button->accessibleName(), QString::fromUtf8(t.accessible));
    }

    h.board->clear_commands();
    QTest::keyClick(h.window.get(), Qt::Key_F5);
    QTRY_VERIFY(!h.board_lines().isEmpty());

    QTest::keyClick(h.window.get(), Qt::Key_S, Qt::ControlModifier);
    QTRY_COMPARE(h.prompts.save_suffixes.size(), std::size_t{1});
    h.prompts.file_answers = {QString()};
    QTest::keyClick(h.window.get(), Qt::Key_O, Qt::ControlModifier);
    QTRY_VERIFY(h.prompts.file_answers.empty());

    // Both buttons are visible until the first Start, Start in front.
    QTest::keyClick(h.window.get(), Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(h.child<QPushButton>("btnStart")->isHidden());
    QVERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 3, kCaptureTimeoutMs);
    QTest::keyClick(h.window.get(), Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(h.child<QPushButton>("btnStop")->isHidden());
    QVERIFY(h.child<QPushButton>("btnStart")->isVisible());
    veltrix::capture::control::wait();

    auto* console = h.child<QPlainTextEdit>("txtDataLogging");
    QTRY_VERIFY(!console->toPlainText().isEmpty());
    QTest::keyClick(h.window.get(), Qt::Key_K, Qt::ControlModifier);
    QTRY_VERIFY(console->toPlainText().isEmpty());

    h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("5A"));
    QTest::keyClick(h.window.get(), Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(h.board->register_value(0x68, 0x13), 0x5A);
    h.child<QLineEdit>("txtReadRegAddr")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtReadRegLength")->setText(QStringLiteral("1"));
    QTest::keyClick(h.window.get(), Qt::Key_R, Qt::ControlModifier);
    QTRY_VERIFY(console->toPlainText().startsWith(QStringLiteral("Read Burst Addr:13")));
    h.prompts.file_questions.clear();
    h.prompts.file_answers = {QString()};
    QTest::keyClick(h.window.get(), Qt::Key_D, Qt::ControlModifier);
    QTRY_COMPARE(h.prompts.file_questions.size(), std::size_t{1});
    h.prompts.folder_answers = {QString()};
    QTest::keyClick(h.window.get(), Qt::Key_F, Qt::ControlModifier);
    QTRY_COMPARE(h.prompts.folder_pickers_shown, 1);

    QTest::keyClick(h.window.get(), Qt::Key_L, Qt::ControlModifier);
    LivePlotWindow* plot = open_plot(h);
    QVERIFY(plot->isVisible());
    QVERIFY(h.prompts.errors.empty());

    // With the Live Plot active the window's keys still work, but for those
    // the plot has for itself (Ctrl+O opens a data log there).
    // Active itself, not only as the window's child (which qWaitForWindowActive accepts).
    plot->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), plot);
    QTest::keyClick(plot, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(h.child<QPushButton>("btnStop")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 3, kCaptureTimeoutMs);
    QTest::keyClick(plot, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(h.child<QPushButton>("btnStart")->isVisible());
    veltrix::capture::control::wait();
    QTest::keyClick(plot, Qt::Key_K, Qt::ControlModifier);
    QTRY_VERIFY(console->toPlainText().isEmpty());
    h.prompts.file_questions.clear();
    h.prompts.file_answers = {QString()};
    QTest::keyClick(plot, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(h.prompts.file_questions.size(), std::size_t{1});
    QCOMPARE(h.prompts.file_questions.front().caption, QStringLiteral("Open data log"));
    QVERIFY(h.prompts.errors.empty());
  }
};

QTEST_MAIN(WindowSettingsTest)
#include "window_settings_test.moc"
