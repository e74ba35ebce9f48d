// The window's questions as the operator meets them: the real file dialogs
// and boxes (ui/qt_operator_prompts.h), answered by typing into them, where
// the other suites script the answers. What each dialog offers (its title,
// suggested name and filters) and what the file then holds are checked.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "capture/capture_control.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"
#include "ui/plot/analysis_window.h"
#include "ui/plot/live_plot_window.h"
#include "ui/qt_operator_prompts.h"

using veltrix::ui::QtOperatorPrompts;
using veltrix::ui::plot::AnalysisWindow;
using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::test::buffered_lines;
using veltrix::ui::test::kCaptureTimeoutMs;
using veltrix::ui::test::WindowHarness;

namespace {

constexpr int kDialogTimeoutMs = 5000;

// What a file dialog showed when it opened.
struct Offered {
  bool shown = false;
  QString title;
  QStringList filters;
  QString name;  // in its name field
};

// The next file dialog to open is answered as an operator answers it: the
// filter `filter` chosen from its list (when not empty), `typed` put into
// its name field, Return pressed.
std::shared_ptr<Offered> answer_file_dialog(const QString& typed, const QString& filter = {}) {
  auto offered = std::make_shared<Offered>();
  auto* timer = new QTimer;
  auto* waited = new QElapsedTimer;
  waited->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr && waited->elapsed() < kDialogTimeoutMs) {
      return;
    }
    timer->stop();
    timer->deleteLater();
    delete waited;
    if (dialog == nullptr) {
      return;
    }
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    *offered = {true, dialog->windowTitle(), dialog->nameFilters(), name->text()};
    if (!filter.isEmpty()) {
      auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      types->setFocus();
      while (types->currentText() != filter && types->currentIndex() + 1 < types->count()) {
        QTest::keyClick(types, Qt::Key_Down);
      }
    }
    // Pasted whole: typed a key at a time, a "/" makes the dialog go to that folder.
    name->setText(typed);
    QTest::keyClick(name, Qt::Key_Return);
  });
  timer->start(20);
  return offered;
}

// Closes every message box that opens, keeping its texts; the labels of a
// box's detail are looked at by `look` first.
struct BoxWatch {
  QStringList texts;
  std::function<void(QMessageBox&)> look;
  QTimer timer;

  BoxWatch() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text() + QLatin1Char('\n') + box->informativeText();
        if (look) {
          look(*box);
        }
        box->accept();
      }
    });
    timer.start(20);
  }
};

template <typename W>
QList<W*> windows_of_type(QWidget& owner) {
  QList<W*> found;
  for (QWidget* widget : owner.findChildren<QWidget*>()) {
    if (auto* window = dynamic_cast<W*>(widget)) {
      found.append(window);
    }
  }
  return found;
}

QByteArray read_all(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class WindowDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  // A logged capture opened in the Live Plot, analysed and exported, each
  // file named in its dialog: the name typed without a suffix takes the
  // suffix of the filter chosen, and the file holds that format.
  void the_live_plots_and_analysis_dialogs_name_their_files_by_their_filters() {
    QtOperatorPrompts real;
    WindowHarness h;
    h.window.reset();
    h.window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(real);
    QVERIFY(h.connect("kor73", "KOR 73"));
    BoxWatch boxes;
    QTemporaryDir dir;
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(folder));
    const std::shared_ptr<Offered> folder_dialog = answer_file_dialog(folder);
    h.click("btnSelectFolder");
    QVERIFY(folder_dialog->shown);
    h.click("btnStart");
    QTRY_VERIFY_WITH_TIMEOUT(buffered_lines() >= 40, kCaptureTimeoutMs);
    h.click("btnStop");
    veltrix::capture::control::wait();
    const QStringList logs = QDir(folder).entryList({QStringLiteral("dataLog*.csv")});
    QCOMPARE(logs.size(), 1);

    h.click("btnLivePlot");
    LivePlotWindow* plot = windows_of_type<LivePlotWindow>(*h.window).front();
    const std::shared_ptr<Offered> open = answer_file_dialog(QDir(folder).filePath(logs.front()));
    QTest::mouseClick(plot->findChild<QAbstractButton*>(QStringLiteral("btnOpenDataLog")), Qt::LeftButton);
    QVERIFY(open->shown);
    QCOMPARE(open->title, QStringLiteral("Open data log"));
    QVERIFY2(open->filters.contains(QStringLiteral("Data logs (*.csv)")), qPrintable(open->filters.join(';')));
    QVERIFY(plot->shown_log() != nullptr);

    QTest::mouseClick(plot->findChild<QAbstractButton*>(QStringLiteral("btnAnalyze")), Qt::LeftButton);
    AnalysisWindow* analysis = windows_of_type<AnalysisWindow>(*plot).front();
    QTRY_VERIFY_WITH_TIMEOUT(!analysis->running(), 60000);
    QVERIFY(analysis->shown());
    auto* export_button = analysis->findChild<QAbstractButton*>(QStringLiteral("btnExportAnalysis"));

    const QString stem = QDir(dir.path()).filePath(QStringLiteral("analysis"));
    const std::shared_ptr<Offered> as_csv = answer_file_dialog(stem, QStringLiteral("Allan deviation table (*.csv)"));
    QTest::mouseClick(export_button, Qt::LeftButton);
    QVERIFY(as_csv->shown);
    QCOMPARE(as_csv->title, QStringLiteral("Export analysis"));
    QCOMPARE(as_csv->name, QStringLiteral("analysis.json"));
    QCOMPARE(as_csv->filters,
             (QStringList{QStringLiteral("JSON (*.json)"), QStringLiteral("Allan deviation table (*.csv)")}));
    QVERIFY(read_all(stem + QStringLiteral(".csv")).startsWith("channel,tau_s,adev,differences\n"));

    const std::shared_ptr<Offered> as_json = answer_file_dialog(stem);
    QTest::mouseClick(export_button, Qt::LeftButton);
    QVERIFY(as_json->shown);
    const auto document = nlohmann::json::parse(read_all(stem + QStringLiteral(".json")).toStdString(), nullptr, false);
    QVERIFY(!document.is_discarded() && document.contains("channels"));

    const std::shared_ptr<Offered> image = answer_file_dialog(stem);
    QTest::mouseClick(analysis->findChild<QAbstractButton*>(QStringLiteral("btnSaveAnalysisImage")), Qt::LeftButton);
    QVERIFY(image->shown);
    QCOMPARE(image->name, QStringLiteral("analysis.png"));
    QCOMPARE(image->filters, QStringList{QStringLiteral("PNG image (*.png)")});
    QCOMPARE(QImage(stem + QStringLiteral(".png")).size(), analysis->size());

    QCOMPARE(
        QDir(dir.path()).entryList(QDir::Files),
        (QStringList{QStringLiteral("analysis.csv"), QStringLiteral("analysis.json"), QStringLiteral("analysis.png")}));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
  }

  // Compare's box lists the differing registers in columns that line up.
  void compare_lists_its_registers_in_a_fixed_pitch_font() {
    QtOperatorPrompts real;
    WindowHarness h;
    h.window.reset();
    h.window = std::make_unique<VeltrixDataLoggerWFA_clr8xp::MainUIForm2>(real);
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    const QString map = dir.filePath(QStringLiteral("map.txt"));
    const std::shared_ptr<Offered> saved = answer_file_dialog(map);
    h.click("btnSave");
    QVERIFY(saved->shown);
    QByteArray content = read_all(map);
    QVERIFY(content.contains("6B :   01"));
    content.replace("6B :   01", "6B :   41");
    QFile out(map);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    out.close();

    BoxWatch boxes;
    bool fixed_pitch = false;
    QString detail;
    boxes.look = [&](QMessageBox& box) {
      for (const QLabel* label : box.findChildren<QLabel*>()) {
        if (label->text() == box.informativeText()) {
          detail = label->text();
          fixed_pitch = QFontInfo(label->font()).fixedPitch();
        }
      }
    };
    const std::shared_ptr<Offered> compared = answer_file_dialog(map);
    h.click("btnCompare");
    QVERIFY(compared->shown);
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(detail.startsWith(QStringLiteral("6B | PWR_MGMT_1")), qPrintable(detail));
    QVERIFY(fixed_pitch);
  }
};

QTEST_MAIN(WindowDialogsTest)
#include "window_dialogs_test.moc"
