#include "python/script_error.h"

namespace veltrix::python {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += (text.empty() ? "" : "\n") + line;
  }
  return text;
}

}  // namespace

ScriptError::ScriptError(ErrorKind kind, const std::vector<std::string>& lines)
    : std::runtime_error(joined(lines)), kind_(kind) {}

}  // namespace veltrix::python
