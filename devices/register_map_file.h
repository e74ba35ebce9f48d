#pragma once
// Register-map file contents, both forms: text lines "%02X :   %02X \n" (one
// per table row, in table order) or one raw byte per row. Decoding checks the
// whole content against the table before anything is used, so a file made for
// another table, cut short or edited by hand is refused as a whole.
//
// Thread contract: pure functions, callable from any thread.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devices/ikor.h"

namespace veltrix::devices {

enum class MapFileForm { kText, kBinary };

// Larger files cannot be a register map of any table; they are refused unread.
inline constexpr std::size_t kMaxRegisterMapFileBytes = 1 << 20;

std::string encode_register_map(MapFileForm form, std::span<const RegisterRow> table,
                                std::span<const unsigned char> values);

// Fills `values` (one per row) and returns true when `content` is a complete
// map of `table`: text form, exactly one parsable line per row (a final line
// end is optional) whose address is the row's; binary form, exactly one byte
// per row. Returns false and leaves `values` empty otherwise.
bool decode_register_map(MapFileForm form, std::span<const RegisterRow> table, std::string_view content,
                         std::vector<unsigned char>& values);

}  // namespace veltrix::devices
