#pragma once
// What the plot calls each component and channel, and the colours it draws
// them in; shared by the charts and the legend.
//
// Thread contract: constants; any thread.

#include <QColor>
#include <QString>
#include <array>

#include "capture/data_log_format.h"
#include "capture/sample_queue.h"
#include "devices/ikor.h"

namespace veltrix::ui::plot {

struct PlotComponent {
  int component;  // COMPONENT_*
  const char* title;
  veltrix::capture::PlotChannel first;
  int channels;
};

inline constexpr std::array<PlotComponent, 4> kPlotComponents{{
    {COMPONENT_GYRO, "Gyroscope", veltrix::capture::PlotChannel::kGyroX, 3},
    {COMPONENT_ACCEL, "Accelerometer", veltrix::capture::PlotChannel::kAccelX, 3},
    {COMPONENT_COMPASS, "Compass", veltrix::capture::PlotChannel::kCompX, 3},
    {COMPONENT_TEMP, "Temperature", veltrix::capture::PlotChannel::kTemp, 1},
}};

inline veltrix::capture::PlotChannel plot_channel(const PlotComponent& component, int axis) {
  return static_cast<veltrix::capture::PlotChannel>(static_cast<int>(component.first) + axis);
}

// "X", "Y", "Z", or "Temp" for the single temperature channel.
inline QString axis_name(const PlotComponent& component, int axis) {
  return component.channels == 1 ? QStringLiteral("Temp") : QString(QChar(u'X' + axis));
}

// The channel's column label in a data log, e.g. "Gyro_X".
inline QString channel_name(veltrix::capture::PlotChannel channel) {
  const auto c = static_cast<std::size_t>(channel);
  const std::string_view label = veltrix::capture::kDataLogGroups[c / 3].labels[c % 3];
  return QString::fromLatin1(label.data(), static_cast<qsizetype>(label.size()));
}

inline QColor channel_color(veltrix::capture::PlotChannel channel) {
  if (channel == veltrix::capture::PlotChannel::kTemp) {
    return QColor(0xd9, 0x6b, 0x00);
  }
  static const std::array<QColor, 3> kAxes{QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0x9a, 0x2c),
                                           QColor(0x1f, 0x6f, 0xc4)};
  return kAxes[static_cast<std::size_t>(static_cast<int>(channel) % 3)];
}

}  // namespace veltrix::ui::plot
