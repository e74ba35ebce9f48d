#include "devices/operator_writes.h"

#include <span>

#include "devices/register_map_file.h"
#include "devices/register_map_file_access.h"
#include "devices/register_row.h"

namespace veltrix::devices {

void OperatorWrites::clear() {
  std::lock_guard guard(lock_);
  entries_.clear();
}

// An earlier write of the same register (or an earlier rate) is replaced,
// never replayed: only the last value can matter, and a long session would
// otherwise grow the journal without end. What remains keeps the order of
// the last writes, so a rate set after a register it also writes still wins.
void OperatorWrites::add(const OperatorWrite& write) {
  std::lock_guard guard(lock_);
  std::erase_if(entries_, [&write](const OperatorWrite& entry) {
    return entry.kind == write.kind && (write.kind == OperatorWrite::Kind::kRate || entry.address == write.address);
  });
  entries_.push_back(write);
}

std::vector<OperatorWrite> OperatorWrites::entries() const {
  std::lock_guard guard(lock_);
  return entries_;
}

OperatorWrites& operator_writes() {
  static OperatorWrites journal;
  return journal;
}

// The device decoded the file in its own form; a text map is never as short
// as a binary one of the same table, so only that form decodes it.
void journal_map_load(ikor& device, const std::string& path) {
  std::string problem;
  std::FILE* stream = open_register_map_file(path.c_str(), MapFileAccess::kRead, problem);
  if (stream == nullptr) {
    return;
  }
  std::string content(kMaxRegisterMapFileBytes + 1, '\0');
  content.resize(std::fread(content.data(), 1, content.size(), stream));
  std::fclose(stream);
  const std::span<const RegisterRow> table(device.get_register_list(),
                                           static_cast<std::size_t>(device.get_register_list_size()));
  std::vector<unsigned char> values;
  if (!decode_register_map(MapFileForm::kText, table, content, values) &&
      !decode_register_map(MapFileForm::kBinary, table, content, values)) {
    return;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    operator_writes().add({OperatorWrite::Kind::kRegister, row_address(table[i]), values[i], 0});
  }
}

}  // namespace veltrix::devices
