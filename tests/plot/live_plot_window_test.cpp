// The Live Plot window offscreen: samples from the capture's queue, the
// display-drop line, pause, "Open data log…" with a saved log, a captured
// one (whole, in time, from its overview) and a foreign file, "Save
// image…", the size kept for the run, and the X axis's labels at any zoom.
// Prompts are scripted.

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "capture/capture_sidecar.h"
#include "capture/data_log.h"
#include "tests/plot/written_log.h"
#include "ui/plot/live_plot_window.h"
#include "ui/plot/x_axis.h"

using veltrix::capture::PlotChannel;
using veltrix::capture::PlotSample;
using veltrix::capture::SampleQueue;
using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::plot::PlotPrompts;

namespace {

// Scripted answers and what the window asked.
struct Script {
  QString open_answer;
  QString save_answer;
  QStringList errors;

  PlotPrompts prompts() {
    return {[this](QWidget*, const QString&, const QString&) { return open_answer; },
            [this](QWidget*, const QString&, const QString&, const QString&) { return save_answer; },
            [this](QWidget*, const QString& title, const QString& text) { errors << title + ": " + text; },
            {}};
  }
};

PlotSample gyro_sample(double x_ms) {
  PlotSample sample;
  sample.x = x_ms;
  const float values[3] = {static_cast<float>(x_ms), static_cast<float>(-x_ms), 5};
  sample.set_component(COMPONENT_GYRO, values);
  return sample;
}

template <typename T>
T* child(QWidget& window, const char* name) {
  T* found = window.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) {
    qFatal("no child %s", name);
  }
  return found;
}

QString text_of(QWidget& window, const char* name) { return child<QLabel>(window, name)->text(); }

void write_file(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

}  // namespace

class LivePlotWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void showsQueuedSamplesAndSaysWhenTheDisplaySkippedSome() {
    SampleQueue queue(64);
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    for (int i = 0; i < 100; ++i) {
      (void)queue.push(gyro_sample(i * 10));
    }
    window.refresh();
    QCOMPARE(window.shown_series().size(), std::size_t{64});
    QCOMPARE(window.shown_series().components(), COMPONENT_GYRO);
    QCOMPARE(text_of(window, "lblDisplayDrops"), QStringLiteral("Display skipped 36 samples; the logs are complete"));
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("630"));  // newest gyroscope X
    QCOMPARE(text_of(window, "channelValue1"), QStringLiteral("-630"));

    // Time starting again is a new capture: the previous samples go.
    (void)queue.push(gyro_sample(0));
    window.refresh();
    QCOMPARE(window.shown_series().size(), std::size_t{1});
    window.begin_capture();
    QVERIFY(text_of(window, "lblDisplayDrops").isEmpty());

    window.set_status(QStringLiteral("2800 samples in 14.000 s"));
    QCOMPARE(text_of(window, "lblStatus"), QStringLiteral("2800 samples in 14.000 s"));
  }

  void pauseFreezesTheViewWhileTheQueueIsStillEmptied() {
    SampleQueue queue(4096);
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    for (int i = 0; i <= 1000; ++i) {  // 10 s at 100 Hz
      (void)queue.push(gyro_sample(i * 10));
    }
    window.refresh();
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("10000"));

    child<QAbstractButton>(window, "btnPause")->click();
    for (int round = 0; round < 5; ++round) {
      for (int i = 1; i <= 2000; ++i) {
        (void)queue.push(gyro_sample(10000 + round * 20000 + i * 10));
      }
      window.refresh();
    }
    QCOMPARE(queue.dropped(), std::uint64_t{0});
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("10000"));
    // The frozen view's samples are still there although 100 s went by.
    QCOMPARE(window.shown_series().x().front(), 0.0);

    child<QAbstractButton>(window, "btnPause")->click();
    window.refresh();
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("110000"));
    // Following again, only the longest window (60 s) is kept.
    QVERIFY(window.shown_series().x().front() >= 110000 - 60000);
  }

  void zoomingIntoTheCaptureStopsFollowingUntilFollow() {
    SampleQueue queue(4096);
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    for (int i = 0; i <= 1000; ++i) {
      (void)queue.push(gyro_sample(i * 10));
    }
    window.refresh();
    QVERIFY(!child<QAbstractButton>(window, "btnFollow")->isVisible());
    window.request_view(2000, 2500);
    for (int i = 1001; i <= 2000; ++i) {
      (void)queue.push(gyro_sample(i * 10));
    }
    window.refresh();
    QCOMPARE(window.view_start(), 2000.0);
    QCOMPARE(window.view_end(), 2500.0);
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("2500"));
    QVERIFY(child<QAbstractButton>(window, "btnFollow")->isVisible());

    QTest::keyClick(&window, Qt::Key_Home);
    QCOMPARE(window.view_start(), 0.0);
    QCOMPARE(window.view_end(), 20000.0);

    child<QAbstractButton>(window, "btnFollow")->click();
    (void)queue.push(gyro_sample(20010));
    window.refresh();
    QCOMPARE(window.view_end(), 20010.0);
    QCOMPARE(window.view_end() - window.view_start(), 10000.0);
    QVERIFY(!child<QAbstractButton>(window, "btnFollow")->isVisible());

    // Follow goes back to the span last chosen, not to the first one.
    child<QAbstractButton>(window, "span2")->click();
    window.request_view(19000, 19100);
    QVERIFY(!child<QAbstractButton>(window, "span2")->isChecked());
    child<QAbstractButton>(window, "btnFollow")->click();
    QCOMPARE(window.view_end() - window.view_start(), 2000.0);
    QVERIFY(child<QAbstractButton>(window, "span2")->isChecked());
  }

  void opensASavedDataLogAndRefusesAForeignFile() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    SampleQueue queue;
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    (void)queue.push(gyro_sample(0));
    window.refresh();

    std::vector<PlotSample> samples;
    for (int i = 0; i < 1500; ++i) {  // 15 s at 100 Hz
      PlotSample sample;
      sample.x = i * 10 + 3;
      const float values[3] = {static_cast<float>(i), static_cast<float>(-i), static_cast<float>(i * 20)};
      for (const int component : {COMPONENT_GYRO, COMPONENT_ACCEL, COMPONENT_COMPASS, COMPONENT_TEMP}) {
        sample.set_component(component, values);
      }
      samples.push_back(sample);
    }
    script.open_answer = folder.filePath(QStringLiteral("dataLog-12345.csv"));
    write_file(script.open_answer,
               veltrix::ui::plot::test::data_log({true, veltrix::devices::kAllComponents}, samples));
    child<QAbstractButton>(window, "btnOpenDataLog")->click();
    QVERIFY2(script.errors.isEmpty(), qPrintable(script.errors.join('\n')));
    QVERIFY(window.shown_log() != nullptr);
    QTRY_VERIFY(window.shown_log()->indexed() && !window.shown_log()->indexing());
    QApplication::processEvents();
    QCOMPARE(window.shown_log()->summary().lines, std::size_t{1500});
    QCOMPARE(window.shown_log()->components(), veltrix::devices::kAllComponents);
    QCOMPARE(window.shown_log()->value_at(PlotChannel::kAccelZ, 14993, 0), 1499.0f * 20);
    QVERIFY(text_of(window, "lblStatus").startsWith(QStringLiteral("dataLog-12345.csv: 1500 samples")));
    // The view opens on the whole log: the values at its end.
    QCOMPARE(window.view_start(), 3.0);
    QCOMPARE(window.view_end(), 14993.0);
    QCOMPARE(text_of(window, "channelValue9"), QStringLiteral("1499"));
    QCOMPARE(text_of(window, "channelValue5"), QStringLiteral("29980"));
    QVERIFY(child<QAbstractButton>(window, "btnShowLive")->isVisible());
    QVERIFY(!child<QAbstractButton>(window, "btnPause")->isEnabled());

    // The live capture goes on underneath.
    (void)queue.push(gyro_sample(10));
    window.refresh();
    QCOMPARE(window.shown_series().size(), std::size_t{2});
    QCOMPARE(window.shown_log()->summary().lines, std::size_t{1500});

    // Home fits the whole log; the wheel's zoom keeps the log shown.
    QTest::keyClick(&window, Qt::Key_Home);
    QCOMPARE(window.view_start(), 3.0);
    QCOMPARE(window.view_end(), 14993.0);
    window.request_view(100, 110);
    QCOMPARE(window.view_end(), 110.0);
    QVERIFY(child<QAbstractButton>(window, "btnShowLive")->isVisible());

    // A log without time column, with its summary, is numbered by sample.
    std::vector<PlotSample> gyro_only;
    for (int i = 0; i < 1500; ++i) {
      gyro_only.push_back(gyro_sample(i));
    }
    script.open_answer = folder.filePath(QStringLiteral("fast.csv"));
    write_file(script.open_answer, veltrix::ui::plot::test::data_log({false, COMPONENT_GYRO}, gyro_only) +
                                       veltrix::ui::plot::test::summary(62, 1500));
    child<QAbstractButton>(window, "btnOpenDataLog")->click();
    QTRY_VERIFY(window.shown_log()->indexed() && !window.shown_log()->indexing());
    QApplication::processEvents();
    QCOMPARE(window.shown_log()->summary().lines, std::size_t{1500});
    QCOMPARE(window.shown_log()->last_x(), 1499.0);
    QVERIFY(text_of(window, "lblStatus").contains(QStringLiteral("its summary: 62 ms, 1500 samples")));
    QCOMPARE(child<QAbstractButton>(window, "span2")->text(), QStringLiteral("2000"));

    script.open_answer = folder.filePath(QStringLiteral("notes.csv"));
    write_file(script.open_answer, "name,value\r\nspeed,12\r\n");
    child<QAbstractButton>(window, "btnOpenDataLog")->click();
    QCOMPARE(script.errors.size(), 1);
    QVERIFY2(script.errors[0].startsWith(QStringLiteral("Open data log: notes.csv is not a data log of this program.")),
             qPrintable(script.errors[0]));
    QVERIFY(script.errors[0].contains(QStringLiteral("not a data log header")));
    QCOMPARE(window.shown_log()->summary().lines, std::size_t{1500});  // the shown log stays

    script.open_answer = folder.filePath(QStringLiteral("missing.csv"));
    child<QAbstractButton>(window, "btnOpenDataLog")->click();
    QCOMPARE(script.errors.size(), 2);
    QVERIFY(script.errors[1].contains(QStringLiteral("missing.csv could not be read")));

    child<QAbstractButton>(window, "btnShowLive")->click();
    QCOMPARE(window.shown_series().size(), std::size_t{2});
    QVERIFY(text_of(window, "lblStatus").isEmpty());
    QCOMPARE(child<QAbstractButton>(window, "span2")->text(), QStringLiteral("2 s"));
  }

  void aCapturedLogOpensWholeInTimeFromItsOverview() {
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("dataLog5.csv")).toStdString();
    {
      veltrix::capture::DataLog log;
      QCOMPARE(log.open(path), 0);
      QCOMPARE(log.write(veltrix::ui::plot::test::header_line({false, COMPONENT_GYRO})), 0);
      for (int i = 0; i < 16000; ++i) {  // 2 s at 8 kHz
        QCOMPARE(log.write(veltrix::ui::plot::test::sample_line({false, COMPONENT_GYRO}, gyro_sample(i % 3000))), 0);
      }
      QCOMPARE(log.write(veltrix::ui::plot::test::summary(2000, 16000)), 0);
    }
    veltrix::capture::SidecarFacts facts;
    facts.paths.data_log = path;
    facts.rate_hz = 8000;
    facts.components = COMPONENT_GYRO;
    facts.header = "Gyro_X, Gyro_Y, Gyro_Z";
    QCOMPARE(veltrix::capture::write_sidecar(facts, nullptr), 0);

    Script script;
    LivePlotWindow window(nullptr, script.prompts());
    window.show();
    QVERIFY(window.open_data_log(QString::fromStdString(path)));
    // Whole at once, before any line is read again.
    QVERIFY(window.shown_log()->from_overview());
    QCOMPARE(window.view_start(), 0.0);
    QCOMPARE(window.view_end(), 15999 / 8.0);
    QTRY_VERIFY(window.shown_log()->indexed());
    QApplication::processEvents();
    QCOMPARE(text_of(window, "lblStatus"),
             QStringLiteral("dataLog5.csv: 16000 samples, timed by the sidecar's rate, 8000 Hz; drawn from its "
                            "overview; its summary: 2000 ms, 16000 samples"));
    QCOMPARE(child<QAbstractButton>(window, "span2")->text(), QStringLiteral("2 s"));
    QCOMPARE(text_of(window, "channelValue0"), QStringLiteral("999"));  // the last line: sample 15999 % 3000

    // Zoomed, the view stays; Home shows the whole log again.
    window.request_view(100, 200);
    QCOMPARE(window.view_end(), 200.0);
    QTest::keyClick(&window, Qt::Key_Home);
    QCOMPARE(window.view_start(), 0.0);
    QCOMPARE(window.view_end(), 15999 / 8.0);
  }

  void xAxisLabelsNeverRunTogetherAndReadAsTime() {
    using veltrix::ui::plot::XUnit;
    const QFontMetrics metrics(QApplication::font());
    int views = 0;
    for (const XUnit unit : {XUnit::kMilliseconds, XUnit::kSamples}) {
      for (const double span : {1.0, 7.0, 55.0, 999.0, 12e3, 59e3, 61e3, 6e5, 3.599e6, 3.6e6, 7.3e6, 1.08e8}) {
        for (const double start : {0.0, -2500.0, 59'999.0, 3'599'000.0, 3.6e7, 28'799'999.0}) {
          for (const int width : {240, 520, 1040, 1900}) {
            const auto axis =
                veltrix::ui::plot::x_axis_layout(start, start + span, unit, 60, width - 15, width, 0, metrics);
            QVERIFY2(axis.labels.size() >= (width >= 520 ? 2u : 1u),
                     qPrintable(QStringLiteral("%1 + %2 over %3 px").arg(start).arg(span).arg(width)));
            for (std::size_t i = 0; i < axis.labels.size(); ++i) {
              const QRectF& box = axis.labels[i].box;
              QVERIFY(box.left() >= 0 && box.right() <= width);
              QCOMPARE(box.width(), static_cast<double>(metrics.horizontalAdvance(axis.labels[i].text)));
              if (i > 0) {
                QVERIFY2(axis.labels[i - 1].box.right() + 8 <= box.left(),
                         qPrintable(axis.labels[i - 1].text + QStringLiteral(" runs into ") + axis.labels[i].text));
              }
            }
            ++views;
          }
        }
      }
    }
    QCOMPARE(views, 2 * 12 * 6 * 4);

    const auto texts = [&](double x0, double x1, XUnit unit) {
      const auto axis = veltrix::ui::plot::x_axis_layout(x0, x1, unit, 60, 1025, 1040, 0, metrics);
      QStringList list;
      for (const auto& label : axis.labels) {
        list << label.text;
      }
      return axis.title + QStringLiteral(": ") + list.join(QLatin1Char(' '));
    };
    QCOMPARE(texts(0, 3.6e6, XUnit::kMilliseconds),
             QStringLiteral("time (h:mm:ss): 0:00:00 0:05:00 0:10:00 0:15:00 0:20:00 0:25:00 0:30:00 0:35:00 "
                            "0:40:00 0:45:00 0:50:00 0:55:00 1:00:00"));
    QCOMPARE(texts(0, 10000, XUnit::kMilliseconds), QStringLiteral("time (s): 0 1 2 3 4 5 6 7 8 9 10"));
    QCOMPARE(texts(61000, 61010, XUnit::kMilliseconds),
             QStringLiteral("time (m:ss): 1:01.000 1:01.001 1:01.002 1:01.003 1:01.004 1:01.005 1:01.006 1:01.007 "
                            "1:01.008 1:01.009 1:01.010"));
    QCOMPARE(texts(-2000, 2000, XUnit::kMilliseconds).section(QLatin1Char(' '), 0, 3),
             QStringLiteral("time (s): -2.0 -1.5"));
    QCOMPARE(texts(0, 28'800'000, XUnit::kSamples),
             QStringLiteral("sample: 0 5000000 10000000 15000000 20000000 25000000"));
  }

  void savesTheImageWhereThePromptSays() {
    QTemporaryDir folder;
    SampleQueue queue;
    Script script;
    LivePlotWindow window(&queue, script.prompts());
    window.show();
    for (int i = 0; i < 300; ++i) {
      (void)queue.push(gyro_sample(i * 10));
    }
    window.refresh();

    child<QAbstractButton>(window, "btnSaveImage")->click();  // cancelled
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 0);

    script.save_answer = folder.filePath(QStringLiteral("run1"));
    child<QAbstractButton>(window, "btnSaveImage")->click();
    QImage image(folder.filePath(QStringLiteral("run1.png")), "PNG");
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 400 && image.height() > 300);

    script.save_answer = folder.filePath(QStringLiteral("no-such-folder/run2.png"));
    child<QAbstractButton>(window, "btnSaveImage")->click();
    QCOMPARE(script.errors.size(), 1);
    QVERIFY(script.errors[0].contains(QStringLiteral("could not be written")));
  }

  void keepsItsSizeForTheRun() {
    Script script;
    {
      LivePlotWindow first(nullptr, script.prompts());
      first.show();
      first.resize(700, 520);
      QCoreApplication::processEvents();
    }
    LivePlotWindow second(nullptr, script.prompts());
    QCOMPARE(second.size(), QSize(700, 520));
  }
};

QTEST_MAIN(LivePlotWindowTest)
#include "live_plot_window_test.moc"
