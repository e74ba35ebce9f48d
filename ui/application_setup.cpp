#include "ui/application_setup.h"

#include <QApplication>
#include <QSettings>
#include <QStyleFactory>

namespace veltrix::ui {

namespace {

QFont font_of(const char* family, double points, QFont::StyleHint hint = QFont::SansSerif) {
  QFont font(QString::fromLatin1(family));
  font.setPointSizeF(points);
  font.setStyleHint(hint);
  return font;
}

}  // namespace

void prepare_application(QApplication& app) {
  // Names the settings file: ~/.config/Veltrix/veltrix-logger.ini.
  QCoreApplication::setOrganizationName(QStringLiteral("Veltrix"));
  QCoreApplication::setApplicationName(QStringLiteral("veltrix-logger"));
  QSettings::setDefaultFormat(QSettings::IniFormat);
  // One style on every desktop, so the pixel layout looks the same everywhere.
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
    QApplication::setStyle(fusion);
  }
  // The layout was measured with an 8.25-point sans serif of a 6 x 13 cell;
  // Liberation Sans has the same metrics as the font it was measured with.
  app.setFont(font_of("Liberation Sans", 8.25));
}

// Carlito is metric-compatible with the font the titles were drawn in.
QFont section_title_font() { return font_of("Carlito", 12); }
QFont column_header_font() { return font_of("Carlito", 9); }
// Narrower than the window's font at its size, so more of a capture report
// fits in the two lines beside the console title.
QFont report_font() { return font_of("Carlito", 8.25); }
// Same advance (0.6 em) as the fixed-pitch font the header offsets assume.
QFont pane_font() { return font_of("DejaVu Sans Mono", 12, QFont::Monospace); }
QFont wait_label_font() { return font_of("Liberation Sans", 14.25); }
QFont table_font() { return font_of("DejaVu Sans Mono", 9, QFont::Monospace); }

}  // namespace veltrix::ui
