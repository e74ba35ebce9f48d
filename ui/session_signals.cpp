#include "ui/session_signals.h"

#include <QCoreApplication>
#include <QEvent>

namespace veltrix::ui {

namespace {

QString local_text(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

SessionSignals::SessionSignals(QObject* parent) : QObject(parent) {}

void SessionSignals::deliver_queued() { QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); }

void SessionSignals::started(int rate_hz) {
  QMetaObject::invokeMethod(
      this, [this, rate_hz] { emit capture_started(rate_hz); }, Qt::QueuedConnection);
}

void SessionSignals::progress(std::string_view, int samples) {
  samples_.store(samples);
  if (progress_queued_.exchange(true)) {
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        progress_queued_.store(false);
        emit capture_progress(samples_.load());
      },
      Qt::QueuedConnection);
}

void SessionSignals::note(const std::string& message) {
  QMetaObject::invokeMethod(
      this, [this, text = local_text(message)] { emit capture_note(text); }, Qt::QueuedConnection);
}

void SessionSignals::waiting(int seconds) {
  QMetaObject::invokeMethod(
      this, [this, seconds] { emit capture_waiting(seconds); }, Qt::QueuedConnection);
}

void SessionSignals::failure(const std::string& message, bool capture_goes_on) {
  QMetaObject::invokeMethod(
      this, [this, text = local_text(message), capture_goes_on] { emit capture_failure(text, capture_goes_on); },
      Qt::QueuedConnection);
}

void SessionSignals::board_lost(const veltrix::session::BoardLoss& loss) {
  QMetaObject::invokeMethod(
      this, [this, loss] { emit board_went_away(loss); }, Qt::QueuedConnection);
}

void SessionSignals::board_back(const veltrix::session::BoardBack& back) {
  QMetaObject::invokeMethod(
      this, [this, back] { emit board_came_back(back); }, Qt::QueuedConnection);
}

void SessionSignals::ended(const veltrix::session::Outcome& outcome) {
  QMetaObject::invokeMethod(
      this, [this, outcome] { emit capture_ended(outcome); }, Qt::QueuedConnection);
}

}  // namespace veltrix::ui
