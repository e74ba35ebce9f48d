#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devices/device_diagnostics.h"
#include "devices/generic_kor.h"
#include "devices/register_map_file_access.h"
#include "devices/register_row.h"
#include "devices/register_stop.h"
#include "link/board_protocol.h"

namespace veltrix::devices {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

long GenericKor::save_register_map(const char* fileName) {
  clear_register_stop();
  bool created = false;
  File f(open_register_map_file(fileName, MapFileAccess::kWrite, &created));
  if (!f) {
    return kStatusFileOpenFailed;
  }

  long link_status = 0;
  std::vector<unsigned char> values;
  values.reserve(traits_.table.size());
  for (const RegisterRow& r : traits_.table) {
    unsigned char value = 0;
    const long status = ARM_ReadBurst(serial_handle, slave_addr, row_address(r), 1, &value);
    if (status != 0) {
      // A board that stopped answering leaves no file claiming values
      // nobody read, and an earlier file as it was.
      if (stop_if_unanswered(row_address(r), static_cast<int>(values.size()), status)) {
        if (created) {
          std::remove(fileName);
        }
        return status;
      }
      // A board that answers badly has the register saved as 0, and the
      // caller learns of it: a file of zeros must not pass for a good save.
      value = 0;
      if (link_status == 0) {
        link_status = status;
      }
    }
    values.push_back(value);
  }

  if (!empty_register_map_file(f.get())) {
    return kStatusFileOpenFailed;
  }
  const std::string content = encode_register_map(traits_.file_form, traits_.table, values);
  const bool written = std::fwrite(content.data(), 1, content.size(), f.get()) == content.size();
  const int write_error = errno;
  // fclose flushes; a full disk shows up here rather than in fwrite.
  const bool closed = std::fclose(f.release()) == 0;
  if (written && closed) {
    return link_status;
  }
  keep_register_map_file_problem(written ? errno : write_error);
  return kStatusFileOpenFailed;
}

long GenericKor::load_register_map(const char* fileName) {
  clear_register_stop();
  std::string content;
  {
    const File f(open_register_map_file(fileName, MapFileAccess::kRead));
    if (!f) {
      write_device_diagnostic("fopen failed");
      return kStatusFileOpenFailed;
    }
    if (!read_register_map_content(f.get(), content)) {
      return kStatusFileOpenFailed;
    }
  }

  std::vector<unsigned char> values;
  if (!decode_register_map(traits_.file_form, traits_.table, content, values)) {
    return kStatusFileRejected;
  }
  long link_status = 0;
  struct RateChangeCount {
    GenericKor& device;
    ~RateChangeCount() { device.count_rate_change(); }
  } counted{*this};
  for (std::size_t i = 0; i < values.size(); ++i) {
    const unsigned char address = row_address(traits_.table[i]);
    const long status = write_register(address, values[i]);
    if (status == 0) {
      continue;
    }
    if (stop_if_unanswered(address, static_cast<int>(i), status)) {
      return status;
    }
    // A board that answers badly still gets the rows after it.
    if (link_status == 0) {
      link_status = status;
    }
  }
  return link_status;
}

}  // namespace veltrix::devices
