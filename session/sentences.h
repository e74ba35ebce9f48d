#pragma once
// The operator's sentences about a board session: its loss, its return, the
// gaps of a capture that went on across a loss, and how a capture ended.
// The window, veltrix-cli and the Python module print these and compose none
// of their own, so they never disagree. Each is one line without a line end.
//
// Thread contract: pure functions.

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "session/session_events.h"

namespace veltrix::session {

// "Board disconnected: waiting for it to return" / "Board not answering";
// in a capture "The link to the board was lost; the capture waits up to 5 s
// for it to return."
std::string board_lost_sentence(bool link_lost, bool capture_waits, double wait_seconds);

// "Reconnected at /dev/ttyACM1: 100 Hz, 1 register write and 1 rate
// restored, all read back", then "; 2 other registers set back" and
// "; register 1B (GYRO_CONFIG) reads 00, was 18" for each that still differs.
std::string board_back_sentence(const BoardBack& back);

// "Gap 1: 2.480 s to 3.912 s, about 143 samples lost; board back at
// /dev/ttyACM1, 1 register write and 1 rate restored, all read back" (or
// "; register 13 reads back 00 after writing 5A" for each that differs).
std::string gap_line(int number, const capture::CaptureGap& gap);

// "The board KOR 73 at /dev/ttyACM0 (serial 0042) did not come back within 5 s."
std::string board_gone_sentence(const std::string& board_name, double wait_seconds);
// "The capture's time ran out while the board KOR 73 at /dev/ttyACM0 was away."
std::string time_ran_out_sentence(const std::string& board_name);

// "The board came back at 1000 Hz, not 200 Hz; the capture has stopped.", or
// with `shaping` "The board came back, but register 1B (GYRO_CONFIG) reads
// 00, was 18 after writing it again; the capture has stopped."
std::string board_changed_sentence(int rate_then_hz, const BoardBack& back, const devices::RegisterDifference* shaping);

// For the operator's Reconnect: "No board was found at /dev/ttyACM0." (or
// "at any USB port"), and the question asked of another board: "The board at
// /dev/ttyACM1 has serial number 7, not 0042. Connect to it and give it this
// board's settings?"
inline constexpr const char* kBoardNotBack = "The board is not back yet.";
std::string not_back_sentence(const BoardSighting& sighting);
// "Board not answering (reconnecting failed: the port is in use by another
// program)"; `detail` may be "".
std::string reconnect_failed_sentence(const std::string& detail);
std::string other_board_question(const BoardSighting& sighting, const std::string& remembered_serial);

// Why the capture ended, when it ended by itself: "The link to the board
// was lost; the capture has stopped.", the board's not coming back, or its
// coming back otherwise; "" for a stop, its sample limit or its time.
std::string end_sentence(const Outcome& outcome);

// The capture's report: one line for a capture of one segment, else
// "Segment N: ..." lines with the gap lines between them.
std::vector<std::string> report_lines(const Outcome& outcome);

// The report as JSON: report_json of the only segment, or
// {"segments": [...], "gaps": [...]} (capture/continued_capture.h).
nlohmann::ordered_json outcome_json(const Outcome& outcome);

// "register 1B (GYRO_CONFIG) reads 00, was 18".
std::string still_differs_phrase(const devices::RegisterDifference& difference);

}  // namespace veltrix::session
