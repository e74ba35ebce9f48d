#include "ui/status_label.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace veltrix::ui {

namespace {

constexpr int kDetailsWidth = 520;
constexpr int kMoreGap = 4;

QString with_line_breaks(QString text) {
  text.replace(QLatin1Char('\n'), QChar::LineSeparator);
  return text;
}

// Where each line of `text` wrapped at `width` starts, and its length.
std::vector<std::pair<int, int>> wrapped_lines(const QString& text, const QFont& font, int width) {
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  std::vector<std::pair<int, int>> lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    lines.emplace_back(line.textStart(), line.textLength());
  }
  layout.endLayout();
  return lines;
}

QString trimmed_line(const QString& text) {
  QString line = text;
  while (!line.isEmpty() && (line.back().isSpace() || line.back() == QChar::LineSeparator)) {
    line.chop(1);
  }
  return line;
}

}  // namespace

StatusLabel::StatusLabel(QString details_title, QWidget* parent)
    : QLabel(parent), details_title_(std::move(details_title)) {
  more_ = new QToolButton(this);
  more_->setObjectName(QStringLiteral("btnMore"));
  more_->setText(tr("more…"));
  more_->setAutoRaise(true);
  // A link in the line, not a button beside it.
  more_->setStyleSheet(
      QStringLiteral("QToolButton { color: palette(link); text-decoration: underline; border: none; padding: 0; }"));
  more_->setCursor(Qt::PointingHandCursor);
  more_->setToolTip(tr("Show the whole text: %1").arg(details_title_));
  more_->setAccessibleName(tr("Show the whole %1").arg(details_title_.toLower()));
  // Reached by the pointer: the window's tab order stays as designed.
  more_->setFocusPolicy(Qt::NoFocus);
  more_->hide();
  connect(more_, &QToolButton::clicked, this, &StatusLabel::show_details);
}

void StatusLabel::setText(const QString& text) {
  QLabel::setText(text);
  refit();
  if (details_text_ != nullptr) {
    details_text_->setText(text);
    details_->adjustSize();
  }
}

void StatusLabel::refit() {
  const QFontMetrics metrics(font());
  const QRect room = contentsRect();
  const int rows = std::max(1, room.height() / metrics.lineSpacing());
  const QString whole = with_line_breaks(text());
  auto lines = wrapped_lines(whole, font(), room.width());
  shown_.clear();
  cut_ = static_cast<int>(lines.size()) > rows;
  const int kept = std::min(rows, static_cast<int>(lines.size()));
  for (int i = 0; i < kept; ++i) {
    const auto [start, length] = lines[static_cast<std::size_t>(i)];
    shown_ << trimmed_line(whole.mid(start, length));
  }
  if (cut_) {
    // The last line shown takes the rest of the text, cut to leave room for the button.
    more_->setFont(font());
    more_->setFixedHeight(std::min(metrics.lineSpacing(), room.height()));
    more_->adjustSize();
    const int start = lines[static_cast<std::size_t>(kept - 1)].first;
    QString rest = whole.mid(start);
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    const int width = room.width() - more_->width() - kMoreGap;
    shown_.back() = metrics.elidedText(rest.simplified(), Qt::ElideRight, std::max(width, 0));
    if (!shown_.back().endsWith(QChar(0x2026))) {
      shown_.back() += QChar(0x2026);
    }
  }
  more_->setVisible(cut_);
  if (cut_) {
    const int top =
        room.top() + (alignment().testFlag(Qt::AlignVCenter) ? (room.height() - kept * metrics.lineSpacing()) / 2 : 0);
    more_->move(room.right() + 1 - more_->width(), top + (kept - 1) * metrics.lineSpacing());
  }
  update();
}

void StatusLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  refit();
}

void StatusLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    refit();
  }
}

void StatusLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  const QRect room = contentsRect();
  const int height = static_cast<int>(shown_.size()) * metrics.lineSpacing();
  int y = room.top() + (alignment().testFlag(Qt::AlignVCenter) ? (room.height() - height) / 2 : 0);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  for (const QString& line : shown_) {
    painter.drawText(QPoint(room.left(), y + metrics.ascent()), line);
    y += metrics.lineSpacing();
  }
}

void StatusLabel::show_details() {
  if (details_ == nullptr) {
    details_ = new QWidget(window(), Qt::Window);
    details_->setObjectName(QStringLiteral("statusDetails"));
    details_->setWindowTitle(details_title_);
    details_->setAttribute(Qt::WA_DeleteOnClose);
    details_text_ = new QLabel(details_);
    details_text_->setObjectName(QStringLiteral("lblWholeText"));
    details_text_->setWordWrap(true);
    details_text_->setTextFormat(Qt::PlainText);
    details_text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    details_text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    details_text_->setMinimumWidth(kDetailsWidth);
    auto* close = new QPushButton(tr("Close"), details_);
    connect(close, &QPushButton::clicked, details_, &QWidget::close);
    connect(details_, &QObject::destroyed, this, [this] { details_text_ = nullptr; });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(details_);
    column->addWidget(details_text_, 1);
    column->addLayout(buttons);
    details_text_->setText(text());
    details_->adjustSize();
  }
  details_->show();
  details_->raise();
  details_->activateWindow();
}

}  // namespace veltrix::ui
