// veltrix-cli: scripted use of the logger's device model and capture thread,
// and the noise analysis of a data log.
//     veltrix-cli [--port PATH] [--mode i2c|spi] --model "NAME" COMMAND [ARGS...]
//     veltrix-cli analyze LOG.csv [--json FILE] [--scale LIST] [--rate HZ]

#include <CLI/CLI.hpp>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "cli/analyze_command.h"
#include "cli/capture_command.h"
#include "cli/device_choices.h"
#include "cli/exit_status.h"
#include "cli/register_commands.h"
#include "devices/device_connection.h"
#include "devices/device_diagnostics.h"
#include "devices/model_catalogue.h"
#include "devices/register_input.h"
#include "devices/register_operations.h"
#include "session/session.h"

using veltrix::cli::AnalyzeRequest;
using veltrix::cli::CaptureRequest;
using veltrix::cli::find_component;
using veltrix::cli::find_rate;
using veltrix::cli::kExitFailure;
using veltrix::cli::kExitOk;
using veltrix::cli::kExitUsage;
using veltrix::cli::prepare_signals_for_capture;
using veltrix::cli::rate_choices;
using veltrix::cli::RateChoice;
using veltrix::cli::run_analyze;
using veltrix::cli::run_capture;
using veltrix::cli::run_diff;
using veltrix::cli::run_diff_files;
using veltrix::cli::run_info;
using veltrix::cli::run_load;
using veltrix::cli::run_map;
using veltrix::cli::run_rate;
using veltrix::cli::run_read;
using veltrix::cli::run_save;
using veltrix::cli::run_selftest;
using veltrix::cli::run_write;

namespace {

struct Arguments {
  std::string port;
  std::string mode = "i2c";
  std::string model;
  std::string address;
  std::string length_or_value;
  std::string file;
  std::string second_file;
  int rate_hz = 0;
  int capture_rate_hz = 0;
  std::optional<std::string> components;
  CaptureRequest capture;
  std::string capture_mode = "described";
  std::string folder;
  bool no_console = false;
  std::string report_json;
  double reconnect_seconds = 0.0;
  AnalyzeRequest analyze;
};

int usage_error(const std::string& message) {
  std::fprintf(stderr, "%s\nRun with --help for more information.\n", message.c_str());
  return kExitUsage;
}

int input_error() {
  std::fprintf(stderr, "%s\n", kRegisterInputError);
  return kExitUsage;
}

std::string model_names() {
  std::string names;
  for (const ModelEntry& entry : model_catalogue()) {
    names += (names.empty() ? "\"" : ", \"") + std::string(entry.name) + "\"";
  }
  return names;
}

std::string rate_list() {
  std::string text;
  for (const RateChoice& rate : rate_choices()) {
    text += (text.empty() ? "" : ", ") + std::to_string(rate.hz);
  }
  return text;
}

// The component names of `list`, or why it is refused: an empty list would
// record nothing, and a name given twice is a typing slip.
std::string split_components(const std::string& list, std::vector<std::string>& names) {
  const std::string refused = "--components: \"" + list + "\" is not a list from gyro,accel,compass,temp";
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (find_component(name) == nullptr) {
      return refused;
    }
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      return "--components: " + name + " is named twice";
    }
    names.push_back(std::move(name));
    if (comma == std::string::npos) {
      return {};
    }
    start = comma + 1;
  }
}

// A text as typed, cut short when it is too long to be worth repeating.
std::string as_typed(const std::string& text) {
  constexpr std::size_t kShown = 24;
  return "\"" + (text.size() <= kShown ? text : text.substr(0, kShown) + "...") + "\"";
}

// A year bounds S well inside what the clock's duration type can hold.
constexpr double kMaxSeconds = 365.0 * 24 * 3600;

// Seconds are plain decimal: digits with at most one point, no sign, no
// exponent, so neither hexadecimal floats nor nan or inf get through to
// strtod.
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      const std::size_t point = text.find('.');
      const bool digits_only = text.find_first_not_of("0123456789.") == std::string::npos &&
                               (point == std::string::npos || text.find('.', point + 1) == std::string::npos) &&
                               text.find_first_of("0123456789") != std::string::npos;
      if (!digits_only) {
        return as_typed(text) + " is not a decimal number of seconds";
      }
      const double seconds = std::strtod(text.c_str(), nullptr);
      if (seconds <= 0.0 || seconds > kMaxSeconds) {
        return as_typed(text) + " is not above 0 and at most a year (31536000 seconds)";
      }
      return {};
    },
    "");

// CLI11 reads integers with C's base prefixes ("010" is octal 8, "0x14" is
// 20); counts and rates on this command line are plain decimal, leading zeros
// included.
const CLI::Validator kDecimal(
    [](std::string& text) -> std::string {
      if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return as_typed(text) + " is not a decimal number";
      }
      text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
      // More digits than any int has; the range check would repeat them all.
      if (text.size() > 10) {
        return as_typed(text) + " is too large";
      }
      return {};
    },
    "");

const char* kFooter = R"(
Connecting constructs the model and initialises it on the port. rate sets the
sensor's rate; the next call keeps it, except that connecting to KOR 73
applies 50 Hz, as the window does on every connection. --port defaults to
VELTRIX_PORT, then the first USB CDC-ACM device.

capture ends with one report line on stderr: samples recorded, their span,
the mean rate against the rate the sensor reported, the largest interval,
and the intervals over 1.5 sample periods with the samples estimated missed
in them. With --folder, dataLog<N>.json beside the data log describes the
capture and holds the same report once it has ended.

write, load and rate read back every register they write; one that reads
back otherwise is named on stderr ("Register 6B reads back 41 after
writing 01") and the exit status is 1 (rate then prints no rate). WHO_AM_I,
data, status and FIFO registers are not read back, and reset bits that clear
themselves are not compared.

diff compares the bits that hold of every register that keeps what is
written; each register that differs is printed on stdout as: address | name
| first value in hex and binary | second value in hex and binary, the sensor
(or FILE1) first. With two files the board is not asked.

analyze needs no board and no --model. It prints per channel of LOG.csv the
samples, mean, standard deviation, min, max and peak-to-peak; the overlapping
Allan deviation at octave tau from one sample period to a tenth of the log;
the white noise (the -1/2 slope read at tau = 1 s), the bias instability (the
curve's minimum and its tau, an upper bound while the curve still falls at
T/10) and the rate random walk (the +1/2 slope read at tau = 3 s) where the
curve shows them; and the noise density from the Welch PSD. The rate comes
from dataLog<N>.json beside dataLog<N>.csv, else from --rate; given both, they
must agree. The log is split, never bridged, at lines with no component or
other columns and, in a log with a time column, at steps over 1.5 sample
periods. Figures are in counts; --scale COMPONENT=COUNTS_PER_UNIT:UNIT,...
(e.g. gyro=131:deg/s,accel=16384:g) gives a component's channels in its unit
(counts divided, no offset added); component names are those of --components,
in any case. --json FILE also writes the analysis as JSON to FILE, replaced
whole; with --json - stdout carries the JSON alone.

Exit status: 0 success; 1 sensor, link or file failure; 2 usage or input error
(for analyze also: not a data log, too short, no rate known).
diff: 0 the same; 1 different; 2 usage error; 3 sensor, link or file failure.
Messages go to stderr; stdout carries only the documented output.)";

// The program's two forms as usage lines, "or:" before the second as usage
// texts (and help2man, which makes each a line of the man page's synopsis)
// have it; a command's own help keeps the library's usage line.
class HelpFormat : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent() != nullptr) {
      return CLI::Formatter::make_usage(app, std::move(name));
    }
    return "Usage: veltrix-cli [--port PATH] [--mode i2c|spi] --model \"NAME\" COMMAND [ARGS...]\n"
           "   or: veltrix-cli analyze LOG.csv [--json FILE] [--scale LIST] [--rate HZ]\n";
  }
};

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  CLI::App app{"Reads, writes and records Veltrix motion sensors on an evaluation board.", "veltrix-cli"};
  app.formatter(std::make_shared<HelpFormat>());
  app.fallthrough();
  app.require_subcommand(1, 1);
  app.add_option("--port", args.port, "serial port of the board");
  app.add_option("--mode", args.mode, "bus for models that offer both (default i2c)")
      ->check(CLI::IsMember({"i2c", "spi"}));
  // Required by every command but analyze, which needs no board.
  app.add_option("--model", args.model, "sensor model: " + model_names())->check([](const std::string& name) {
    return find_model(name) != nullptr ? std::string() : "unknown model \"" + name + "\"";
  });

  CLI::App* info = app.add_subcommand("info", "print the modes, offered rates and components, and the current rate");
  CLI::App* map = app.add_subcommand("map", "print the register-map listing");
  CLI::App* read =
      app.add_subcommand("read", "ADDR LENGTH: read LENGTH registers (decimal) from ADDR (hexadecimal), one by one");
  read->add_option("ADDR", args.address, "first register, hexadecimal")->required();
  read->add_option("LENGTH", args.length_or_value, "number of registers, decimal")->required();
  CLI::App* write = app.add_subcommand("write", "ADDR VALUE: write VALUE to register ADDR (both hexadecimal)");
  write->add_option("ADDR", args.address, "register, hexadecimal")->required();
  write->add_option("VALUE", args.length_or_value, "value, hexadecimal")->required();
  CLI::App* save = app.add_subcommand("save", "FILE: save the register values to FILE");
  save->add_option("FILE", args.file)->required();
  CLI::App* load = app.add_subcommand("load", "FILE: write the register values in FILE to the sensor");
  load->add_option("FILE", args.file)->required();
  CLI::App* rate =
      app.add_subcommand("rate", "HZ: set the sampling rate (" + rate_list() + ") and print the rate read back");
  rate->add_option("HZ", args.rate_hz, "rate in Hz")->required()->transform(kDecimal);
  CLI::App* capture =
      app.add_subcommand("capture",
                         "[--rate HZ] [--components LIST] (--samples N | --seconds S) [--folder DIR] "
                         "[--no-console] [--report-json FILE] [--reconnect SECONDS]: run a capture; console text on "
                         "stdout, logs in DIR, the capture report on stderr");
  capture->add_option("--rate", args.capture_rate_hz, "apply this rate first: " + rate_list())->transform(kDecimal);
  capture->add_option("--components", args.components, "comma-separated from gyro,accel,compass,temp");
  CLI::App* stop = capture->add_option_group("stop", "when the capture ends");
  stop->add_option("--samples", args.capture.samples, "after N recorded samples")
      ->transform(kDecimal)
      ->check(CLI::Range(1, INT_MAX));
  stop->add_option("--seconds", args.capture.seconds, "after S seconds (decimal, at most a year)")->transform(kSeconds);
  stop->require_option(1);
  capture->add_option("--folder", args.folder, "write the data log and register log here");
  capture->add_flag("--no-console", args.no_console, "no console text on stdout");
  capture
      ->add_option("--mode", args.capture_mode,
                   "described (default): one read per component; fast: above 200 Hz the sensor's FIFO read "
                   "in bulk, else one block read per sample, where the sensor allows it, else described "
                   "with a note")
      ->check(CLI::IsMember({"described", "fast"}));
  capture->add_option("--report-json", args.report_json,
                      "also write the capture report as JSON to FILE (\"-\": stderr, after the line)");
  capture
      ->add_option("--reconnect", args.reconnect_seconds,
                   "when the board goes away, wait up to SECONDS for the same board, restore it and go on "
                   "with a new log segment")
      ->transform(kSeconds);
  CLI::App* selftest = app.add_subcommand("selftest", "run the sensor's self test");
  CLI::App* diff = app.add_subcommand(
      "diff", "FILE [FILE2]: print the registers whose values differ between the sensor and FILE, or FILE and FILE2");
  diff->add_option("FILE", args.file, "register-map file")->required();
  diff->add_option("FILE2", args.second_file, "second register-map file: compare the two, without the board");
  CLI::App* analyze = app.add_subcommand("analyze",
                                         "LOG.csv [--json FILE] [--scale LIST] [--rate HZ]: the noise analysis of "
                                         "a data log (no board): statistics, Allan deviation, noise terms, noise "
                                         "density");
  analyze->add_option("LOG", args.analyze.log_path, "the data log, dataLog<N>.csv")->required();
  analyze->add_option("--json", args.analyze.json, "also write the analysis as JSON to FILE (\"-\": stdout only)");
  analyze->add_option("--scale", args.analyze.scale,
                      "COMPONENT=COUNTS_PER_UNIT:UNIT,...: figures of that component's channels in UNIT");
  analyze->add_option("--rate", args.analyze.rate, "sample rate in Hz, for a log without a sidecar");
  app.footer(kFooter);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? kExitOk : kExitUsage;
  }
  if (*analyze) {
    return run_analyze(args.analyze);
  }
  if (args.model.empty()) {
    return usage_error("--model is required");
  }

  const ModelEntry& model = *find_model(args.model);
  std::unique_ptr<ikor> device = model.create();
  const int mode = args.mode == "spi" ? MODE_SPI : MODE_I2C;
  if ((device->get_available_modes() & mode) == 0) {
    return usage_error("--mode " + args.mode + ": " + model.name + " connects over I2C only");
  }

  std::optional<unsigned char> address;
  std::optional<unsigned char> value;
  int length = 0;
  if (*read) {
    address = parse_hex_entry(args.address);
    length = parse_leading_decimal(args.length_or_value);
    if (!address || !burst_length_accepted(length)) {
      return input_error();
    }
  }
  if (*write) {
    value = parse_hex_entry(args.length_or_value);
    address = parse_hex_entry(args.address);
    if (!value || !address) {
      return input_error();
    }
  }
  const RateChoice* chosen_rate = nullptr;
  if (*rate || (*capture && capture->count("--rate") != 0)) {
    const int hz = *rate ? args.rate_hz : args.capture_rate_hz;
    chosen_rate = find_rate(hz);
    if (chosen_rate == nullptr) {
      return usage_error("HZ: " + std::to_string(hz) + " is not one of " + rate_list());
    }
  }
  if (*capture) {
    if (args.components) {
      args.capture.components.emplace();
      if (const std::string refused = split_components(*args.components, *args.capture.components); !refused.empty()) {
        return usage_error(refused);
      }
    }
    args.capture.rate = chosen_rate;
    args.capture.console = !args.no_console;
    args.capture.fast = args.capture_mode == "fast";
    if (capture->count("--folder") != 0) {
      args.capture.folder = args.folder;
    }
    if (capture->count("--reconnect") != 0) {
      args.capture.reconnect_seconds = args.reconnect_seconds;
    }
    if (capture->count("--report-json") != 0) {
      args.capture.report_json = args.report_json;
    }
    if (!args.capture.console && !args.capture.folder) {
      return usage_error("--no-console needs --folder: the capture would have nowhere to go");
    }
    prepare_signals_for_capture();
  }

  veltrix::devices::set_device_diagnostic_stream(stderr);
  if (*diff && diff->count("FILE2") != 0) {
    return run_diff_files(*device, args.file, args.second_file);
  }
  if (*capture) {
    if (const int checked = veltrix::cli::check_capture_request(args.capture); checked != kExitOk) {
      return checked;
    }
  }
  veltrix::session::Session session;
  int status = *diff ? veltrix::cli::kExitDiffFailure : kExitFailure;
  if (session.connect(model, mode, args.port) != 0) {
    for (const std::string& line : veltrix::devices::connect_failure_lines(mode)) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  } else {
    device.reset();
    ikor* connected = session.device();
    if (*info) {
      status = run_info(*connected);
    }
    if (*map) {
      status = run_map(*connected);
    }
    if (*read) {
      status = run_read(*connected, args.address, *address, length);
    }
    if (*write) {
      status = run_write(*connected, *address, *value);
    }
    if (*save) {
      status = run_save(*connected, args.file);
    }
    if (*load) {
      status = run_load(*connected, args.file);
    }
    if (*rate) {
      status = run_rate(*connected, *chosen_rate);
    }
    if (*capture) {
      status = run_capture(session, args.capture);
    }
    if (*selftest) {
      status = run_selftest(*connected);
    }
    if (*diff) {
      status = run_diff(*connected, args.file);
    }
  }
  std::fflush(stdout);
  session.disconnect();
  return status;
}
