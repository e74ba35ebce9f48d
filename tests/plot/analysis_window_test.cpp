// The Analysis window offscreen: its table of a saved log's figures against
// analyze_log() of the same file, the channel check boxes, "Save image…" and
// "Export…", Cancel in a long analysis, and "Analyze…" in the Live Plot on
// the live samples. Logs are written by the capture's writer, with seeded
// noise.

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/analysis_report.h"
#include "capture/capture_sidecar.h"
#include "capture/data_log_format.h"
#include "capture/sample_format.h"
#include "tests/analysis/noise_series.h"
#include "tests/plot/written_log.h"
#include "ui/plot/analysis_window.h"
#include "ui/plot/live_plot_window.h"
#include "ui/plot/log_log_plot.h"

using veltrix::capture::PlotSample;
using veltrix::capture::SampleQueue;
using veltrix::ui::plot::AnalysisWindow;
using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::plot::LogLogPlot;
using veltrix::ui::plot::PlotPrompts;

namespace {

constexpr int kRateHz = 1000;  // above the time column's limit: numbered lines

struct Script {
  QString save_answer;
  std::optional<int> rate_answer;
  QStringList errors;
  std::vector<int> suggested_rates;

  PlotPrompts prompts() {
    return {[](QWidget*, const QString&, const QString&) { return QString(); },
            [this](QWidget*, const QString&, const QString&, const QString&) { return save_answer; },
            [this](QWidget*, const QString& title, const QString& text) { errors << title + ": " + text; },
            [this](QWidget*, const QString&, const QString&, int suggested_hz) {
              suggested_rates.push_back(suggested_hz);
              return rate_answer;
            }};
  }
};

// Samples of seeded white noise around an offset, of every channel of `components`.
std::vector<PlotSample> noisy(std::size_t samples, double x_step, int components = COMPONENT_GYRO) {
  std::vector<std::vector<std::int16_t>> channels;
  for (int c = 0; c < veltrix::capture::kPlotChannelCount; ++c) {
    channels.push_back(veltrix::analysis::test::noise_series(samples, 12 + 4 * c, 0.02, 7 + c, 40 * c - 30));
  }
  std::vector<PlotSample> result(samples);
  for (std::size_t i = 0; i < samples; ++i) {
    result[i].x = static_cast<double>(i) * x_step;
    for (const int component : veltrix::capture::kColumnOrder) {
      if ((components & component) == 0) {
        continue;
      }
      const int first = PlotSample::first_channel_of(component);
      float values[3] = {};
      for (int axis = 0; axis < (component == COMPONENT_TEMP ? 1 : 3); ++axis) {
        values[axis] = channels[static_cast<std::size_t>(first + axis)][i];
      }
      result[i].set_component(component, values);
    }
  }
  return result;
}

std::vector<PlotSample> noisy_gyro(std::size_t samples, double x_step) { return noisy(samples, x_step); }

// A saved capture at kRateHz with its sidecar, as a capture leaves it.
std::string write_capture(const QTemporaryDir& dir, const char* name, std::size_t samples,
                          int components = COMPONENT_GYRO, long long missed = 0) {
  const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
  const veltrix::ui::plot::test::LogLayout layout{false, components};
  std::ofstream(path, std::ios::binary) << veltrix::ui::plot::test::data_log(layout, noisy(samples, 1, components))
                                        << veltrix::ui::plot::test::summary(static_cast<int>(samples),
                                                                            static_cast<int>(samples));
  veltrix::capture::SidecarFacts facts;
  facts.description.model_name = "KOR 42";
  facts.paths.data_log = path;
  facts.rate_hz = kRateHz;
  facts.components = components;
  facts.header = veltrix::ui::plot::test::header_line(layout);
  while (!facts.header.empty() && (facts.header.back() == '\n' || facts.header.back() == '\r')) {
    facts.header.pop_back();
  }
  facts.started = std::chrono::system_clock::now();
  const auto count = static_cast<int>(samples);
  const veltrix::capture::CaptureReport report{count, count - 1.0, kRateHz, kRateHz, 1.0, 0, missed};
  if (veltrix::capture::write_sidecar(facts, &report) != 0) {
    qFatal("the sidecar of %s was not written", path.c_str());
  }
  return path;
}

template <typename T>
T* child(QWidget& window, const QString& name) {
  T* found = window.findChild<T*>(name);
  if (found == nullptr) {
    qFatal("no child %s", qPrintable(name));
  }
  return found;
}

double cell(QTableWidget& table, int row, int column) {
  const QString text = table.item(row, column)->text().section(QLatin1Char(' '), 0, 0);
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok) {
    qFatal("cell %d,%d is not a figure: %s", row, column, qPrintable(text));
  }
  return value;
}

// Six significant digits, as the table shows them.
bool same_figure(double shown, double expected) {
  return std::abs(shown - expected) <= 1e-5 * std::max(std::abs(expected), 1e-12);
}

std::string file_text(const QString& path) {
  std::ifstream file(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

class AnalysisWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheFiguresOfTheAnalysisOfASavedLogAndSavesThem() {
    const QTemporaryDir dir;
    const std::string path = write_capture(dir, "dataLog1.csv", 30000);
    Script script;
    AnalysisWindow window(script.prompts());
    window.show();
    QVERIFY(window.analyze_log_file(QString::fromStdString(path)));
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 60000);
    QVERIFY(script.errors.isEmpty());

    const veltrix::analysis::LogReading reading = veltrix::analysis::read_log_channels(path, kRateHz);
    QCOMPARE(reading.status, veltrix::analysis::LogReadStatus::kRead);
    const auto expected = veltrix::analysis::analyze_log(reading.log, kRateHz, {});
    QVERIFY(expected && window.shown());
    auto& table = *child<QTableWidget>(window, QStringLiteral("tableAnalysis"));
    QCOMPARE(table.rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
      const veltrix::analysis::ChannelReport& channel = expected->channels[static_cast<std::size_t>(row)];
      const auto& s = channel.analysis.statistics;
      const auto& terms = channel.analysis.coefficients;
      QCOMPARE(table.item(row, 0)->text(), QString::fromStdString(channel.name));
      QCOMPARE(cell(table, row, 1), 30000.0);
      std::vector<double> figures{s.mean,
                                  s.std,
                                  s.min,
                                  s.max,
                                  s.peak_to_peak(),
                                  *terms.white_noise,
                                  terms.bias_instability->value,
                                  terms.bias_instability->tau_s};
      if (terms.rate_random_walk) {
        figures.push_back(*terms.rate_random_walk);
      } else {
        QCOMPARE(table.item(row, 10)->text(), QStringLiteral("–"));
      }
      figures.push_back(*channel.analysis.noise_density);
      for (int column = 2, i = 0; column < 12; ++column) {
        if (column == 10 && !terms.rate_random_walk) {
          continue;
        }
        QVERIFY2(same_figure(cell(table, row, column), figures[static_cast<std::size_t>(i++)]),
                 qPrintable(QStringLiteral("row %1 column %2").arg(row).arg(column)));
      }
      QCOMPARE(table.item(row, 8)->text().endsWith(QStringLiteral("(upper bound)")),
               terms.bias_instability->upper_bound);
      // White noise of 12, 16 and 20 counts a sample at 1 kHz.
      QVERIFY(std::abs(cell(table, row, 3) - (12 + 4 * row)) < 1);
    }

    // A channel's box hides its curves in both plots.
    auto& adev = *child<LogLogPlot>(window, QStringLiteral("plotAdev"));
    auto& psd = *child<LogLogPlot>(window, QStringLiteral("plotPsd"));
    QCOMPARE(adev.curves().size(), std::size_t{3});
    QCOMPARE(adev.curves()[1].points.size(), expected->channels[1].analysis.adev.size());
    child<QCheckBox>(window, QStringLiteral("chkAnalysisChannel1"))->click();
    QVERIFY(!adev.curves()[1].visible && !psd.curves()[1].visible && adev.curves()[0].visible);

    script.save_answer = dir.filePath(QStringLiteral("analysis"));
    child<QToolButton>(window, QStringLiteral("btnSaveAnalysisImage"))->click();
    QCOMPARE(QImage(script.save_answer + QStringLiteral(".png")).size(), window.size());
    script.save_answer = dir.filePath(QStringLiteral("analysis.json"));
    child<QToolButton>(window, QStringLiteral("btnExportAnalysis"))->click();
    QCOMPARE(nlohmann::ordered_json::parse(file_text(script.save_answer)), veltrix::analysis::analysis_json(*expected));
    script.save_answer = dir.filePath(QStringLiteral("adev.csv"));
    child<QToolButton>(window, QStringLiteral("btnExportAnalysis"))->click();
    const std::string csv = file_text(script.save_answer);
    std::size_t rows = 0;
    for (const auto& channel : expected->channels) {
      rows += channel.analysis.adev.size();
    }
    QCOMPARE(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), rows + 1);
    QVERIFY(csv.starts_with("channel,tau_s,adev,differences\nGyro_X,0.001,"));
    QVERIFY(script.errors.isEmpty());
  }

  // A scale typed for the gyroscope puts its figures, plots and export in the
  // unit, is remembered for the log's model in a new window, and a damaged
  // entry is left out.
  void aScaleSetIsRememberedPerModelAndExported() {
    const QTemporaryDir settings_dir;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings_dir.path());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QCoreApplication::setOrganizationName(QStringLiteral("VeltrixTest"));
    QCoreApplication::setApplicationName(QStringLiteral("analysis-window-test"));
    const QTemporaryDir dir;
    const std::string path = write_capture(dir, "dataLog1.csv", 5000);
    const veltrix::analysis::LogReading reading = veltrix::analysis::read_log_channels(path, kRateHz);
    const veltrix::analysis::ComponentScales scales{{COMPONENT_GYRO, {131, "deg/s"}}};
    const auto expected = veltrix::analysis::analyze_log(reading.log, kRateHz, scales);
    QVERIFY(expected);

    Script script;
    {
      AnalysisWindow window(script.prompts());
      window.show();
      QVERIFY(window.analyze_log_file(QString::fromStdString(path)));
      QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 60000);
      QVERIFY(window.scales().empty());
      auto* counts = child<QLineEdit>(window, QStringLiteral("editScaleCountsGyro"));
      auto* unit = child<QLineEdit>(window, QStringLiteral("editScaleUnitGyro"));
      counts->setText(QStringLiteral("131"));
      emit counts->editingFinished();
      QVERIFY(window.scales().empty());  // no unit yet
      unit->setText(QStringLiteral("deg/s"));
      emit unit->editingFinished();
      QCOMPARE(window.scales().size(), std::size_t{1});
      auto& table = *child<QTableWidget>(window, QStringLiteral("tableAnalysis"));
      QCOMPARE(table.item(0, 0)->text(), QStringLiteral("Gyro_X (deg/s)"));
      QVERIFY(same_figure(cell(table, 0, 3), expected->channels[0].analysis.statistics.std));
      QCOMPARE(child<LogLogPlot>(window, QStringLiteral("plotAdev"))->y_label(), QStringLiteral("σ (deg/s)"));
    }
    {
      QSettings settings;  // another model's entry, and a damaged one
      settings.beginWriteArray(QStringLiteral("analysis/scales"), 3);
      settings.setArrayIndex(1);
      settings.setValue(QStringLiteral("model"), QStringLiteral("KOR 73"));
      settings.setValue(QStringLiteral("component"), COMPONENT_ACCEL);
      settings.setValue(QStringLiteral("counts_per_unit"), QStringLiteral("16384"));
      settings.setValue(QStringLiteral("unit"), QStringLiteral("g"));
      settings.setArrayIndex(2);
      settings.setValue(QStringLiteral("model"), QStringLiteral("KOR 42"));
      settings.setValue(QStringLiteral("component"), COMPONENT_ACCEL);
      settings.setValue(QStringLiteral("counts_per_unit"), QStringLiteral("-3"));
      settings.setValue(QStringLiteral("unit"), QStringLiteral("g"));
      settings.endArray();
    }

    AnalysisWindow reopened(script.prompts());
    reopened.show();
    QVERIFY(reopened.analyze_log_file(QString::fromStdString(path)));
    QTRY_VERIFY_WITH_TIMEOUT(!reopened.running(), 60000);
    QCOMPARE(child<QLineEdit>(reopened, QStringLiteral("editScaleCountsGyro"))->text(), QStringLiteral("131"));
    QCOMPARE(child<QLineEdit>(reopened, QStringLiteral("editScaleUnitGyro"))->text(), QStringLiteral("deg/s"));
    QVERIFY(child<QLineEdit>(reopened, QStringLiteral("editScaleCountsAccel"))->text().isEmpty());
    QCOMPARE(reopened.scales().size(), std::size_t{1});
    script.save_answer = dir.filePath(QStringLiteral("scaled.json"));
    child<QToolButton>(reopened, QStringLiteral("btnExportAnalysis"))->click();
    const auto exported = nlohmann::ordered_json::parse(file_text(script.save_answer));
    QCOMPARE(exported, veltrix::analysis::analysis_json(*expected));
    QCOMPARE(exported["channels"][2]["unit"], "deg/s");
    QVERIFY(script.errors.isEmpty());
    QCoreApplication::setOrganizationName({});
  }

  // A log without its sidecar is analysed at the rate the operator gives,
  // the question offering the rate its lines imply, and not at all (nor a
  // word of blame) when the question is cancelled.
  void asksTheRateOfALogWithoutSidecar() {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dataLog1.csv"));
    constexpr int kSamples = 16000;  // 2 s at 8 kHz, by its summary
    const veltrix::ui::plot::test::LogLayout layout{false, COMPONENT_GYRO};
    std::ofstream(path.toStdString(), std::ios::binary)
        << veltrix::ui::plot::test::data_log(layout, noisy_gyro(kSamples, 1))
        << veltrix::ui::plot::test::summary(2001, kSamples);
    Script script;
    AnalysisWindow window(script.prompts());
    QVERIFY(!window.analyze_log_file(path));
    QCOMPARE(script.suggested_rates, std::vector<int>{8000});
    QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join('\n')));
    QVERIFY(!window.running() && !window.shown());

    script.rate_answer = 500;
    QVERIFY(window.analyze_log_file(path));
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 60000);
    QVERIFY(window.shown());
    QCOMPARE(window.shown()->rate_hz, 500.0);
    QCOMPARE(window.shown()->channels[0].analysis.adev.front().tau_s, 1.0 / 500);

    // A log with a time column implies its rate by its steps.
    const QString timed = dir.filePath(QStringLiteral("dataLog2.csv"));
    std::ofstream(timed.toStdString(), std::ios::binary)
        << veltrix::ui::plot::test::data_log({true, COMPONENT_GYRO}, noisy_gyro(400, 20));
    script.rate_answer.reset();
    QVERIFY(!window.analyze_log_file(timed));
    QCOMPARE(script.suggested_rates, (std::vector<int>{8000, 8000, 50}));
    QVERIFY(script.errors.isEmpty());
  }

  // Every channel of a log of every component: a colour of its own in the
  // plots, the capture's missed samples said as the command line says them,
  // the axes' corner labels apart, and an export to a name of neither
  // format refused rather than written in one.
  void tellsWhatTheCommandLineTellsOfALogOfTenChannels() {
    const QTemporaryDir dir;
    const std::string path = write_capture(dir, "dataLog7.csv", 6000,
                                           COMPONENT_GYRO | COMPONENT_ACCEL | COMPONENT_COMPASS | COMPONENT_TEMP, 191);
    Script script;
    AnalysisWindow window(script.prompts());
    window.show();
    QVERIFY(window.analyze_log_file(QString::fromStdString(path)));
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 60000);
    QVERIFY(window.shown());
    QCOMPARE(window.shown()->channels.size(), std::size_t{10});

    const QString status = child<QLabel>(window, QStringLiteral("lblAnalysisStatus"))->text();
    QVERIFY2(status.contains(QStringLiteral("The capture report counts 191 samples missed; a log without a time "
                                            "column cannot place them, so they split nothing.")),
             qPrintable(status));

    const auto& curves = child<LogLogPlot>(window, QStringLiteral("plotAdev"))->curves();
    QCOMPARE(curves.size(), std::size_t{10});
    for (std::size_t a = 0; a < curves.size(); ++a) {
      for (std::size_t b = a + 1; b < curves.size(); ++b) {
        const QColor x = curves[a].color;
        const QColor y = curves[b].color;
        const int distance =
            std::abs(x.red() - y.red()) + std::abs(x.green() - y.green()) + std::abs(x.blue() - y.blue());
        QVERIFY2(distance > 60, qPrintable(curves[a].name + QStringLiteral(" and ") + curves[b].name));
      }
    }

    for (const char* name : {"plotAdev", "plotPsd"}) {
      const auto labels = child<LogLogPlot>(window, QString::fromLatin1(name))->tick_labels();
      QVERIFY(labels.size() >= 4);
      for (std::size_t a = 0; a < labels.size(); ++a) {
        for (std::size_t b = a + 1; b < labels.size(); ++b) {
          QVERIFY2(!labels[a].rect.intersects(labels[b].rect),
                   qPrintable(QStringLiteral("%1: %2 and %3").arg(name, labels[a].text, labels[b].text)));
        }
      }
    }

    script.save_answer = dir.filePath(QStringLiteral("analysis.png"));
    child<QToolButton>(window, QStringLiteral("btnExportAnalysis"))->click();
    QVERIFY(!QFile::exists(script.save_answer));
    QCOMPARE(script.errors.size(), 1);
    QVERIFY(script.errors.front().contains(QStringLiteral(".json")));
  }

  void cancelStopsALongAnalysisAndLeavesTheWindowUsable() {
    const QTemporaryDir dir;
    const std::string long_log = write_capture(dir, "dataLog1.csv", 1'500'000);
    const std::string short_log = write_capture(dir, "dataLog2.csv", 5000);
    Script script;
    AnalysisWindow window(script.prompts());
    window.show();
    QVERIFY(window.analyze_log_file(QString::fromStdString(long_log)));
    auto& cancel = *child<QToolButton>(window, QStringLiteral("btnCancelAnalysis"));
    QVERIFY(window.running() && cancel.isVisible());
    QVERIFY(child<QProgressBar>(window, QStringLiteral("progressAnalysis"))->isVisible());
    cancel.click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 10000);
    QVERIFY(!window.shown() && !cancel.isVisible());
    QCOMPARE(child<QTableWidget>(window, QStringLiteral("tableAnalysis"))->rowCount(), 0);
    QVERIFY(child<QLabel>(window, QStringLiteral("lblAnalysisStatus"))->text().endsWith(QStringLiteral("cancelled")));

    QVERIFY(window.analyze_log_file(QString::fromStdString(short_log)));
    QTRY_VERIFY_WITH_TIMEOUT(!window.running(), 60000);
    QVERIFY(window.shown());
    QCOMPARE(child<QTableWidget>(window, QStringLiteral("tableAnalysis"))->item(0, 1)->text(), QStringLiteral("5000"));

    // Closing mid-analysis stops it too.
    QVERIFY(window.analyze_log_file(QString::fromStdString(long_log)));
    window.close();
    QVERIFY(!window.running());
    QVERIFY(script.errors.isEmpty());
  }

  void analyzesTheLivePlotsSamplesInView() {
    SampleQueue queue(1 << 16);
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    child<QToolButton>(window, QStringLiteral("btnAnalyze"))->click();
    QCOMPARE(script.errors.size(), 1);  // no samples yet

    for (const PlotSample& sample : noisy_gyro(15000, 1)) {  // 15 s at 1 kHz
      (void)queue.push(sample);
    }
    window.refresh();
    child<QAbstractButton>(window, QStringLiteral("span10"))->click();
    AnalysisWindow* analysis = window.analyze();
    QVERIFY(analysis != nullptr && analysis->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!analysis->running(), 60000);
    QVERIFY(analysis->shown());
    QCOMPARE(analysis->shown()->rate_hz, 1000.0);
    QCOMPARE(analysis->shown()->channels.size(), std::size_t{3});
    QCOMPARE(analysis->shown()->channels[2].analysis.statistics.samples, std::uint64_t{10001});
    QVERIFY(std::abs(analysis->shown()->channels[2].analysis.statistics.std - 20) < 1.5);
    QCOMPARE(script.errors.size(), 1);
  }
};

QTEST_MAIN(AnalysisWindowTest)
#include "analysis_window_test.moc"
