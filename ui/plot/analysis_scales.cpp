#include "ui/plot/analysis_scales.h"

#include <QSettings>
#include <cmath>
#include <vector>

#include "devices/components.h"
#include "ui/settings_values.h"

using veltrix::analysis::ChannelScale;
using veltrix::analysis::ComponentScales;

namespace veltrix::ui::plot {

namespace {

// An array of entries: a model's name as a key would be escaped.
const QString kScales = QStringLiteral("analysis/scales");

struct ScaleEntry {
  QString model;
  int component = 0;
  ChannelScale scale;
};

bool known_component(int component) {
  return component == COMPONENT_GYRO || component == COMPONENT_ACCEL || component == COMPONENT_COMPASS ||
         component == COMPONENT_TEMP;
}

std::vector<ScaleEntry> read_entries(QSettings& settings) {
  std::vector<ScaleEntry> entries;
  const int count = settings.beginReadArray(kScales);
  for (int i = 0; i < count; ++i) {
    settings.setArrayIndex(i);
    const QVariant model = settings.value(QStringLiteral("model"));
    const std::optional<int> component = read_int(settings, QStringLiteral("component"), 1, COMPONENT_TEMP);
    bool number = false;
    const double counts = settings.value(QStringLiteral("counts_per_unit")).toString().toDouble(&number);
    const QString unit = settings.value(QStringLiteral("unit")).toString().trimmed();
    if (model.typeId() == QMetaType::QString && component && known_component(*component) && number &&
        std::isfinite(counts) && counts > 0 && !unit.isEmpty()) {
      entries.push_back({model.toString(), *component, {counts, unit.toStdString()}});
    }
  }
  settings.endArray();
  return entries;
}

}  // namespace

ComponentScales restore_analysis_scales(const QString& model) {
  ComponentScales scales;
  if (!settings_in_use()) {
    return scales;
  }
  QSettings settings;
  if (settings.status() != QSettings::NoError) {
    return scales;
  }
  for (const ScaleEntry& entry : read_entries(settings)) {
    if (entry.model == model) {
      scales.insert_or_assign(entry.component, entry.scale);
    }
  }
  return scales;
}

void remember_analysis_scales(const QString& model, const ComponentScales& scales) {
  if (!settings_in_use()) {
    return;
  }
  QSettings settings;
  std::vector<ScaleEntry> entries;
  for (ScaleEntry& entry : read_entries(settings)) {
    if (entry.model != model) {
      entries.push_back(std::move(entry));
    }
  }
  for (const auto& [component, scale] : scales) {
    entries.push_back({model, component, scale});
  }
  settings.remove(kScales);
  settings.beginWriteArray(kScales, static_cast<int>(entries.size()));
  for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
    const ScaleEntry& entry = entries[static_cast<std::size_t>(i)];
    settings.setArrayIndex(i);
    settings.setValue(QStringLiteral("model"), entry.model);
    settings.setValue(QStringLiteral("component"), entry.component);
    settings.setValue(QStringLiteral("counts_per_unit"), QString::number(entry.scale.counts_per_unit, 'g', 17));
    settings.setValue(QStringLiteral("unit"), QString::fromStdString(entry.scale.unit));
  }
  settings.endArray();
}

}  // namespace veltrix::ui::plot
