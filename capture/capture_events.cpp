#include "capture/capture_events.h"

namespace veltrix::capture {

const char* end_reason_text(EndReason reason) {
  switch (reason) {
    case EndReason::kStopRequested:
      return "";
    case EndReason::kBoardLost:
      return "The link to the board was lost; the capture has stopped.";
    case EndReason::kBoardNotAnswering:
      return "The board stopped answering; the capture has stopped.";
    case EndReason::kLogFailed:
      return "A log could not be written; the capture has stopped.";
    case EndReason::kNothingRead:
      return "No sample could be read from the sensor; the capture has stopped.";
  }
  return "";
}

std::string waiting_text(int seconds) {
  return "The sensor has flagged no sample for " + std::to_string(seconds) + " s; the capture keeps waiting.";
}

}  // namespace veltrix::capture
