// Register-map file decoder. A refused file leaves no values, whatever the
// vector held before. An accepted one gives one value per row from one line
// per row (text) or is the values themselves (binary), and the values encoded
// in either form decode to the same values.
//
// The first input byte picks the form and the table; the rest is the file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "devices/register_map_file.h"
#include "devices/register_tables.h"
#include "fuzz/fuzz_check.h"

namespace {

using veltrix::devices::decode_register_map;
using veltrix::devices::encode_register_map;
using veltrix::devices::MapFileForm;
namespace tables = veltrix::devices::tables;

// Small to large, so the fuzzer reaches whole files of the small one.
constexpr std::span<const RegisterRow> kTables[] = {tables::kCompass, tables::kKor2x, tables::kHep11, tables::kKor46};

void check_round_trip(std::span<const RegisterRow> table, const std::vector<unsigned char>& values) {
  for (const MapFileForm form : {MapFileForm::kText, MapFileForm::kBinary}) {
    std::vector<unsigned char> again;
    fuzz_check(decode_register_map(form, table, encode_register_map(form, table, values), again) && again == values,
               "encoded values decode to the same values");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const MapFileForm form = (data[0] & 1) != 0 ? MapFileForm::kBinary : MapFileForm::kText;
  const std::span<const RegisterRow> table = kTables[(data[0] >> 1) % std::size(kTables)];
  const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<unsigned char> values(table.size(), 0xA5);
  if (!decode_register_map(form, table, content, values)) {
    fuzz_check(values.empty(), "a refused file leaves no values");
    return 0;
  }
  fuzz_check(values.size() == table.size(), "an accepted file gives one value per row");
  if (form == MapFileForm::kBinary) {
    fuzz_check(encode_register_map(form, table, values) == content, "a binary file is its values, byte for byte");
  } else {
    const auto line_ends = static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n'));
    fuzz_check(line_ends + (content.ends_with('\n') ? 0 : 1) == table.size(), "a text file has one line per row");
  }
  check_round_trip(table, values);
  return 0;
}
