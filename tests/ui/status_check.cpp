#include "tests/ui/status_check.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include "ui/status_label.h"

namespace veltrix::ui::test {

QString whole_text_problem(StatusLabel& line) {
  const QFontMetrics metrics(line.font());
  const QRect room = line.contentsRect();
  if (line.shown_lines().size() * metrics.lineSpacing() > room.height()) {
    return QStringLiteral("%1 lines shown in %2 px").arg(line.shown_lines().size()).arg(room.height());
  }
  for (const QString& shown : line.shown_lines()) {
    if (metrics.horizontalAdvance(shown) > room.width()) {
      return QStringLiteral("wider than its place: ") + shown;
    }
  }
  QString shown = line.shown_lines().join(QLatin1Char(' '));
  const QString whole = line.text().simplified();
  if (!line.cut()) {
    return shown.simplified() == whole ? QString() : QStringLiteral("shows \"%1\" of \"%2\"").arg(shown, whole);
  }
  if (!shown.endsWith(QChar(0x2026))) {
    return QStringLiteral("cut without a mark: ") + shown;
  }
  shown.chop(1);
  if (!whole.startsWith(shown.simplified())) {
    return QStringLiteral("shows \"%1\", not the start of \"%2\"").arg(shown, whole);
  }
  QToolButton* more = line.more_button();
  if (!more->isVisible() || !line.rect().contains(more->geometry())) {
    return QStringLiteral("no \"more…\" in its place");
  }
  QTest::mouseClick(more, Qt::LeftButton);
  QWidget* details = line.details();
  auto* text = details != nullptr ? details->findChild<QLabel*>(QStringLiteral("lblWholeText")) : nullptr;
  if (text == nullptr || !details->isVisible()) {
    return QStringLiteral("\"more…\" opens no window");
  }
  if (text->text() != line.text()) {
    return QStringLiteral("the window shows \"%1\"").arg(text->text());
  }
  if (text->height() < text->heightForWidth(text->width())) {
    return QStringLiteral("the window is too small for the whole text");
  }
  return {};
}

}  // namespace veltrix::ui::test
