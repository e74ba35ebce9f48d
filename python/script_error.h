#pragma once
// What goes wrong in a script's use of the board, as one C++ exception that
// the module turns into the matching veltrix.Error subclass. The text is
// the operator's sentences, one a line, as veltrix-cli prints them.

#include <stdexcept>
#include <string>
#include <vector>

namespace veltrix::python {

enum class ErrorKind {
  kConnect,   // veltrix.ConnectError
  kRegister,  // veltrix.RegisterError
  kReadBack,  // veltrix.ReadBackError: a register kept another value than written
  kCapture,   // veltrix.CaptureError
  kOverrun,   // veltrix.StreamOverrun
  kLog,       // veltrix.LogError
  kUsage,     // ValueError: the arguments are at fault, nothing was asked of the board
};

class ScriptError : public std::runtime_error {
 public:
  ScriptError(ErrorKind kind, const std::vector<std::string>& lines);
  ScriptError(ErrorKind kind, const std::string& line) : ScriptError(kind, std::vector<std::string>{line}) {}
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace veltrix::python
