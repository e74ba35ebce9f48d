#include "ui/settings_values.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

namespace veltrix::ui {

namespace {

// Of the window's top edge, this much must be on a screen to drag it.
constexpr int kGripWidth = 100;
constexpr int kGripHeight = 20;

}  // namespace

bool settings_in_use() { return !QCoreApplication::organizationName().isEmpty(); }

std::optional<bool> read_bool(const QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (value.typeId() == QMetaType::Bool) {
    return value.toBool();
  }
  if (value.typeId() != QMetaType::QString) {
    return std::nullopt;
  }
  const QString text = value.toString();
  if (text == QLatin1String("true") || text == QLatin1String("false")) {
    return text == QLatin1String("true");
  }
  return std::nullopt;
}

std::optional<int> read_int(const QSettings& settings, const QString& key, int lowest, int highest) {
  const QVariant value = settings.value(key);
  if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int) {
    return std::nullopt;
  }
  bool ok = false;
  const int number = value.typeId() == QMetaType::Int ? value.toInt(&ok) : value.toString().toInt(&ok, 10);
  if (!ok || number < lowest || number > highest) {
    return std::nullopt;
  }
  return number;
}

std::optional<QRect> read_window_geometry(const QSettings& settings, const QString& key) {
  const QVariant value = settings.value(key);
  if (value.typeId() != QMetaType::QRect) {
    return std::nullopt;
  }
  const QRect geometry = value.toRect();
  if (geometry.width() <= 0 || geometry.height() <= 0) {
    return std::nullopt;
  }
  const QRect top_edge(geometry.topLeft(), QSize(geometry.width(), kGripHeight));
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect grip = screen->availableGeometry().intersected(top_edge);
    if (grip.width() >= kGripWidth && grip.height() >= kGripHeight) {
      return geometry;
    }
  }
  return std::nullopt;
}

}  // namespace veltrix::ui
