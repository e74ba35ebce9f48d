#include "ui/window_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <cstdio>

#include "devices/ikor.h"
#include "devices/model_catalogue.h"
#include "ui/settings_values.h"

namespace veltrix::ui {

namespace {

void warn(const QSettings& settings, const char* why) {
  std::fprintf(stderr, "%s: ignoring the settings file %s: %s\n", qPrintable(QCoreApplication::applicationName()),
               qPrintable(settings.fileName()), why);
}

// Each value left out keeps its first-run value; the others stay as read.
std::optional<LoggingChoices> read_logging(const QSettings& settings) {
  if (!settings.childGroups().contains(QStringLiteral("logging"))) {
    return std::nullopt;
  }
  LoggingChoices logging;
  logging.console_display =
      read_bool(settings, QStringLiteral("logging/console_display")).value_or(logging.console_display);
  logging.fast_capture = read_bool(settings, QStringLiteral("logging/fast_capture")).value_or(logging.fast_capture);
  // Absent from the files of earlier versions, which stay good.
  logging.continue_after_reconnect = read_bool(settings, QStringLiteral("logging/continue_after_reconnect"))
                                         .value_or(logging.continue_after_reconnect);
  const QVariant folder = settings.value(QStringLiteral("logging/folder"));
  // A folder that is gone takes file logging with it: the capture would
  // fail to create its log.
  if (folder.typeId() == QMetaType::QString && !folder.toString().isEmpty() && QDir(folder.toString()).exists()) {
    logging.folder = folder.toString();
    logging.file_log = read_bool(settings, QStringLiteral("logging/file_log")).value_or(logging.file_log);
  }
  return logging;
}

// An array of (model, chosen) pairs: a model's name as a key would be escaped.
std::map<QString, int> read_components(QSettings& settings) {
  std::map<QString, int> components;
  const int models = settings.beginReadArray(QStringLiteral("components"));
  for (int i = 0; i < models; ++i) {
    settings.setArrayIndex(i);
    const QString model = settings.value(QStringLiteral("model")).toString();
    const auto bits = read_int(settings, QStringLiteral("chosen"), 0, veltrix::devices::kAllComponents);
    if (bits && find_model(model.toStdString()) != nullptr) {
      components[model] = *bits;
    }
  }
  settings.endArray();
  return components;
}

}  // namespace

WindowChoices load_window_choices() {
  WindowChoices choices;
  if (!settings_in_use()) {
    return choices;
  }
  QSettings settings;
  switch (settings.status()) {
    case QSettings::NoError:
      break;
    case QSettings::FormatError:
      warn(settings, "it is damaged");
      return choices;
    case QSettings::AccessError:
      warn(settings, "it cannot be read");
      return choices;
  }
  choices.logging = read_logging(settings);
  const QString model = settings.value(QStringLiteral("device/last_model")).toString();
  if (find_model(model.toStdString()) != nullptr) {
    choices.last_model = model;
  }
  choices.components = read_components(settings);
  choices.geometry = read_window_geometry(settings, QStringLiteral("window/geometry"));
  choices.maximized = choices.geometry && read_bool(settings, QStringLiteral("window/maximized")).value_or(false);
  return choices;
}

void save_window_choices(const WindowChoices& choices) {
  if (!settings_in_use()) {
    return;
  }
  QSettings settings;
  if (choices.logging) {
    settings.setValue(QStringLiteral("logging/folder"), choices.logging->folder);
    settings.setValue(QStringLiteral("logging/file_log"), choices.logging->file_log);
    settings.setValue(QStringLiteral("logging/console_display"), choices.logging->console_display);
    settings.setValue(QStringLiteral("logging/fast_capture"), choices.logging->fast_capture);
    settings.setValue(QStringLiteral("logging/continue_after_reconnect"), choices.logging->continue_after_reconnect);
  }
  settings.setValue(QStringLiteral("device/last_model"), choices.last_model);
  settings.remove(QStringLiteral("components"));
  settings.beginWriteArray(QStringLiteral("components"), static_cast<int>(choices.components.size()));
  int i = 0;
  for (const auto& [model, bits] : choices.components) {
    settings.setArrayIndex(i++);
    settings.setValue(QStringLiteral("model"), model);
    settings.setValue(QStringLiteral("chosen"), bits);
  }
  settings.endArray();
  if (choices.geometry) {
    settings.setValue(QStringLiteral("window/geometry"), *choices.geometry);
    settings.setValue(QStringLiteral("window/maximized"), choices.maximized);
  }
  settings.sync();
  if (settings.status() == QSettings::AccessError) {
    std::fprintf(stderr, "%s: the settings could not be written to %s\n",
                 qPrintable(QCoreApplication::applicationName()), qPrintable(settings.fileName()));
  }
}

}  // namespace veltrix::ui
