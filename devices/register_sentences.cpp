#include "devices/register_sentences.h"

#include <cstdio>

#include "devices/device_status.h"
#include "devices/register_comparison.h"
#include "devices/register_operations.h"

namespace veltrix::devices {
namespace {

constexpr const char* kBadReply = "The board gave a malformed reply.";

std::string hex_byte(unsigned char value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

// "1A (CONFIG)", or the address alone when the table has no row for it.
std::string named(unsigned char address, const RegisterRow* row) {
  return row == nullptr ? hex_byte(address) : hex_byte(address) + " (" + row->name + ")";
}

// "register 0D (A)", "registers 0D (A) and 0E (B)", "registers 0D (A), 0E (B) and 0F (C)".
std::string registers_named(const std::vector<FailedRegister>& failures) {
  std::string text = failures.size() == 1 ? "register " : "registers ";
  for (std::size_t i = 0; i < failures.size(); ++i) {
    if (i > 0) {
      text += i + 1 == failures.size() ? " and " : ", ";
    }
    text += named(failures[i].address, failures[i].row);
  }
  return text;
}

// "it" or "them", as many as `failures`.
const char* them(const std::vector<FailedRegister>& failures) { return failures.size() == 1 ? "it" : "them"; }

std::string malformed_for(const std::string& what) { return "The board gave a malformed reply for " + what; }

// " (reason)" for a file that could not be used, "" when none is known.
std::string in_parentheses(const std::string& problem) { return problem.empty() ? "" : " (" + problem + ")"; }

OperatorMessage alone(std::string text) { return {std::move(text), ""}; }

}  // namespace

std::string message_line(const OperatorMessage& message) {
  return message.detail.empty() ? message.text : message.text + " " + message.detail;
}

std::string failure_sentence(FailureCause cause, const char* bad_reply_text) {
  switch (cause) {
    case FailureCause::kBoardLost:
      return "The link to the board was lost.";
    case FailureCause::kBoardSilent:
      return "The board stopped answering.";
    default:
      return bad_reply_text;
  }
}

std::string read_back_sentence(const ReadBackDifference& difference) {
  char text[48];
  std::snprintf(text, sizeof text, "Register %02X reads back %02X after writing %02X", difference.address,
                difference.read, difference.written);
  return text;
}

std::vector<OperatorMessage> listing_messages(const MapListing& listing) {
  std::vector<OperatorMessage> messages;
  if (!listing.bad_replies.empty()) {
    messages.push_back({kSensorReadError, malformed_for(registers_named(listing.bad_replies)) +
                                              "; the listing shows 0 for " + them(listing.bad_replies) + "."});
  }
  if (const auto& stop = listing.stopped) {
    messages.push_back({kSensorReadError, failure_sentence(stop->cause, kBadReply) + " The listing stops at register " +
                                              named(stop->address, stop->row) + ", which could not be read."});
  }
  return messages;
}

std::vector<OperatorMessage> burst_messages(const BurstRead& burst) {
  std::vector<OperatorMessage> messages;
  for (const RegisterFailure& failure : burst.bad_replies) {
    messages.push_back({kSensorReadError, malformed_for("register " + hex_byte(failure.address) + ".")});
  }
  if (const auto& stop = burst.stopped) {
    messages.push_back({kSensorReadError, failure_sentence(stop->cause, kBadReply) + " The read stops at register " +
                                              hex_byte(stop->address) + ", which could not be read."});
  }
  return messages;
}

std::vector<OperatorMessage> write_messages(const RegisterWrite& write) {
  if (write.status == 0) {
    return {};
  }
  const std::string address = hex_byte(write.address);
  if (write.written) {
    return {{"Register " + address + " was written, but reading it back failed.",
             failure_sentence(write.cause, kBadReply)}};
  }
  if (!board_stopped(write.cause)) {
    return {{kSensorWriteError, malformed_for("register " + address + "; it may not have been written.")}};
  }
  return {{kSensorWriteError, failure_sentence(write.cause, kBadReply) + " Register " + address + " was not written."}};
}

std::vector<OperatorMessage> save_messages(const MapFileTransfer& saved) {
  if (const auto& stop = saved.stopped) {
    return {{kSensorReadError, failure_sentence(stop->cause, kBadReply) + " The save stops at register " +
                                   named(stop->address, stop->row) + ", which could not be read; " + saved.path +
                                   " was not written."}};
  }
  if (saved.status == kStatusFileOpenFailed) {
    return {alone("Unable to write the register-map file " + saved.path + in_parentheses(saved.file_problem) + ".")};
  }
  if (!saved.bad_replies.empty()) {
    return {{kSensorReadError, malformed_for(registers_named(saved.bad_replies)) + "; " + saved.path + " holds 0 for " +
                                   them(saved.bad_replies) + "."}};
  }
  return {};
}

std::vector<OperatorMessage> load_messages(const MapFileTransfer& loaded) {
  switch (loaded.status) {
    case kStatusFileRejected:
      return {alone("The register-map file " + loaded.path +
                    " does not match this sensor's register table; nothing was written.")};
    case kStatusFileOpenFailed:
      return {alone("Unable to read the register-map file " + loaded.path + in_parentheses(loaded.file_problem) +
                    "; nothing was written.")};
    default:
      break;
  }
  std::vector<OperatorMessage> messages;
  if (!loaded.bad_replies.empty()) {
    messages.push_back({kSensorWriteError, malformed_for(registers_named(loaded.bad_replies)) +
                                               "; the load went on past " + them(loaded.bad_replies) + "."});
  }
  if (const auto& stop = loaded.stopped) {
    const int written = stop->rows_done + (stop->written ? 1 : 0);
    messages.push_back({kSensorWriteError, failure_sentence(stop->cause, kBadReply) + " The load stops at register " +
                                               named(stop->address, stop->row) + ": " + std::to_string(written) +
                                               " of " + std::to_string(loaded.rows) + " registers written" +
                                               (stop->written ? ", the last of them not read back." : ".")});
  }
  return messages;
}

std::vector<OperatorMessage> rate_messages(const RateChange& change, int rate_hz) {
  if (change.status == kStatusRateRefused) {
    return {alone("The sensor does not offer " + std::to_string(rate_hz) + " Hz.")};
  }
  const std::string rate_now = change.rate_now_hz != 0
                                   ? "the sensor now samples at " + std::to_string(change.rate_now_hz) + " Hz"
                                   : std::string("the sampling rate is not known");
  const auto& stop = change.stopped;
  if (!stop) {
    if (change.read_back.empty()) {
      return {};
    }
    return {{kSensorWriteError, "The rate did not become " + std::to_string(rate_hz) + " Hz; " + rate_now + "."}};
  }
  return {{kSensorWriteError, failure_sentence(stop->cause, kBadReply) + " Register " +
                                  named(stop->address, stop->row) +
                                  (stop->written ? " was written but could not be read back" : " was not written") +
                                  "; " + rate_now + "."}};
}

std::vector<OperatorMessage> comparison_messages(const RegisterComparison& comparison) {
  switch (comparison.status) {
    case kStatusFileOpenFailed:
      return {alone("Unable to read the register-map file " + comparison.bad_file +
                    in_parentheses(comparison.file_problem) + ".")};
    case kStatusFileRejected:
      return {alone("The register-map file " + comparison.bad_file + " does not match this sensor's register table.")};
    default:
      break;
  }
  std::vector<OperatorMessage> messages;
  if (!comparison.bad_replies.empty()) {
    messages.push_back({kSensorReadError, malformed_for(registers_named(comparison.bad_replies)) + "; " +
                                              (comparison.bad_replies.size() == 1 ? "it is" : "they are") +
                                              " left out of the comparison."});
  }
  if (const auto& stop = comparison.stopped) {
    messages.push_back({kSensorReadError, failure_sentence(stop->cause, kBadReply) +
                                              " The comparison stops at register " + named(stop->address, stop->row) +
                                              ", which could not be read."});
  }
  return messages;
}

}  // namespace veltrix::devices
