#pragma once
// A label in a fixed place that may be given more text than its place holds
// (a capture report with its end, gaps and notes; a reconnect's restored
// registers). It shows the lines that fit; when some do not, the last one
// shown ends in "…" and a small "more…" button at its right opens a window
// with the whole text, which follows the text while it is open. text(), the
// tooltip and the accessible text stay the whole text. A "\n" in the text
// starts a new line.
//
// Thread contract: a widget; window thread only.

#include <QLabel>
#include <QPointer>
#include <QStringList>

class QToolButton;

namespace veltrix::ui {

class StatusLabel : public QLabel {
 public:
  // `details_title` names the window with the whole text, e.g. "Capture report".
  StatusLabel(QString details_title, QWidget* parent);

  // Hides QLabel::setText, so every text given through a StatusLabel is fitted.
  void setText(const QString& text);

  // What is drawn: the lines that fit, the last one ending in "…" when cut.
  const QStringList& shown_lines() const { return shown_; }
  bool cut() const { return cut_; }
  QToolButton* more_button() const { return more_; }
  // The window with the whole text; null until "more…" first opens it.
  QWidget* details() const { return details_; }
  void show_details();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void refit();

  QString details_title_;
  QStringList shown_;
  bool cut_ = false;
  QToolButton* more_ = nullptr;
  QPointer<QWidget> details_;
  QLabel* details_text_ = nullptr;
};

}  // namespace veltrix::ui
