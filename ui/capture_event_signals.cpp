#include "ui/capture_event_signals.h"

#include <QCoreApplication>
#include <QEvent>

using veltrix::capture::CaptureReport;
using veltrix::capture::EndReason;

namespace veltrix::ui {

namespace {

QString local_text(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CaptureEventSignals::CaptureEventSignals(QObject* parent) : QObject(parent) {}

void CaptureEventSignals::deliver_queued() { QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); }

void CaptureEventSignals::started(int rate_hz) {
  QMetaObject::invokeMethod(
      this, [this, rate_hz] { emit capture_started(rate_hz); }, Qt::QueuedConnection);
}

void CaptureEventSignals::progress(std::string_view, int sample_count) {
  sample_count_.store(sample_count);
  if (progress_queued_.exchange(true)) {
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this] {
        progress_queued_.store(false);
        emit capture_progress(sample_count_.load());
      },
      Qt::QueuedConnection);
}

void CaptureEventSignals::note(const std::string& message) {
  QMetaObject::invokeMethod(
      this, [this, text = local_text(message)] { emit capture_note(text); }, Qt::QueuedConnection);
}

void CaptureEventSignals::waiting(int seconds) {
  QMetaObject::invokeMethod(
      this, [this, seconds] { emit capture_waiting(seconds); }, Qt::QueuedConnection);
}

void CaptureEventSignals::failure(const std::string& message) {
  QMetaObject::invokeMethod(
      this, [this, text = local_text(message)] { emit capture_failure(text); }, Qt::QueuedConnection);
}

void CaptureEventSignals::ended(EndReason reason, const CaptureReport& report) {
  QMetaObject::invokeMethod(
      this, [this, reason, report] { emit capture_ended(reason, report); }, Qt::QueuedConnection);
}

}  // namespace veltrix::ui
