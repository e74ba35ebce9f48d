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
  RegisterOutcome outcome;
  return save_register_map_checked(fileName, outcome);
}

long GenericKor::save_register_map_checked(const char* fileName, RegisterOutcome& outcome) {
  bool created = false;
  File f(open_register_map_file(fileName, MapFileAccess::kWrite, outcome.file_problem, &created));
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
      if (keep_failure(outcome, row_address(r), status, static_cast<int>(values.size()))) {
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

  if (!empty_register_map_file(f.get(), outcome.file_problem)) {
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
  outcome.file_problem = register_map_file_problem(written ? errno : write_error);
  return kStatusFileOpenFailed;
}

long GenericKor::load_register_map(const char* fileName) {
  RegisterOutcome outcome;
  return load_values(fileName, outcome, false);
}

long GenericKor::load_register_map_checked(const char* fileName, RegisterOutcome& outcome) {
  return load_values(fileName, outcome, true);
}

long GenericKor::load_values(const char* fileName, RegisterOutcome& outcome, bool read_back) {
  std::string content;
  {
    const File f(open_register_map_file(fileName, MapFileAccess::kRead, outcome.file_problem));
    if (!f) {
      write_device_diagnostic("fopen failed");
      return kStatusFileOpenFailed;
    }
    if (!read_register_map_content(f.get(), content, outcome.file_problem)) {
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
    bool written = false;
    const long status =
        write_and_read_back(address, values[i], WriteKind::kWriteBurst, read_back ? &outcome : nullptr, written);
    if (status == 0) {
      continue;
    }
    if (keep_failure(outcome, address, status, static_cast<int>(i), written)) {
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
