#pragma once
// The capture's events as Qt signals: each event the capture thread reports
// is queued to the thread this object lives on and emitted there, so
// whoever connects to it hears of them on the window thread in the order
// they happened. Progress is folded: while one progress signal is still
// queued, later samples only update its count (the newest when it is
// emitted), so a fast capture never floods the event loop.
//
// Thread contract: the CaptureEvents calls come from the capture thread; the
// signals are emitted on this object's thread; deliver_queued and
// next_capture belong to that thread too. The object must outlive the
// capture it is given to (until control::wait has returned).

#include <QObject>
#include <QString>
#include <atomic>

#include "capture/capture_events.h"

namespace veltrix::ui {

class CaptureEventSignals final : public QObject, public veltrix::capture::CaptureEvents {
  Q_OBJECT

 public:
  explicit CaptureEventSignals(QObject* parent = nullptr);

  // Emits at once the signals of events already queued, e.g. those of a
  // capture that has just been joined.
  void deliver_queued();

  void started(int rate_hz) override;
  void progress(std::string_view console_text, int sample_count) override;
  void note(const std::string& message) override;
  void waiting(int seconds) override;
  void failure(const std::string& message) override;
  void ended(veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport& report) override;

 signals:
  void capture_started(int rate_hz);
  void capture_progress(int sample_count);
  void capture_note(const QString& message);
  void capture_waiting(int seconds);
  void capture_failure(const QString& message);
  void capture_ended(veltrix::capture::EndReason reason, const veltrix::capture::CaptureReport& report);

 private:
  std::atomic<int> sample_count_{0};
  std::atomic<bool> progress_queued_{false};
};

}  // namespace veltrix::ui
