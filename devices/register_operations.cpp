#include "devices/register_operations.h"

#include <cstdio>

#include "devices/register_listing.h"
#include "devices/register_map_file_access.h"
#include "link/board_protocol.h"

namespace veltrix::devices {

MapListing list_register_map(ikor& device, UnreadRow unread) {
  MapListing listing;
  const RegisterRow* rows = device.get_register_list();
  listing.rows = device.get_register_list_size();
  for (int i = 0; i < listing.rows; ++i) {
    unsigned char value = 0;
    const long status = device.read_from_register(static_cast<char>(device.lookup_address(rows[i].name)), value);
    if (status != 0 && listing.failed_row == nullptr) {
      listing.failed_row = &rows[i];
      listing.status = status;
      listing.link_lost = vtx_serial_lost();
    }
    if (status != 0 && unread == UnreadRow::kStop) {
      break;
    }
    append_listing_line(listing.text, rows[i], status == 0 ? value : 0);
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
    if (const long status = device.read_from_register(static_cast<char>((first + i) % 256), value); status != 0) {
      if (burst.failed_reads++ == 0) {
        burst.status = status;
      }
      continue;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X ", value);
    burst.text += text;
  }
  return burst;
}

RegisterWrite write_register_value(ikor& device, unsigned char address, unsigned char value) {
  return {device.write_to_register(static_cast<char>(address), static_cast<char>(value))};
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
