// _veltrix: the C++ side of the veltrix package (veltrix/__init__.py holds
// the script's API and its documentation). Every call that talks to the
// board or reads a file releases the GIL.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "devices/model_catalogue.h"
#include "python/board.h"
#include "python/capture_run.h"
#include "python/log_data.h"
#include "python/script_error.h"

namespace py = pybind11;
using veltrix::python::Board;
using veltrix::python::CaptureEnd;
using veltrix::python::CaptureRequest;
using veltrix::python::CaptureRun;
using veltrix::python::ErrorKind;
using veltrix::python::LogData;
using veltrix::python::ScriptError;

namespace {

// The exception classes, kept for the life of the process: the translator
// below may run until the interpreter's very end.
struct ErrorTypes {
  PyObject* connect = nullptr;
  PyObject* register_failure = nullptr;
  PyObject* read_back = nullptr;
  PyObject* capture = nullptr;
  PyObject* overrun = nullptr;
  PyObject* log = nullptr;
};
ErrorTypes error_types;

void translate(std::exception_ptr thrown) {
  try {
    if (thrown) {
      std::rethrow_exception(thrown);
    }
  } catch (const ScriptError& e) {
    PyObject* type = PyExc_ValueError;
    switch (e.kind()) {
      case ErrorKind::kConnect:
        type = error_types.connect;
        break;
      case ErrorKind::kRegister:
        type = error_types.register_failure;
        break;
      case ErrorKind::kReadBack:
        type = error_types.read_back;
        break;
      case ErrorKind::kCapture:
        type = error_types.capture;
        break;
      case ErrorKind::kOverrun:
        type = error_types.overrun;
        break;
      case ErrorKind::kLog:
        type = error_types.log;
        break;
      case ErrorKind::kUsage:
        break;
    }
    PyErr_SetString(type, e.what());
  }
}

using Released = py::call_guard<py::gil_scoped_release>;

PyObject* exception(py::module_& m, const char* name, PyObject* base, const char* doc) {
  PyObject* type = PyErr_NewExceptionWithDoc((std::string("veltrix.") + name).c_str(), doc, base, nullptr);
  if (type == nullptr) {
    throw py::error_already_set();
  }
  m.attr(name) = py::handle(type);
  return type;
}

}  // namespace

PYBIND11_MODULE(_veltrix, m) {
  m.doc() = "C++ side of the veltrix package; use veltrix instead.";

  PyObject* const error = exception(m, "Error", PyExc_RuntimeError, "Any failure of the board, a capture or a log.");
  error_types.connect =
      exception(m, "ConnectError", error, "The board could not be connected (as veltrix-cli says why).");
  error_types.register_failure =
      exception(m, "RegisterError", error, "A register could not be read or written; the message names it.");
  error_types.read_back = exception(m, "ReadBackError", error_types.register_failure,
                                    "A register reads back otherwise than written: \"Register 1B reads back ...\".");
  error_types.capture = exception(m, "CaptureError", error, "A capture failed or could not start.");
  error_types.overrun =
      exception(m, "StreamOverrun", error_types.capture, "The script fell behind a stream; the capture was stopped.");
  error_types.log = exception(m, "LogError", error, "A data log could not be read or analysed.");
  py::register_exception_translator(translate);

  m.def("models", [] {
    std::vector<std::string> names;
    for (const ModelEntry& entry : model_catalogue()) {
      names.emplace_back(entry.name);
    }
    return names;
  });

  py::class_<Board>(m, "Board")
      .def(py::init<const std::string&, const std::string&, const std::string&>(), Released())
      .def("close", &Board::close, Released())
      .def_property_readonly("closed", &Board::closed)
      .def_property_readonly("name", &Board::name)
      .def("info",
           [](Board& board) {
             veltrix::python::BoardInfo info;
             {
               const py::gil_scoped_release released;
               info = board.info();
             }
             py::dict out;
             out["modes"] = info.modes;
             out["rates"] = info.rates;
             out["components"] = info.components;
             out["rate"] = info.rate;
             return out;
           })
      .def("read", &Board::read, Released())
      .def("write", &Board::write, Released())
      .def("registers",
           [](Board& board) {
             std::vector<veltrix::python::RegisterValue> values;
             {
               const py::gil_scoped_release released;
               values = board.registers();
             }
             py::list out;
             for (const auto& value : values) {
               out.append(py::make_tuple(value.address, value.name, value.value));
             }
             return out;
           })
      .def("save", &Board::save, Released())
      .def("load", &Board::load, Released())
      .def("diff",
           [](Board& board, const std::string& path) {
             std::vector<veltrix::python::RegisterDiff> differences;
             {
               const py::gil_scoped_release released;
               differences = board.diff(path);
             }
             py::list out;
             for (const auto& difference : differences) {
               out.append(py::make_tuple(difference.address, difference.name, difference.board, difference.file));
             }
             return out;
           })
      .def("rate", &Board::rate, Released())
      .def("set_rate", &Board::set_rate, Released());

  py::class_<CaptureRun>(m, "CaptureRun")
      .def(py::init([](Board& board, std::optional<int> rate_hz, std::optional<std::vector<std::string>> components,
                       double seconds, int samples, std::optional<std::string> folder, bool fast,
                       std::optional<double> reconnect, std::size_t ring_samples) {
             CaptureRequest request{rate_hz,   std::move(components), seconds, samples, std::move(folder), fast,
                                    reconnect, ring_samples};
             const py::gil_scoped_release released;
             return std::make_unique<CaptureRun>(board, request);
           }),
           py::keep_alive<1, 2>(), py::arg("board"), py::arg("rate_hz"), py::arg("components"), py::arg("seconds"),
           py::arg("samples"), py::arg("folder"), py::arg("fast"), py::arg("reconnect"), py::arg("ring_samples"))
      .def("take", &CaptureRun::take, py::arg("timeout"), py::arg("most"))
      .def("stop", &CaptureRun::stop)
      .def("finish",
           [](CaptureRun& run) {
             const CaptureEnd end = run.finish();
             py::dict out;
             out["report_json"] = end.report_json;
             out["report_lines"] = end.report_lines;
             out["failures"] = end.failures;
             out["notes"] = end.notes;
             return out;
           })
      .def("told", &CaptureRun::told)
      .def_property_readonly("columns", &CaptureRun::columns);

  py::class_<LogData>(m, "LogData")
      .def(py::init<std::string, std::optional<double>>(), py::arg("path"), py::arg("rate_hz"))
      .def_property_readonly("path", &LogData::path)
      .def_property_readonly("rate_hz", &LogData::rate_hz)
      .def_property_readonly("rate_from_sidecar", &LogData::rate_from_sidecar)
      .def_property_readonly("sidecar_path", &LogData::sidecar_path)
      .def_property_readonly("notes", &LogData::notes)
      .def_property_readonly("segment_ends", &LogData::segment_ends)
      .def_property_readonly("samples", &LogData::samples)
      .def("columns", [](py::object self) { return self.cast<const LogData&>().columns(self); })
      .def("time", &LogData::time)
      .def("analysis_json", &LogData::analysis_json);
}
