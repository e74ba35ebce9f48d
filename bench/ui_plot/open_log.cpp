// "Open data log…" on a big log of 8 kHz gyroscope lines, 160 MB by default
// (633.6 MB is one hour; no time column, closing summary), written with the
// capture's own writer into a temporary folder. Measured in the real Live
// Plot window, offscreen: the time from the open to the first painted
// overview, the process's peak resident memory, and the frames per second
// while zooming from the whole log to 80 samples (10 ms) and panning there
// and at a middle zoom. The baseline is pandas.read_csv on the same file, run
// by Debian's /usr/bin/python3 (target: first paint at most 0.3 x pandas).
//   bench_open_log [MB [PNG]]   PNG: the plot zoomed to 40 samples, saved

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture/data_log.h"
#include "capture/sample_format.h"
#include "ui/plot/live_plot_window.h"

using veltrix::ui::plot::LivePlotWindow;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kDefaultMegabytes = 160;  // a quarter hour; 633.6 is one hour at 8 kHz
constexpr int kRate = 8000;
constexpr double kLineBytes = 22;
constexpr double kNarrowestSpan = 80;  // samples: 10 ms at 8 kHz
constexpr int kZoomFrames = 90;
constexpr int kPanFrames = 60;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Motion plus noise and a rare spike, so every pyramid level has real extremes.
bool write_log(const std::string& path, long long lines) {
  veltrix::capture::DataLog log;
  if (log.open(path) != 0) {
    return false;
  }
  veltrix::capture::SampleText line;
  veltrix::capture::format_header(line, false, COMPONENT_GYRO);
  std::string text(line.view());
  text += veltrix::capture::kLineEnd;
  bool ok = log.write(text) == 0;
  veltrix::capture::SampleValues values;
  for (long long n = 0; ok && n < lines; ++n) {
    const double t = static_cast<double>(n) / kRate;
    const auto noise = static_cast<float>((n * 7919) % 61) - 30;
    values.gyro[0] =
        static_cast<float>(std::lround(9000 * std::sin(t * 0.01) + noise + (n % 1'000'003 == 0 ? 20000 : 0)));
    values.gyro[1] = static_cast<float>(std::lround(4000 * std::cos(t * 3.1)) - noise);
    values.gyro[2] = static_cast<float>(std::lround(1500 * std::sin(t * 37.0) + noise / 2));
    veltrix::capture::format_sample_line(line, COMPONENT_GYRO, values, std::nullopt);
    text.assign(line.view());
    text += veltrix::capture::kLineEnd;
    ok = log.write(text) == 0;
  }
  veltrix::capture::format_summary(line, static_cast<double>(lines) * 1000 / kRate, static_cast<int>(lines));
  return ok && log.write(line.view()) == 0 && log.close() == 0;
}

double pandas_seconds(const QString& path) {
  QProcess python;
  python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"),
                                                    QStringLiteral("import sys, time, pandas\n"
                                                                   "start = time.perf_counter()\n"
                                                                   "pandas.read_csv(sys.argv[1])\n"
                                                                   "print(time.perf_counter() - start)"),
                                                    path});
  if (!python.waitForFinished(-1) || python.exitCode() != 0) {
    std::fprintf(stderr, "pandas failed: %s\n", python.readAllStandardError().constData());
    return NAN;
  }
  return python.readAllStandardOutput().trimmed().toDouble();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  const double megabytes = argc > 1 ? std::atof(argv[1]) : kDefaultMegabytes;
  if (!(megabytes > 0)) {
    std::fprintf(stderr, "usage: bench_open_log [MB]\n");
    return 2;
  }
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("dataLog0.csv"));
  const auto lines = static_cast<long long>(megabytes * 1e6 / kLineBytes);
  if (!folder.isValid() || !write_log(path.toStdString(), lines)) {
    std::fprintf(stderr, "the log could not be written\n");
    return 1;
  }
  const double size_mb = static_cast<double>(QFileInfo(path).size()) / 1e6;

  LivePlotWindow window;
  window.resize(1040, 680);
  window.show();
  QApplication::processEvents();
  const auto open_start = Clock::now();
  if (!window.open_data_log(path)) {
    return 1;
  }
  window.fit_all();
  window.repaint();
  const double first_paint = seconds_since(open_start);

  while (window.shown_log()->indexing()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
  window.fit_all();
  window.repaint();

  // Zoom around a point a third into the log, then pan there and wider.
  const double first = window.view_start();
  const double last = window.view_end();
  const double focus = first + (last - first) / 3;
  const double shrink = std::pow(kNarrowestSpan / (last - first), 1.0 / kZoomFrames);
  const auto frames_start = Clock::now();
  double span = last - first;
  for (int i = 0; i < kZoomFrames; ++i) {
    span *= shrink;
    window.request_view(focus - span / 3, focus + span * 2 / 3);
    window.repaint();
  }
  for (const double pan_span : {kNarrowestSpan, 60.0 * kRate}) {
    for (int i = 0; i < kPanFrames; ++i) {
      const double x0 = focus + i * pan_span / 20;
      window.request_view(x0, x0 + pan_span);
      window.repaint();
    }
  }
  const double fps = (kZoomFrames + 2 * kPanFrames) / seconds_since(frames_start);

  if (argc > 2) {
    window.request_view(focus, focus + kNarrowestSpan / 2);
    window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mb = static_cast<double>(usage.ru_maxrss) / 1024;
  const veltrix::ui::plot::IndexedLogSummary summary = window.shown_log()->summary();
  if (summary.lines != static_cast<std::size_t>(lines) || !summary.error.empty()) {
    std::fprintf(stderr, "indexed %zu lines of %lld: %s\n", summary.lines, lines, summary.error.c_str());
    return 1;
  }
  const double pandas = pandas_seconds(path);
  std::printf(
      "open log: %.0f MB, first paint %.3f s, peak RSS %.0f MB, zoom+pan %.0f fps, pandas %.2f s, "
      "first paint / pandas %.3f\n",
      size_mb, first_paint, peak_mb, fps, pandas, first_paint / pandas);
  return 0;
}
