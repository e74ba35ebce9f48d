#include "ui/plot/analysis_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <memory>
#include <nlohmann/json.hpp>

#include "analysis/log_notes.h"
#include "analysis/log_rate.h"
#include "devices/components.h"
#include "ui/plot/analysis_scales.h"
#include "ui/plot/log_log_plot.h"
#include "ui/plot/plot_style.h"
#include "ui/plot/text_tool_button.h"

using veltrix::analysis::ChannelReport;
using veltrix::analysis::ChannelScale;
using veltrix::analysis::ComponentScales;
using veltrix::analysis::LogAnalysis;
using veltrix::analysis::LogChannels;
using veltrix::analysis::Progress;

namespace veltrix::ui::plot {

namespace {

constexpr int kProgressPeriodMs = 50;

// The live plot draws each component in a chart of its own, so its axes share
// three colours; here every channel of a log shares the axes: ten colours,
// the gyroscope's those of the live plot.
QColor report_color(const ChannelReport& channel) {
  static const std::array<QColor, veltrix::capture::kPlotChannelCount> kColors{
      QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0x9a, 0x2c), QColor(0x1f, 0x6f, 0xc4),  // gyroscope
      QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x17, 0xbe, 0xcf),  // accelerometer
      QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0xbc, 0xbd, 0x22),  // compass
      QColor(0x55, 0x55, 0x55),                                                      // temperature
  };
  for (int c = 0; c < veltrix::capture::kPlotChannelCount; ++c) {
    const auto plot_channel = static_cast<veltrix::capture::PlotChannel>(c);
    if (channel_name(plot_channel) == QString::fromStdString(channel.name)) {
      return kColors[static_cast<std::size_t>(c)];
    }
  }
  return Qt::darkGray;
}

// The curve's colour beside a box whose text stays in the window's.
QIcon swatch(const QColor& color) {
  QPixmap line(16, 10);
  line.fill(Qt::transparent);
  QPainter painter(&line);
  painter.fillRect(QRect(0, 3, 16, 4), color);
  return QIcon(line);
}

QString figure(double value) { return QString::number(value, 'g', 6); }
QString figure(const std::optional<double>& value) { return value ? figure(*value) : QStringLiteral("–"); }

struct ScaledComponent {
  int component;
  const char* label;
  const char* key;  // of the fields' object names
};

constexpr ScaledComponent kScaledComponents[] = {
    {COMPONENT_GYRO, "Gyroscope", "Gyro"},
    {COMPONENT_ACCEL, "Accelerometer", "Accel"},
    {COMPONENT_COMPASS, "Compass", "Compass"},
    {COMPONENT_TEMP, "Temperature", "Temp"},
};

// Each unit the figures are in, "counts" for the channels without a scale.
QStringList units(const LogAnalysis& analysis) {
  QStringList found;
  for (const ChannelReport& channel : analysis.channels) {
    const QString unit = channel.scale ? QString::fromStdString(channel.scale->unit) : QStringLiteral("counts");
    if (!found.contains(unit)) {
      found << unit;
    }
  }
  return found.isEmpty() ? QStringList{QStringLiteral("counts")} : found;
}

QString density_unit(const QString& unit) {
  return unit == QLatin1String("counts") ? QStringLiteral("counts²/Hz") : QStringLiteral("(%1)²/Hz").arg(unit);
}

AnalysisOutcome analyze(const LogChannels& log, double rate_hz, const Progress& progress) {
  if (!veltrix::analysis::long_enough_for_analysis(log)) {
    return {std::nullopt, AnalysisWindow::tr("The samples are too few for an analysis."), {}};
  }
  return {veltrix::analysis::analyze_log(log, rate_hz, {}, progress), {}, {}};
}

constexpr int kSuggestedRateHz = 1000;  // where the log implies none

enum Column {
  kChannelColumn,
  kSamplesColumn,
  kMeanColumn,
  kStdColumn,
  kMinColumn,
  kMaxColumn,
  kPeakToPeakColumn,
  kWhiteNoiseColumn,
  kBiasColumn,
  kBiasTauColumn,
  kRateRandomWalkColumn,
  kNoiseDensityColumn,
  kColumns
};

}  // namespace

AnalysisWindow::AnalysisWindow(PlotPrompts prompts, QWidget* parent)
    : QWidget(parent, Qt::Window), prompts_(std::move(prompts)) {
  setObjectName(QStringLiteral("analysisWindow"));
  setWindowTitle(tr("Analysis"));
  build();
  resize(1040, 760);
  progress_timer_.setInterval(kProgressPeriodMs);
  connect(&progress_timer_, &QTimer::timeout, this, [this] { progress_->setValue(permille_.load()); });
  set_running(false);
}

AnalysisWindow::~AnalysisWindow() { stop_worker(); }

void AnalysisWindow::build() {
  auto* top = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lblAnalysisStatus"));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  save_button_ = text_tool_button(tr("Save image…"), QStringLiteral("btnSaveAnalysisImage"), this);
  connect(save_button_, &QToolButton::clicked, this, &AnalysisWindow::prompt_save_image);
  export_button_ = text_tool_button(tr("Export…"), QStringLiteral("btnExportAnalysis"), this);
  connect(export_button_, &QToolButton::clicked, this, &AnalysisWindow::prompt_export);
  status_->setWordWrap(true);
  top->addWidget(status_, 1);
  top->addWidget(save_button_);
  top->addWidget(export_button_);

  channel_boxes_ = new QWidget(this);
  auto* boxes = new QHBoxLayout(channel_boxes_);
  boxes->setContentsMargins(0, 0, 0, 0);
  boxes->addStretch(1);

  auto* plots = new QSplitter(Qt::Horizontal, this);
  adev_ = new LogLogPlot(tr("Allan deviation"), tr("τ (s)"), tr("σ (counts)"), plots);
  adev_->setObjectName(QStringLiteral("plotAdev"));
  psd_ = new LogLogPlot(tr("Power spectral density"), tr("Frequency (Hz)"), tr("counts²/Hz"), plots);
  psd_->setObjectName(QStringLiteral("plotPsd"));
  plots->addWidget(adev_);
  plots->addWidget(psd_);

  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName(QStringLiteral("tableAnalysis"));
  table_->setHorizontalHeaderLabels({tr("Channel"), tr("Samples"), tr("Mean"), tr("Std"), tr("Min"), tr("Max"),
                                     tr("P-p"), tr("White noise\n(/√Hz)"), tr("Bias\ninstability"), tr("at τ (s)"),
                                     tr("Rate random\nwalk (/√s)"), tr("Noise density\n(/√Hz)")});
  table_->horizontalHeaderItem(kBiasTauColumn)->setToolTip(tr("The τ of the Allan deviation's minimum"));
  table_->horizontalHeaderItem(kRateRandomWalkColumn)
      ->setToolTip(tr("The +1/2 slope of the Allan deviation read at τ = 3 s; – where the curve shows none"));
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // "(upper bound)" beside its figure needs more than a share of the width.
  table_->horizontalHeader()->setSectionResizeMode(kBiasColumn, QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setMinimumSectionSize(60);

  auto* bottom = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressAnalysis"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(240);
  progress_->setTextVisible(false);
  cancel_button_ = text_tool_button(tr("Cancel"), QStringLiteral("btnCancelAnalysis"), this);
  connect(cancel_button_, &QToolButton::clicked, this, &AnalysisWindow::cancel);
  bottom->addStretch(1);
  bottom->addWidget(progress_);
  bottom->addWidget(cancel_button_);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 6);
  column->addLayout(top);
  column->addWidget(channel_boxes_);
  column->addWidget(build_scale_fields());
  column->addWidget(plots, 1);
  column->addWidget(table_);
  column->addLayout(bottom);
}

QWidget* AnalysisWindow::build_scale_fields() {
  auto* fields = new QWidget(this);
  auto* row = new QHBoxLayout(fields);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(tr("Units (counts per unit, unit):"), fields));
  for (const ScaledComponent& scaled : kScaledComponents) {
    row->addSpacing(8);
    row->addWidget(new QLabel(tr(scaled.label), fields));
    auto* counts = new QLineEdit(fields);
    counts->setObjectName(QStringLiteral("editScaleCounts%1").arg(QLatin1String(scaled.key)));
    counts->setPlaceholderText(tr("counts"));
    counts->setMaximumWidth(80);
    auto* unit = new QLineEdit(fields);
    unit->setObjectName(QStringLiteral("editScaleUnit%1").arg(QLatin1String(scaled.key)));
    unit->setPlaceholderText(tr("unit"));
    unit->setMaximumWidth(70);
    connect(counts, &QLineEdit::editingFinished, this, &AnalysisWindow::scale_edited);
    connect(unit, &QLineEdit::editingFinished, this, &AnalysisWindow::scale_edited);
    row->addWidget(counts);
    row->addWidget(unit);
    scale_fields_.push_back({scaled.component, counts, unit});
  }
  row->addStretch(1);
  return fields;
}

void AnalysisWindow::use_model_scales(const QString& model) {
  model_ = model;
  scales_ = restore_analysis_scales(model);
  for (const ScaleFields& fields : scale_fields_) {
    const auto scale = scales_.find(fields.component);
    fields.counts->setText(scale != scales_.end() ? QString::number(scale->second.counts_per_unit, 'g', 12)
                                                  : QString());
    fields.unit->setText(scale != scales_.end() ? QString::fromStdString(scale->second.unit) : QString());
    fields.counts->setToolTip({});
  }
}

void AnalysisWindow::scale_edited() {
  ComponentScales scales;
  for (const ScaleFields& fields : scale_fields_) {
    const QString counts_text = fields.counts->text().trimmed();
    const QString unit = fields.unit->text().trimmed();
    bool number = false;
    const double counts = counts_text.toDouble(&number);
    if (number && std::isfinite(counts) && counts > 0 && !unit.isEmpty()) {
      scales.emplace(fields.component, ChannelScale{counts, unit.toStdString()});
      fields.counts->setToolTip({});
    } else {
      // Half a scale, or no number, is no scale: the figures stay in counts.
      fields.counts->setToolTip(counts_text.isEmpty() && unit.isEmpty()
                                    ? QString()
                                    : tr("Not used: a scale needs a number of counts per unit above 0 and a unit."));
    }
  }
  scales_ = std::move(scales);
  remember_analysis_scales(model_, scales_);
  if (!running()) {
    show_scaled();
  }
}

void AnalysisWindow::show_scaled() {
  std::vector<bool> visible;
  for (const LogLogCurve& curve : adev_->curves()) {
    visible.push_back(curve.visible);
  }
  shown_ = counts_ ? std::optional(veltrix::analysis::with_scales(*counts_, scales_)) : std::nullopt;
  show_analysis();
  if (!shown_) {
    return;
  }
  if (visible.size() == shown_->channels.size()) {
    for (std::size_t i = 0; i < visible.size(); ++i) {
      if (!visible[i]) {
        channel_boxes_->findChild<QCheckBox*>(QStringLiteral("chkAnalysisChannel%1").arg(i))->setChecked(false);
      }
    }
  }
  const QStringList in = units(*shown_);
  QStringList densities;
  for (const QString& unit : in) {
    densities << density_unit(unit);
  }
  adev_->set_y_label(tr("σ (%1)").arg(in.join(QStringLiteral(", "))));
  psd_->set_y_label(densities.join(QStringLiteral(", ")));
  QString status = tr("%1: %2 samples a channel in %3 gap-free segments; figures in %4")
                       .arg(title_)
                       .arg(shown_->channels.empty() ? 0 : shown_->channels.front().analysis.statistics.samples)
                       .arg(shown_->segments)
                       .arg(in.join(tr(" and ")));
  for (const QString& note : notes_) {
    status += QLatin1Char('\n') + note;
  }
  status_->setText(status);
}

bool AnalysisWindow::analyze_log_file(const QString& path) {
  const std::string file = QFile::encodeName(path).toStdString();
  veltrix::analysis::LogRate rate = veltrix::analysis::resolve_log_rate(file, std::nullopt);
  if (rate.status == veltrix::analysis::LogRateStatus::kUnknown) {
    const QString name = QFileInfo(path).fileName();
    const std::optional<double> implied = veltrix::analysis::implied_log_rate(file);
    const QString question =
        implied ? tr("%1 has no sidecar to give its sample rate; its lines imply %2 Hz.\nThe rate it was captured "
                     "at (Hz):")
                      .arg(name)
                      .arg(*implied)
                : tr("%1 has no sidecar to give its sample rate.\nThe rate it was captured at (Hz):").arg(name);
    const int suggested = implied ? static_cast<int>(std::lround(*implied)) : kSuggestedRateHz;
    const std::optional<int> given =
        prompts_.sample_rate ? prompts_.sample_rate(this, tr("Analyze"), question, suggested) : std::nullopt;
    if (!given) {
      return false;  // the operator chose not to
    }
    rate = veltrix::analysis::resolve_log_rate(file, static_cast<double>(*given));
  }
  if (rate.status != veltrix::analysis::LogRateStatus::kKnown) {
    prompts_.error(this, tr("Analyze"),
                   tr("%1 cannot be analysed: %2").arg(QFileInfo(path).fileName(), QString::fromStdString(rate.error)));
    return false;
  }
  const double rate_hz = rate.rate_hz;
  use_model_scales(QString::fromStdString(rate.model));
  start(tr("%1 at %2 Hz").arg(QFileInfo(path).fileName()).arg(rate_hz), [file, rate](const Progress& progress) {
    veltrix::analysis::LogReading reading =
        veltrix::analysis::read_log_channels(file, rate.rate_hz, progress.slice(0, 0.2));
    switch (reading.status) {
      case veltrix::analysis::LogReadStatus::kRead: {
        AnalysisOutcome outcome = analyze(reading.log, rate.rate_hz, progress.slice(0.2, 1));
        for (const std::string& note : veltrix::analysis::log_notes(reading.log, rate)) {
          outcome.notes << QString::fromStdString(note);
        }
        return outcome;
      }
      case veltrix::analysis::LogReadStatus::kCancelled:
        return AnalysisOutcome{};
      default:
        return AnalysisOutcome{std::nullopt, QString::fromStdString(reading.error), {}};
    }
  });
  return true;
}

void AnalysisWindow::analyze_channels(LogChannels log, double rate_hz, const QString& title, const QString& model) {
  use_model_scales(model);
  start(title, [log = std::move(log), rate_hz](const Progress& progress) { return analyze(log, rate_hz, progress); });
}

void AnalysisWindow::start(const QString& title, Job job) {
  stop_worker();
  cancel_ = false;
  permille_ = 0;
  finished_ = false;
  const int generation = ++generation_;
  title_ = title;
  notes_.clear();
  counts_.reset();
  shown_.reset();
  show_analysis();
  status_->setText(tr("%1: analysing…").arg(title_));
  set_running(true);
  worker_ = std::thread([this, generation, job = std::move(job)] {
    const Progress progress{[this](double fraction) { permille_ = static_cast<int>(fraction * 1000); }, &cancel_};
    auto outcome = std::make_shared<AnalysisOutcome>(job(progress));
    QMetaObject::invokeMethod(
        this, [this, generation, outcome] { finished(generation, std::move(*outcome)); }, Qt::QueuedConnection);
  });
}

void AnalysisWindow::cancel() { cancel_ = true; }

void AnalysisWindow::stop_worker() {
  if (worker_.joinable()) {
    cancel_ = true;
    worker_.join();
  }
}

void AnalysisWindow::finished(int generation, AnalysisOutcome outcome) {
  if (generation != generation_) {
    return;
  }
  if (worker_.joinable()) {
    worker_.join();  // it has nothing left to do but return
  }
  finished_ = true;
  notes_ = std::move(outcome.notes);
  counts_ = std::move(outcome.analysis);
  show_scaled();
  set_running(false);
  if (counts_) {
    return;
  }
  if (!outcome.error.isEmpty()) {
    status_->setText(tr("%1: %2").arg(title_, outcome.error));
  } else {
    status_->setText(tr("%1: analysis cancelled").arg(title_));
  }
}

void AnalysisWindow::set_running(bool running) {
  progress_->setVisible(running);
  cancel_button_->setVisible(running);
  progress_->setValue(0);
  if (running) {
    progress_timer_.start();
  } else {
    progress_timer_.stop();
  }
  save_button_->setEnabled(!running);
  export_button_->setEnabled(!running && shown_.has_value());
}

void AnalysisWindow::show_analysis() {
  for (QCheckBox* box : channel_boxes_->findChildren<QCheckBox*>()) {
    delete box;
  }
  table_->setRowCount(0);
  std::vector<LogLogCurve> adev;
  std::vector<LogLogCurve> psd;
  if (shown_) {
    table_->setRowCount(static_cast<int>(shown_->channels.size()));
    auto* boxes = static_cast<QHBoxLayout*>(channel_boxes_->layout());
    for (std::size_t i = 0; i < shown_->channels.size(); ++i) {
      const ChannelReport& channel = shown_->channels[i];
      const veltrix::analysis::ChannelAnalysis& a = channel.analysis;
      const QString name = QString::fromStdString(channel.name);
      const QColor color = report_color(channel);
      const QString row_name =
          channel.scale ? tr("%1 (%2)").arg(name, QString::fromStdString(channel.scale->unit)) : name;
      LogLogCurve adev_curve{name, color, {}, true};
      for (const auto& point : a.adev) {
        adev_curve.points.emplace_back(point.tau_s, point.adev);
      }
      adev.push_back(std::move(adev_curve));
      LogLogCurve psd_curve{name, color, {}, true};
      for (std::size_t bin = 1; bin < a.psd.density.size(); ++bin) {
        psd_curve.points.emplace_back(static_cast<double>(bin) * a.psd.resolution_hz, a.psd.density[bin]);
      }
      psd.push_back(std::move(psd_curve));

      auto* box = new QCheckBox(name, channel_boxes_);
      box->setObjectName(QStringLiteral("chkAnalysisChannel%1").arg(i));
      box->setChecked(true);
      box->setIcon(swatch(color));
      connect(box, &QCheckBox::toggled, this, [this, i](bool visible) {
        adev_->set_curve_visible(i, visible);
        psd_->set_curve_visible(i, visible);
      });
      boxes->insertWidget(static_cast<int>(i), box);

      const veltrix::analysis::ChannelStatistics& s = a.statistics;
      QString bias = figure(std::optional<double>{});
      QString bias_tau = bias;
      if (const auto& b = a.coefficients.bias_instability) {
        bias = b->upper_bound ? tr("%1 (upper bound)").arg(figure(b->value)) : figure(b->value);
        bias_tau = figure(b->tau_s);
      }
      const QString cells[kColumns] = {row_name,
                                       QString::number(s.samples),
                                       figure(s.mean),
                                       figure(s.std),
                                       figure(s.min),
                                       figure(s.max),
                                       figure(s.peak_to_peak()),
                                       figure(a.coefficients.white_noise),
                                       bias,
                                       bias_tau,
                                       figure(a.coefficients.rate_random_walk),
                                       figure(a.noise_density)};
      for (int column = 0; column < kColumns; ++column) {
        auto* item = new QTableWidgetItem(cells[column]);
        if (column > kChannelColumn) {
          item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (column == kBiasColumn && a.coefficients.bias_instability && a.coefficients.bias_instability->upper_bound) {
          item->setToolTip(tr("The curve still falls at its longest τ: the log is too short to show the minimum"));
        }
        table_->setItem(static_cast<int>(i), column, item);
      }
    }
  }
  adev_->set_curves(std::move(adev));
  psd_->set_curves(std::move(psd));
  // As tall as its rows, so the plots get the rest.
  const int rows = std::max(table_->rowCount(), 1);
  table_->setFixedHeight(std::min(table_->horizontalHeader()->sizeHint().height() +
                                      rows * table_->verticalHeader()->defaultSectionSize() + 2 * table_->frameWidth(),
                                  320));
}

bool AnalysisWindow::save_image(const QString& path) {
  if (grab().save(path, "PNG")) {
    return true;
  }
  prompts_.error(this, tr("Save image"), tr("The image could not be written to %1.").arg(path));
  return false;
}

bool AnalysisWindow::export_to(const QString& path) {
  if (!shown_) {
    return false;
  }
  const QString suffix = QFileInfo(path).suffix();
  const bool json = suffix.compare(QStringLiteral("json"), Qt::CaseInsensitive) == 0;
  if (!json && suffix.compare(QStringLiteral("csv"), Qt::CaseInsensitive) != 0) {
    prompts_.error(this, tr("Export"),
                   tr("%1 was not written: Export writes JSON to a .json file or the Allan deviation table to a "
                      ".csv file.")
                       .arg(path));
    return false;
  }
  std::string text;
  if (json) {
    text = veltrix::analysis::analysis_json(*shown_).dump(2, ' ', false,
                                                          nlohmann::ordered_json::error_handler_t::replace) +
           "\n";
  } else {
    text = "channel,tau_s,adev,differences\n";
    char row[128];
    for (const ChannelReport& channel : shown_->channels) {
      for (const auto& point : channel.analysis.adev) {
        std::snprintf(row, sizeof row, ",%.9g,%.9g,%llu\n", point.tau_s, point.adev,
                      static_cast<unsigned long long>(point.differences));
        text += channel.name + row;
      }
    }
  }
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) &&
      file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) && file.commit()) {
    return true;
  }
  prompts_.error(this, tr("Export"), tr("The analysis could not be written to %1: %2").arg(path, file.errorString()));
  return false;
}

void AnalysisWindow::prompt_save_image() {
  const QString path = prompts_.png_file_name(this, QStringLiteral("analysis.png"));
  if (!path.isEmpty()) {
    save_image(path);
  }
}

void AnalysisWindow::prompt_export() {
  QString path = prompts_.save_file_name(this, tr("Export analysis"), QStringLiteral("analysis.json"),
                                         tr("JSON (*.json);;Allan deviation table (*.csv)"));
  if (path.isEmpty()) {
    return;
  }
  if (QFileInfo(path).suffix().isEmpty()) {
    path += QStringLiteral(".json");
  }
  export_to(path);
}

void AnalysisWindow::closeEvent(QCloseEvent* event) {
  stop_worker();
  if (!finished_) {
    finished_ = true;
    set_running(false);
    status_->setText(tr("%1: analysis cancelled").arg(title_));
  }
  QWidget::closeEvent(event);
}

}  // namespace veltrix::ui::plot
