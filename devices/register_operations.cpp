#include "devices/register_operations.h"

#include <cstdio>

#include "devices/register_listing.h"
#include "devices/register_map_file_access.h"
#include "link/board_protocol.h"

namespace veltrix::devices {

FailureCause last_failure_cause() {
  if (vtx_serial_lost()) {
    return FailureCause::kBoardLost;
  }
  return vtx_serial_unanswered_ms() > 0 ? FailureCause::kBoardSilent : FailureCause::kBadReply;
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

MapListing list_register_map(ikor& device) {
  MapListing listing;
  const RegisterRow* rows = device.get_register_list();
  listing.rows = device.get_register_list_size();
  for (int i = 0; i < listing.rows; ++i) {
    unsigned char value = 0;
    const long status = device.read_from_register(static_cast<char>(device.lookup_address(rows[i].name)), value);
    if (status != 0) {
      listing.failed_row = &rows[i];
      listing.status = status;
      listing.cause = last_failure_cause();
      break;
    }
    append_listing_line(listing.text, rows[i], value);
    ++listing.rows_listed;
  }
  return listing;
}

BurstRead read_register_burst(ikor& device, std::string_view address_text, unsigned char first, int length) {
  BurstRead burst;
  burst.text = "Read Burst Addr:";
  burst.text += address_text;
  burst.text += " Length " + std::to_string(length) + "\r\n";
  for (int i = 0; i < length; ++i) {
    unsigned char value = 0;
    const auto address = static_cast<unsigned char>((first + i) % 256);
    if (const long status = device.read_from_register(static_cast<char>(address), value); status != 0) {
      burst.failed = true;
      burst.failed_address = address;
      burst.status = status;
      burst.cause = last_failure_cause();
      break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X ", value);
    burst.text += text;
  }
  return burst;
}

RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value) {
  RegisterWrite write;
  write.status = device.write_to_register(static_cast<char>(address), static_cast<char>(value));
  if (write.status != 0) {
    write.cause = last_failure_cause();
  }
  return write;
}

MapFileTransfer save_register_values(ikor& device, const std::string& path) {
  MapFileTransfer transfer;
  transfer.status = device.save_register_map(path.c_str());
  transfer.file_problem = register_map_file_problem();
  return transfer;
}

MapFileTransfer load_register_values(ikor& device, const std::string& path) {
  MapFileTransfer transfer;
  transfer.status = device.load_register_map(path.c_str());
  transfer.file_problem = register_map_file_problem();
  return transfer;
}

long change_sampling_rate(ikor& device, int rate_constant) { return device.set_sampling_rate(rate_constant); }

int current_rate_hz(ikor& device) {
  unsigned char divider = 0;
  unsigned char filter = 0;
  return device.get_current_sampling_rate(divider, filter);
}

}  // namespace veltrix::devices
