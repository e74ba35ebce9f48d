#pragma once
// The board session's events as Qt signals: each event is queued to the
// thread this object lives on and emitted there, so whoever connects to it
// hears of them on the window thread in the order they happened. Progress
// is folded: while one progress signal is still queued, later samples only
// update its count (the newest when it is emitted), so a fast capture never
// floods the event loop.
//
// Thread contract: the SessionEvents calls come from the capture thread, the
// session's supervisor or this object's thread (session/session_events.h);
// the signals are emitted on this object's thread, and deliver_queued
// belongs to it too. The object must outlive the session it listens to.

#include <QObject>
#include <QString>
#include <atomic>

#include "session/session_events.h"

namespace veltrix::ui {

class SessionSignals final : public QObject, public veltrix::session::SessionEvents {
  Q_OBJECT

 public:
  explicit SessionSignals(QObject* parent = nullptr);

  // Emits at once the signals of events already queued, e.g. those of a
  // capture that has just ended.
  void deliver_queued();

  void started(int rate_hz) override;
  void progress(std::string_view console_text, int samples) override;
  void note(const std::string& message) override;
  void waiting(int seconds) override;
  void failure(const std::string& message, bool capture_goes_on) override;
  void board_lost(const veltrix::session::BoardLoss& loss) override;
  void board_back(const veltrix::session::BoardBack& back) override;
  void ended(const veltrix::session::Outcome& outcome) override;

 signals:
  void capture_started(int rate_hz);
  void capture_progress(int samples);
  void capture_note(const QString& message);
  void capture_waiting(int seconds);
  void capture_failure(const QString& message, bool capture_goes_on);
  void board_went_away(const veltrix::session::BoardLoss& loss);
  void board_came_back(const veltrix::session::BoardBack& back);
  void capture_ended(const veltrix::session::Outcome& outcome);

 private:
  std::atomic<int> samples_{0};
  std::atomic<bool> progress_queued_{false};
};

}  // namespace veltrix::ui
