// The console pane's 100 ms refresh with the console buffer at its full
// 51,000 bytes, on the offscreen platform, painting included:
// 1. the window's tick while a capture adds five lines per tick (50 Hz),
// 2. the window's tick with nothing new,
// 3. replacing the whole pane text each tick, the plain way, for comparison.
// Each is reported as a share of the 100 ms period, by the window thread's
// processor time (what the tick takes from the window) and by wall time (which
// a loaded machine inflates); the target is 5 % at most.

#include <benchmark/benchmark.h>

#include <time.h>
#include <QApplication>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextCursor>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "capture/console_buffer.h"
#include "ui/application_setup.h"
#include "ui/main_ui_form2.h"
#include "ui/operator_prompts.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Spent {
  Clock::duration wall{};
  std::chrono::nanoseconds cpu{};
};

std::chrono::nanoseconds thread_cpu_now() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Measures one run of `work`, adding it to `spent`.
template <typename Work>
void measure(Spent& spent, Work&& work) {
  const auto wall = Clock::now();
  const auto cpu = thread_cpu_now();
  work();
  spent.cpu += thread_cpu_now() - cpu;
  spent.wall += Clock::now() - wall;
}
constexpr double kPeriodMs = 100.0;
constexpr int kLinesPerTick = 5;

class SilentPrompts final : public veltrix::ui::OperatorPrompts {
 public:
  void show_error(const QString&, const QString&, const QString&) override {}
  void show_information(const QString&, const QString&, const QString&) override {}
  std::optional<QString> save_file_path(QWidget*, const veltrix::ui::FileQuestion&) override { return std::nullopt; }
  std::optional<QString> open_file_path(QWidget*, const veltrix::ui::FileQuestion&) override { return std::nullopt; }
  std::optional<QString> pick_folder(QWidget*) override { return std::nullopt; }
  int choose_connection_mode(QWidget*) override { return 0; }
  bool confirm(QWidget*, const QString&, const QString&) override { return false; }
};

std::string sample_line(int n) {
  char line[128];
  std::snprintf(line, sizeof line, "%7i,%6i,%6i,%6i, %6i,%6i,%6i,%6i,%6i,%6i,%6i\r\n", n * 20, n, -n, 2 * n, 3 * n,
                -3 * n, n / 2, 5 * n, -5 * n, 7, n % 1000);
  return line;
}

// Fills the console buffer to within one tick's lines of its limit.
int fill_buffer(int first) {
  veltrix::capture::console_buffer::clear();
  int n = first;
  std::string text;
  while (text.size() + 2 * kLinesPerTick * sample_line(n).size() < veltrix::capture::console_buffer::kUsableBytes) {
    text += sample_line(n++);
  }
  veltrix::capture::console_buffer::append(text);
  return n;
}

struct MeanMs {
  double cpu;
  double wall;
};
std::map<std::string, MeanMs> means;

void record(const benchmark::State& state, const char* name, const Spent& spent) {
  const auto per_iteration = [&](auto duration) {
    return std::chrono::duration<double, std::milli>(duration).count() / static_cast<double>(state.iterations());
  };
  means[name] = {per_iteration(spent.cpu), per_iteration(spent.wall)};
}

struct Window {
  SilentPrompts prompts;
  VeltrixDataLoggerWFA_clr8xp::MainUIForm2 form{prompts};
  QPlainTextEdit* pane = form.findChild<QPlainTextEdit*>(QStringLiteral("txtDataLogging"));
  Window() {
    form.show();
    QApplication::processEvents();
  }
};

void BM_TickWhileCapturing(benchmark::State& state) {
  Window window;
  int n = fill_buffer(0);
  window.form.tmDataUpdater_Tick();
  Spent spent;
  for (auto _ : state) {
    state.PauseTiming();
    std::string lines;
    for (int i = 0; i < kLinesPerTick; ++i) {
      lines += sample_line(n++);
    }
    if (veltrix::capture::console_buffer::snapshot().size() + lines.size() >
        veltrix::capture::console_buffer::kUsableBytes) {
      n = fill_buffer(n);
      window.form.tmDataUpdater_Tick();
    }
    veltrix::capture::console_buffer::append(lines);
    state.ResumeTiming();
    measure(spent, [&] {
      window.form.tmDataUpdater_Tick();
      QApplication::processEvents();
    });
  }
  record(state, "tick while capturing", spent);
}
BENCHMARK(BM_TickWhileCapturing)->Unit(benchmark::kMillisecond);

void BM_TickWithNothingNew(benchmark::State& state) {
  Window window;
  fill_buffer(0);
  window.form.tmDataUpdater_Tick();
  Spent spent;
  for (auto _ : state) {
    measure(spent, [&] {
      window.form.tmDataUpdater_Tick();
      QApplication::processEvents();
    });
  }
  record(state, "tick with nothing new", spent);
}
BENCHMARK(BM_TickWithNothingNew)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllText(benchmark::State& state) {
  Window window;
  fill_buffer(0);
  Spent spent;
  for (auto _ : state) {
    measure(spent, [&] {
      const std::string text = veltrix::capture::console_buffer::snapshot();
      window.pane->setPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
      window.pane->moveCursor(QTextCursor::End);
      window.pane->ensureCursorVisible();
      QApplication::processEvents();
    });
  }
  record(state, "replace all (plain way)", spent);
}
BENCHMARK(BM_ReplaceAllText)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  veltrix::ui::prepare_application(app);
  // The window as on a first run, whatever this user's settings hold.
  const QTemporaryDir no_settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, no_settings.path());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const auto& [name, ms] : means) {
    std::printf(
        "console pane at a full buffer, %s: %.2f %% of the 100 ms period in window-thread time (%.3f ms), "
        "%.2f %% in wall time; target <= 5 %%\n",
        name.c_str(), 100.0 * ms.cpu / kPeriodMs, ms.cpu, 100.0 * ms.wall / kPeriodMs);
  }
  return 0;
}
