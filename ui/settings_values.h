#pragma once
// Values read back from the program's settings (QSettings: an ini file under
// ~/.config, named by the organisation and application names the program
// sets in prepare_application). A value that is missing, of the wrong type or
// out of range reads as nullopt, so the caller keeps its first-run value.
//
// Thread contract: window thread only.

#include <QRect>
#include <QSettings>
#include <QString>
#include <optional>

namespace veltrix::ui {

// False in a program that did not name itself: it keeps no settings.
bool settings_in_use();

// Only "true" or "false".
std::optional<bool> read_bool(const QSettings& settings, const QString& key);
// A whole decimal number from lowest to highest.
std::optional<int> read_int(const QSettings& settings, const QString& key, int lowest, int highest);
// A window's geometry, when enough of its top edge lies on one of the
// screens for the operator to take hold of it.
std::optional<QRect> read_window_geometry(const QSettings& settings, const QString& key);

}  // namespace veltrix::ui
