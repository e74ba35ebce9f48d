#pragma once
// The operator's sentences for the register operations
// (devices/register_operations.h, devices/register_comparison.h), composed
// here once: the window shows each message in a box, veltrix-cli prints it as
// one line on stderr. A failure opens with the sentence operators and their
// scripts know ("Sensor Read Error. ...", "Sensor Write Error. ...") and
// then tells what happened: the board stopped answering, the link was lost,
// or the board answered one register badly, and where the operation stopped.
//
// Thread contract: constants and pure functions.

#include <string>
#include <vector>

#include "devices/register_stop.h"

namespace veltrix::devices {

struct MapListing;
struct BurstRead;
struct RegisterWrite;
struct MapFileTransfer;
struct RateChange;
struct RegisterComparison;

inline constexpr const char* kSensorReadError = "Sensor Read Error. There was an error while reading register value.";
inline constexpr const char* kSensorWriteError =
    "Sensor Write Error. There was an error while updating register value.";

inline constexpr const char* kRateUnreadable = "Unable to read the sampling rate back from the sensor.";

struct OperatorMessage {
  std::string text;    // the message's first sentence
  std::string detail;  // what happened; "" when the text says it all
};

// The text, then the detail, as one line.
[[nodiscard]] std::string message_line(const OperatorMessage& message);

// "The link to the board was lost.", "The board stopped answering.", or
// `bad_reply_text` for a board that answered badly.
[[nodiscard]] std::string failure_sentence(FailureCause cause, const char* bad_reply_text);

// "Register 6B reads back 41 after writing 01".
[[nodiscard]] std::string read_back_sentence(const ReadBackDifference& difference);

// The failures of each operation, in the order they happened; none when it
// went through. Registers that read back otherwise are told with
// read_back_sentence.
[[nodiscard]] std::vector<OperatorMessage> listing_messages(const MapListing& listing);
[[nodiscard]] std::vector<OperatorMessage> burst_messages(const BurstRead& burst);
[[nodiscard]] std::vector<OperatorMessage> write_messages(const RegisterWrite& write);
[[nodiscard]] std::vector<OperatorMessage> save_messages(const MapFileTransfer& saved);
[[nodiscard]] std::vector<OperatorMessage> load_messages(const MapFileTransfer& loaded);
// `rate_hz` is the rate asked for; a change not made whole says the rate
// the sensor samples at now when it could be read back.
[[nodiscard]] std::vector<OperatorMessage> rate_messages(const RateChange& change, int rate_hz);
[[nodiscard]] std::vector<OperatorMessage> comparison_messages(const RegisterComparison& comparison);

}  // namespace veltrix::devices
