#include "ui/plot/live_plot_settings.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGuiApplication>
#include <QScreen>

#include "ui/plot/channel_legend.h"
#include "ui/plot/live_plot_window.h"
#include "ui/settings_values.h"

using veltrix::capture::kPlotChannelCount;
using veltrix::capture::PlotChannel;

namespace veltrix::ui::plot {

namespace {

const QString kGeometry = QStringLiteral("live_plot/geometry");
const QString kTimeWindow = QStringLiteral("live_plot/time_window_s");
const QString kShownChannels = QStringLiteral("live_plot/shown_channels");  // bit c: channel c
constexpr int kEveryChannel = (1 << kPlotChannelCount) - 1;
constexpr int kLongestTimeWindowS = 3600;

}  // namespace

void restore_live_plot_choices(LivePlotWindow& window) {
  if (!settings_in_use()) {
    return;
  }
  const QSettings settings;
  if (settings.status() != QSettings::NoError) {
    return;
  }
  if (const auto geometry = read_window_geometry(settings, kGeometry)) {
    // A size saved when a long status line had widened the window comes
    // back no larger than the screen.
    QRect fitted = *geometry;
    const QScreen* screen = QGuiApplication::screenAt(QPoint(geometry->center().x(), geometry->top() + 10));
    if (screen != nullptr || (screen = QGuiApplication::primaryScreen()) != nullptr) {
      fitted.setSize(fitted.size().boundedTo(screen->availableGeometry().size()));
    }
    window.setGeometry(fitted);
  }
  if (const auto seconds = read_int(settings, kTimeWindow, 1, kLongestTimeWindowS)) {
    // Only the time windows the window offers.
    if (QAbstractButton* button = window.spans_->button(*seconds * 1000)) {
      button->setChecked(true);
      window.set_span(*seconds * 1000);
    }
  }
  if (const auto shown = read_int(settings, kShownChannels, 0, kEveryChannel)) {
    for (int c = 0; c < kPlotChannelCount; ++c) {
      window.legend_->set_shown(static_cast<PlotChannel>(c), (*shown & (1 << c)) != 0);
    }
  }
}

void remember_live_plot_choices(const LivePlotWindow& window) {
  if (!settings_in_use()) {
    return;
  }
  QSettings settings;
  settings.setValue(kGeometry, window.geometry());
  if (const int span = window.spans_->checkedId(); span > 0) {
    settings.setValue(kTimeWindow, span / 1000);
  }
  int shown = 0;
  for (int c = 0; c < kPlotChannelCount; ++c) {
    if (window.legend_->shown(static_cast<PlotChannel>(c))) {
      shown |= 1 << c;
    }
  }
  settings.setValue(kShownChannels, shown);
}

}  // namespace veltrix::ui::plot
