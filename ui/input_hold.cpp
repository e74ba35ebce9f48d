#include "ui/input_hold.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace veltrix::ui {

namespace {

bool is_operator_input(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

class InputHold final : public QObject {
 public:
  explicit InputHold(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~InputHold() override { qApp->removeEventFilter(this); }

  bool close_requested() const { return close_requested_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) {
      return false;
    }
    if (event->type() == QEvent::Close && widget == window_) {
      close_requested_ = true;
      event->ignore();
      return true;
    }
    return is_operator_input(event->type());
  }

 private:
  QWidget* window_;
  bool close_requested_ = false;
};

}  // namespace

void pause_with_input_held(QWidget* window, std::chrono::milliseconds duration) {
  bool close_requested = false;
  {
    InputHold hold(window);
    QEventLoop loop;
    // A coarse timer may fire up to 5 % early; the pause is a minimum.
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    close_requested = hold.close_requested();
  }
  if (close_requested) {
    // After the pausing handler has finished, not inside it.
    QTimer::singleShot(0, window, &QWidget::close);
  }
}

}  // namespace veltrix::ui
