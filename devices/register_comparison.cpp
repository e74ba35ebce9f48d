#include "devices/register_comparison.h"

#include <cstdio>
#include <memory>

#include "devices/generic_kor.h"
#include "devices/register_holding.h"
#include "devices/register_map_file.h"
#include "devices/register_map_file_access.h"
#include "devices/register_row.h"

namespace veltrix::devices {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::span<const RegisterRow> device_table(ikor& device) {
  return {device.get_register_list(), static_cast<std::size_t>(device.get_register_list_size())};
}

// The values a load of `path` would write, read as `device` reads its files.
bool read_file_values(ikor& device, const std::string& path, std::vector<unsigned char>& values,
                      RegisterComparison& comparison) {
  std::string content;
  {
    const std::unique_ptr<std::FILE, FileCloser> f(
        open_register_map_file(path.c_str(), MapFileAccess::kRead, comparison.file_problem));
    if (!f || !read_register_map_content(f.get(), content, comparison.file_problem)) {
      comparison.status = kStatusFileOpenFailed;
      comparison.bad_file = path;
      return false;
    }
  }
  // Every family is a GenericKor; the form is the family's.
  const auto* family = dynamic_cast<const GenericKor*>(&device);
  const MapFileForm form = family != nullptr ? family->map_file_form() : MapFileForm::kText;
  if (!decode_register_map(form, device_table(device), content, values)) {
    comparison.status = kStatusFileRejected;
    comparison.bad_file = path;
    return false;
  }
  return true;
}

std::string binary(unsigned char value) {
  std::string text;
  for (int bit = 7; bit >= 0; --bit) {
    text += ((value >> bit) & 1) != 0 ? '1' : '0';
  }
  return text;
}

}  // namespace

std::string difference_line(const RegisterDifference& difference) {
  char text[96];
  std::snprintf(text, sizeof text, "%s | %-18s | 0x%02X %s | 0x%02X %s", difference.row->address, difference.row->name,
                difference.first, binary(difference.first).c_str(), difference.second,
                binary(difference.second).c_str());
  return text;
}

std::vector<RegisterDifference> compare_register_values(std::span<const RegisterRow> table,
                                                        std::span<const unsigned char> first,
                                                        std::span<const unsigned char> second) {
  std::vector<RegisterDifference> differences;
  for (std::size_t i = 0; i < table.size() && i < first.size() && i < second.size(); ++i) {
    if (((first[i] ^ second[i]) & held_bits(field_text(table[i].name))) != 0) {
      differences.push_back({&table[i], first[i], second[i]});
    }
  }
  return differences;
}

RegisterComparison compare_sensor_with_file(ikor& device, const std::string& path) {
  RegisterComparison comparison;
  std::vector<unsigned char> saved;
  if (!read_file_values(device, path, saved, comparison)) {
    return comparison;
  }
  const std::span<const RegisterRow> table = device_table(device);
  std::vector<unsigned char> sensor(table.size(), 0);
  RegisterOutcome outcome;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (held_bits(field_text(table[i].name)) == 0) {
      continue;  // a read could pop the FIFO or clear a status
    }
    const unsigned char address = row_address(table[i]);
    const long status = device.read_from_register(static_cast<char>(address), sensor[i]);
    if (status == 0) {
      continue;
    }
    const bool stopped = keep_failure(outcome, address, status, static_cast<int>(i));
    if (comparison.status == 0) {
      comparison.status = status;
      comparison.cause = stopped ? outcome.stop->cause : outcome.bad_replies.back().cause;
    }
    if (stopped) {
      comparison.stopped = StoppedAt{*outcome.stop, &table[i]};
      return comparison;
    }
    comparison.bad_replies.push_back({outcome.bad_replies.back(), &table[i]});
    sensor[i] = saved[i];  // not read: no difference claimed
  }
  comparison.differences = compare_register_values(table, sensor, saved);
  return comparison;
}

RegisterComparison compare_files(ikor& device, const std::string& first, const std::string& second) {
  RegisterComparison comparison;
  std::vector<unsigned char> first_values;
  std::vector<unsigned char> second_values;
  if (read_file_values(device, first, first_values, comparison) &&
      read_file_values(device, second, second_values, comparison)) {
    comparison.differences = compare_register_values(device_table(device), first_values, second_values);
  }
  return comparison;
}

}  // namespace veltrix::devices
