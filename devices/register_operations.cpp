#include "devices/register_operations.h"

#include <cstdio>

#include "devices/operator_writes.h"
#include "devices/register_listing.h"
#include "devices/register_map_file_access.h"
#include "devices/register_row.h"

namespace veltrix::devices {
namespace {

// The stop the device kept, with its row in the device's table.
std::optional<StoppedAt> kept_stop(ikor& device) {
  const std::optional<RegisterStop>& stop = register_stop();
  if (!stop) {
    return std::nullopt;
  }
  StoppedAt stopped;
  stopped.address = stop->address;
  stopped.rows_done = stop->rows_done;
  stopped.cause = stop->cause;
  const RegisterRow* rows = device.get_register_list();
  for (int i = 0; i < device.get_register_list_size(); ++i) {
    if (row_address(rows[i]) == stop->address) {
      stopped.row = &rows[i];
      break;
    }
  }
  return stopped;
}

MapFileTransfer finish_transfer(ikor& device, long status) {
  MapFileTransfer transfer;
  transfer.status = status;
  transfer.file_problem = register_map_file_problem();
  transfer.rows = device.get_register_list_size();
  transfer.stopped = kept_stop(device);
  return transfer;
}

}  // namespace

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
  const ReadBackScope read_back;
  RegisterWrite write;
  write.status = device.write_to_register(static_cast<char>(address), static_cast<char>(value));
  if (write.status != 0) {
    write.cause = last_failure_cause();
  } else {
    operator_writes().add({OperatorWrite::Kind::kRegister, address, value, 0});
  }
  write.read_back = read_back.differences();
  return write;
}

MapFileTransfer save_register_values(ikor& device, const std::string& path) {
  clear_register_stop();
  return finish_transfer(device, device.save_register_map(path.c_str()));
}

MapFileTransfer load_register_values(ikor& device, const std::string& path) {
  clear_register_stop();
  const ReadBackScope read_back;
  MapFileTransfer transfer = finish_transfer(device, device.load_register_map(path.c_str()));
  transfer.read_back = read_back.differences();
  if (transfer.status == 0) {
    journal_map_load(device, path);
  }
  return transfer;
}

RateChange change_sampling_rate(ikor& device, int rate_constant) {
  clear_register_stop();
  const ReadBackScope read_back;
  RateChange change;
  change.status = device.set_sampling_rate(rate_constant);
  change.stopped = kept_stop(device);
  change.read_back = read_back.differences();
  if (change.status == 0) {
    operator_writes().add({OperatorWrite::Kind::kRate, 0, 0, rate_constant});
  }
  return change;
}

int current_rate_hz(ikor& device) {
  unsigned char divider = 0;
  unsigned char filter = 0;
  return device.get_current_sampling_rate(divider, filter);
}

}  // namespace veltrix::devices
