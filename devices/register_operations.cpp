#include "devices/register_operations.h"

#include <cstdio>

#include "devices/operator_writes.h"
#include "devices/register_listing.h"
#include "devices/register_row.h"

namespace veltrix::devices {
namespace {

std::optional<StoppedAt> stopped_at(ikor& device, const std::optional<RegisterStop>& stop) {
  if (!stop) {
    return std::nullopt;
  }
  return StoppedAt{*stop, row_of(device, stop->address)};
}

std::vector<FailedRegister> with_rows(ikor& device, const std::vector<RegisterFailure>& failures) {
  std::vector<FailedRegister> named;
  for (const RegisterFailure& failure : failures) {
    named.push_back({failure, row_of(device, failure.address)});
  }
  return named;
}

MapFileTransfer transfer_of(ikor& device, const std::string& path, long status, RegisterOutcome& outcome) {
  MapFileTransfer transfer;
  transfer.path = path;
  transfer.status = status;
  transfer.file_problem = std::move(outcome.file_problem);
  transfer.rows = device.get_register_list_size();
  transfer.stopped = stopped_at(device, outcome.stop);
  transfer.bad_replies = with_rows(device, outcome.bad_replies);
  transfer.read_back = std::move(outcome.read_back);
  return transfer;
}

// current_rate_hz, or 0 when the divider cannot be read: some models then
// take it for 0, which would name a rate the sensor may not run at.
int rate_read_back_hz(ikor& device) {
  const unsigned char divider_address = device.lookup_address("SMPLRT_DIV");
  unsigned char divider = 0;
  if (divider_address != kAbsentAddress &&
      device.read_from_register(static_cast<char>(divider_address), divider) != 0) {
    return 0;
  }
  return current_rate_hz(device);
}

}  // namespace

const RegisterRow* row_of(ikor& device, unsigned char address) {
  const RegisterRow* rows = device.get_register_list();
  for (int i = 0; i < device.get_register_list_size(); ++i) {
    if (row_address(rows[i]) == address) {
      return &rows[i];
    }
  }
  return nullptr;
}

MapListing list_register_map(ikor& device) {
  MapListing listing;
  const RegisterRow* rows = device.get_register_list();
  listing.rows = device.get_register_list_size();
  RegisterOutcome outcome;
  for (int i = 0; i < listing.rows; ++i) {
    const unsigned char address = device.lookup_address(rows[i].name);
    unsigned char value = 0;
    if (const long status = device.read_from_register(static_cast<char>(address), value); status != 0) {
      if (keep_failure(outcome, address, status, listing.rows_listed)) {
        break;
      }
      value = 0;
    }
    append_listing_line(listing.text, rows[i], value);
    listing.values.push_back(value);
    ++listing.rows_listed;
  }
  listing.stopped = stopped_at(device, outcome.stop);
  listing.bad_replies = with_rows(device, outcome.bad_replies);
  return listing;
}

BurstRead read_register_burst(ikor& device, std::string_view address_text, unsigned char first, int length) {
  BurstRead burst;
  burst.text = "Read Burst Addr:";
  burst.text += address_text;
  burst.text += " Length " + std::to_string(length) + "\r\n";
  RegisterOutcome outcome;
  for (int i = 0; i < length; ++i) {
    unsigned char value = 0;
    const auto address = static_cast<unsigned char>((first + i) % 256);
    if (const long status = device.read_from_register(static_cast<char>(address), value); status != 0) {
      if (keep_failure(outcome, address, status, i)) {
        break;
      }
      continue;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X ", value);
    burst.text += text;
    burst.values.push_back(value);
  }
  burst.stopped = outcome.stop;
  burst.bad_replies = std::move(outcome.bad_replies);
  return burst;
}

RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value) {
  RegisterOutcome outcome;
  RegisterWrite write;
  write.address = address;
  write.status = device.write_to_register_checked(address, value, outcome);
  if (outcome.stop) {
    write.cause = outcome.stop->cause;
    write.written = outcome.stop->written;
  }
  if (write.status == 0) {
    operator_writes().add({OperatorWrite::Kind::kRegister, address, value, 0});
  }
  write.read_back = std::move(outcome.read_back);
  return write;
}

MapFileTransfer save_register_values(ikor& device, const std::string& path) {
  RegisterOutcome outcome;
  const long status = device.save_register_map_checked(path.c_str(), outcome);
  return transfer_of(device, path, status, outcome);
}

MapFileTransfer load_register_values(ikor& device, const std::string& path) {
  RegisterOutcome outcome;
  const long status = device.load_register_map_checked(path.c_str(), outcome);
  MapFileTransfer transfer = transfer_of(device, path, status, outcome);
  if (transfer.status == 0) {
    journal_map_load(device, path);
  }
  return transfer;
}

RateChange change_sampling_rate(ikor& device, int rate_constant) {
  RegisterOutcome outcome;
  RateChange change;
  change.rate_constant = rate_constant;
  change.status = device.set_sampling_rate_checked(rate_constant, outcome);
  change.stopped = stopped_at(device, outcome.stop);
  change.read_back = std::move(outcome.read_back);
  if (change.status == 0) {
    operator_writes().add({OperatorWrite::Kind::kRate, 0, 0, rate_constant});
  }
  // A change that stopped after a write, or wrote what reads back otherwise,
  // may leave the sensor at neither rate: the operator must hear which.
  const bool partial = change.stopped ? !board_stopped(change.stopped->cause) : !change.read_back.empty();
  if (partial) {
    change.rate_now_hz = rate_read_back_hz(device);
  }
  return change;
}

int current_rate_hz(ikor& device) {
  unsigned char divider = 0;
  unsigned char filter = 0;
  return device.get_current_sampling_rate(divider, filter);
}

}  // namespace veltrix::devices
