// "Open data log…" on a big log of 8 kHz gyroscope lines, 160 MB by default
// (634 MB is one hour; no time column, closing summary), written with the
// capture's own writer, which writes its overview beside it, and described
// by a sidecar, in a temporary folder. Measured in the real Live Plot
// window, offscreen, from the open to what the window shows, judged on the
// rendered image of each paint:
//   - with its overview: until the whole log is painted, every pixel column
//     of the chart drawn from the data;
//   - without it (removed): until the first paint that shows data, and
//     until the whole log is painted;
// then the process's peak resident memory, the frames per second while
// zooming from the whole log to 10 ms and panning there and at one minute,
// and pandas.read_csv on the same file, run by Debian's /usr/bin/python3,
// as the baseline. The log drawn from its overview and from its lines must
// give the same pixel columns.
//   bench_open_log [MB [PNG]]   PNG: the whole log as it opened, saved

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture/capture_sidecar.h"
#include "capture/data_log.h"
#include "capture/log_overview.h"
#include "capture/sample_format.h"
#include "ui/plot/live_plot_window.h"
#include "ui/plot/strip_charts.h"

using veltrix::ui::plot::LivePlotWindow;
using veltrix::ui::plot::StripCharts;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kDefaultMegabytes = 160;  // a quarter hour; 634 is one hour at 8 kHz
constexpr int kRate = 8000;
constexpr double kLineBytes = 22;
constexpr double kNarrowestSpanMs = 10;
constexpr double kWideSpanMs = 60000;
constexpr int kZoomFrames = 90;
constexpr int kPanFrames = 60;
constexpr double kPatienceSeconds = 120;
constexpr std::size_t kComparedColumns = 1000;  // about a chart's width
// A pixel of a channel's colour: the greys of grid, frame and text are far below.
constexpr int kCurveSaturation = 80;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Motion plus noise and a rare spike, so every pyramid level has real extremes.
bool write_log(const std::string& path, long long lines) {
  veltrix::capture::DataLog log;
  if (log.open(path) != 0) {
    return false;
  }
  veltrix::capture::SampleText line;
  veltrix::capture::format_header(line, false, COMPONENT_GYRO);
  veltrix::capture::SidecarFacts facts;
  facts.paths.data_log = path;
  facts.rate_hz = kRate;
  facts.components = COMPONENT_GYRO;
  facts.header = line.view();
  facts.started = std::chrono::system_clock::now();
  std::string text(line.view());
  text += veltrix::capture::kLineEnd;
  bool ok = log.write(text) == 0 && veltrix::capture::write_sidecar(facts, nullptr) == 0;
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

// StripCharts has no meta-object of its own: found by its name.
StripCharts* charts_of(LivePlotWindow& window) {
  return static_cast<StripCharts*>(window.findChild<QWidget*>(QStringLiteral("stripCharts")));
}

// Counts the paints a widget gets.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};

struct Drawn {
  int columns = 0;  // pixel columns of all charts
  int drawn = 0;    // of them, those showing a curve
};

// Inside each chart's frame, the pixel columns where a channel's colour
// shows: a pixel whose channels differ widely (HSV saturation).
Drawn drawn_columns(const QImage& grabbed, const std::vector<QRect>& charts) {
  const QImage image = grabbed.convertToFormat(QImage::Format_RGB32);
  Drawn drawn;
  for (const QRect& chart : charts) {
    std::vector<bool> curve(static_cast<std::size_t>(chart.width()), false);
    for (int y = chart.top() + 1; y < chart.bottom(); ++y) {
      const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = chart.left() + 1; x < chart.right(); ++x) {
        const QRgb pixel = row[x];
        const int high = std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)});
        const int low = std::min({qRed(pixel), qGreen(pixel), qBlue(pixel)});
        if (high > 0 && (high - low) * 255 >= kCurveSaturation * high) {
          curve[static_cast<std::size_t>(x - chart.left())] = true;
        }
      }
    }
    drawn.columns += chart.width() - 2;
    drawn.drawn += static_cast<int>(std::count(curve.begin(), curve.end(), true));
  }
  return drawn;
}

struct OpenTimes {
  double first_paint = NAN;  // the first paint showing data
  double whole = NAN;        // the first paint with every column drawn
};

// What the user sees after opening `path`: each paint of the charts is
// rendered again and judged.
OpenTimes open_and_watch(LivePlotWindow& window, const QString& path) {
  StripCharts* charts = charts_of(window);
  PaintCounter counter;
  charts->installEventFilter(&counter);
  OpenTimes times;
  const auto start = Clock::now();
  if (!window.open_data_log(path)) {
    return times;
  }
  int judged = counter.paints;
  while (std::isnan(times.whole) && seconds_since(start) < kPatienceSeconds) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (counter.paints == judged) {
      continue;
    }
    const Drawn drawn = drawn_columns(charts->grab().toImage(), charts->chart_rects());
    const double now = seconds_since(start);
    judged = counter.paints;
    if (drawn.drawn > 0 && std::isnan(times.first_paint)) {
      times.first_paint = now;
    }
    if (drawn.columns > 0 && drawn.drawn == drawn.columns) {
      times.whole = now;
    }
  }
  charts->removeEventFilter(&counter);
  return times;
}

// The whole log in as many columns as the charts have.
veltrix::ui::plot::ChannelColumns whole_log_columns(veltrix::ui::plot::IndexedLog& log) {
  veltrix::ui::plot::ChannelMask wanted;
  wanted.fill(true);
  veltrix::ui::plot::ChannelColumns columns;
  log.decimate(log.first_x(), log.last_x(), kComparedColumns, wanted, columns);
  return columns;
}

bool same_columns(const veltrix::ui::plot::ChannelColumns& a, const veltrix::ui::plot::ChannelColumns& b) {
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (!std::equal(a[c].begin(), a[c].end(), b[c].begin(), b[c].end(), [](const auto& p, const auto& q) {
          return p.count == q.count && (p.empty() || (p.min == q.min && p.max == q.max));
        })) {
      return false;
    }
  }
  return true;
}

void settle(LivePlotWindow& window) {
  while (window.shown_log()->indexing()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  const double megabytes = argc > 1 ? std::atof(argv[1]) : kDefaultMegabytes;
  if (!(megabytes > 0)) {
    std::fprintf(stderr, "usage: bench_open_log [MB [PNG]]\n");
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

  LivePlotWindow with_overview;
  with_overview.resize(1040, 680);
  with_overview.show();
  QApplication::processEvents();
  const OpenTimes from_overview = open_and_watch(with_overview, path);
  settle(with_overview);
  if (!with_overview.shown_log()->from_overview()) {
    std::fprintf(stderr, "the overview the writer left was not taken\n");
    return 1;
  }
  const veltrix::ui::plot::ChannelColumns overview_columns = whole_log_columns(*with_overview.shown_log());
  if (argc > 2) {
    with_overview.grab().save(QString::fromLocal8Bit(argv[2]), "PNG");
  }
  with_overview.close();

  QFile::remove(QString::fromStdString(veltrix::capture::log_overview_path(path.toStdString())));
  LivePlotWindow window;
  window.resize(1040, 680);
  window.show();
  QApplication::processEvents();
  const OpenTimes read = open_and_watch(window, path);
  settle(window);
  const veltrix::ui::plot::IndexedLogSummary summary = window.shown_log()->summary();
  if (summary.lines != static_cast<std::size_t>(lines) || !summary.error.empty()) {
    std::fprintf(stderr, "indexed %zu lines of %lld: %s\n", summary.lines, lines, summary.error.c_str());
    return 1;
  }
  if (!same_columns(whole_log_columns(*window.shown_log()), overview_columns)) {
    std::fprintf(stderr, "the log drawn from its overview differs from the log drawn from its lines\n");
    return 1;
  }

  // Zoom around a point a third into the log, then pan there and wider.
  const double first = window.view_start();
  const double last = window.view_end();
  const double focus = first + (last - first) / 3;
  const double shrink = std::pow(kNarrowestSpanMs / (last - first), 1.0 / kZoomFrames);
  const auto frames_start = Clock::now();
  double span = last - first;
  for (int i = 0; i < kZoomFrames; ++i) {
    span *= shrink;
    window.request_view(focus - span / 3, focus + span * 2 / 3);
    window.repaint();
  }
  for (const double pan_span : {kNarrowestSpanMs, kWideSpanMs}) {
    for (int i = 0; i < kPanFrames; ++i) {
      const double x0 = focus + i * pan_span / 20;
      window.request_view(x0, x0 + pan_span);
      window.repaint();
    }
  }
  const double fps = (kZoomFrames + 2 * kPanFrames) / seconds_since(frames_start);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mb = static_cast<double>(usage.ru_maxrss) / 1024;
  const double pandas = pandas_seconds(path);
  std::printf(
      "open log: %.0f MB, with pyramid: overview %.3f s; without: first paint %.3f s, overview %.3f s; "
      "peak RSS %.0f MB, zoom+pan %.0f fps, pandas %.2f s\n",
      size_mb, from_overview.whole, read.first_paint, read.whole, peak_mb, fps, pandas);
  return std::isnan(from_overview.whole) || std::isnan(read.whole) ? 1 : 0;
}
