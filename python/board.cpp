#include "python/board.h"

#include <atomic>
#include <cstdio>

#include "devices/component_choices.h"
#include "devices/device_connection.h"
#include "devices/device_diagnostics.h"
#include "devices/model_catalogue.h"
#include "devices/rate_choices.h"
#include "devices/register_comparison.h"
#include "devices/register_input.h"
#include "devices/register_operations.h"
#include "devices/register_row.h"
#include "devices/register_sentences.h"
#include "python/held_signals.h"
#include "python/script_error.h"

namespace veltrix::python {
namespace {

using devices::OperatorMessage;
using devices::ReadBackDifference;

// The link is the process's one: a second board would take it from the first.
std::atomic<bool> board_open{false};

std::vector<std::string> lines_of(const std::vector<OperatorMessage>& messages, const std::string& prefix = "") {
  std::vector<std::string> lines;
  for (const OperatorMessage& message : messages) {
    lines.push_back(prefix + devices::message_line(message));
  }
  return lines;
}

// Throws the operation's failures, else its registers that read back
// otherwise, in the words and the order of veltrix-cli.
void throw_failures(const std::vector<std::string>& failures, const std::vector<ReadBackDifference>& read_back) {
  std::vector<std::string> lines;
  for (const ReadBackDifference& difference : read_back) {
    lines.push_back(devices::read_back_sentence(difference));
  }
  if (!failures.empty()) {
    lines.insert(lines.end(), failures.begin(), failures.end());
    throw ScriptError(ErrorKind::kRegister, lines);
  }
  if (!lines.empty()) {
    throw ScriptError(ErrorKind::kReadBack, lines);
  }
}

unsigned char byte_argument(int value, const char* what) {
  if (value < 0 || value > 0xFF) {
    throw ScriptError(ErrorKind::kUsage, std::string(what) + " " + std::to_string(value) + " is not 0 to 0xFF.");
  }
  return static_cast<unsigned char>(value);
}

std::string row_name(const RegisterRow* row) {
  return row != nullptr ? std::string(devices::field_text(row->name)) : std::string();
}

}  // namespace

Board::Board(const std::string& model_name, const std::string& port, const std::string& bus) {
  const ModelEntry* model = find_model(model_name);
  if (model == nullptr) {
    throw ScriptError(ErrorKind::kUsage, "unknown model \"" + model_name + "\"");
  }
  if (bus != "i2c" && bus != "spi") {
    throw ScriptError(ErrorKind::kUsage, "bus \"" + bus + "\" is neither \"i2c\" nor \"spi\"");
  }
  const int mode = bus == "spi" ? MODE_SPI : MODE_I2C;
  if ((model->create()->get_available_modes() & mode) == 0) {
    throw ScriptError(ErrorKind::kUsage, "bus spi: " + std::string(model->name) + " connects over I2C only");
  }
  if (board_open.exchange(true)) {
    throw ScriptError(ErrorKind::kUsage, "A board is already connected in this process; close it first.");
  }
  devices::set_device_diagnostic_stream(stderr);
  long status = 0;
  {
    const HeldSignals held;
    status = session_.connect(*model, mode, port);
  }
  if (status != 0) {
    board_open.store(false);
    throw ScriptError(ErrorKind::kConnect, devices::connect_failure_lines(mode));
  }
}

Board::~Board() { close(); }

void Board::close() {
  if (closed_) {
    return;
  }
  session_.stop();
  while (!session_.wait_for(std::chrono::seconds(1))) {
  }
  session_.disconnect();
  closed_ = true;
  board_open.store(false);
}

std::string Board::name() const { return closed_ ? std::string() : session_.board_name(); }

ikor& Board::device() {
  ikor* device = closed_ ? nullptr : session_.device();
  if (device == nullptr) {
    throw ScriptError(ErrorKind::kUsage, "The board is closed.");
  }
  return *device;
}

BoardInfo Board::info() {
  ikor& sensor = device();
  BoardInfo info;
  info.rate = rate();
  info.modes.push_back("i2c");
  if ((sensor.get_available_modes() & MODE_SPI) != 0) {
    info.modes.push_back("spi");
  }
  for (const devices::RateChoice& choice : devices::rate_choices()) {
    if ((sensor.get_available_sampling_rates() & choice.constant) != 0) {
      info.rates.push_back(choice.hz);
    }
  }
  for (const devices::ComponentChoice& choice : devices::component_choices()) {
    if ((sensor.get_available_components() & choice.id) != 0) {
      info.components.push_back(choice.name);
    }
  }
  return info;
}

std::vector<int> Board::read(int address, int length) {
  const unsigned char first = byte_argument(address, "address");
  if (!burst_length_accepted(length) || length < 1) {
    throw ScriptError(ErrorKind::kUsage, "length " + std::to_string(length) + " is not 1 to 255.");
  }
  char typed[3];
  std::snprintf(typed, sizeof typed, "%02X", first);
  const devices::BurstRead burst = devices::read_register_burst(device(), typed, first, length);
  throw_failures(lines_of(devices::burst_messages(burst)), {});
  return {burst.values.begin(), burst.values.end()};
}

void Board::write(int address, int value) {
  const devices::RegisterWrite write =
      devices::write_register_value(device(), byte_argument(address, "address"), byte_argument(value, "value"));
  throw_failures(lines_of(devices::write_messages(write)), write.read_back);
}

std::vector<RegisterValue> Board::registers() {
  ikor& sensor = device();
  const devices::MapListing listing = devices::list_register_map(sensor);
  throw_failures(lines_of(devices::listing_messages(listing)), {});
  const RegisterRow* rows = sensor.get_register_list();
  std::vector<RegisterValue> out;
  for (std::size_t i = 0; i < listing.values.size(); ++i) {
    out.push_back({sensor.lookup_address(rows[i].name), row_name(&rows[i]), listing.values[i]});
  }
  return out;
}

void Board::save(const std::string& path) {
  throw_failures(lines_of(devices::save_messages(devices::save_register_values(device(), path))), {});
}

void Board::load(const std::string& path) {
  // The device tells of a file it cannot open in a text of its own; it leads
  // the message, as on veltrix-cli's line.
  devices::MapFileTransfer loaded;
  std::string prefix = devices::diagnostic_of([&] { loaded = devices::load_register_values(device(), path); });
  throw_failures(lines_of(devices::load_messages(loaded), prefix.empty() ? "" : prefix + ": "), loaded.read_back);
}

std::vector<RegisterDiff> Board::diff(const std::string& path) {
  const devices::RegisterComparison comparison = devices::compare_sensor_with_file(device(), path);
  throw_failures(lines_of(devices::comparison_messages(comparison)), {});
  std::vector<RegisterDiff> out;
  for (const devices::RegisterDifference& difference : comparison.differences) {
    out.push_back({difference.row != nullptr ? devices::row_address(*difference.row) : 0, row_name(difference.row),
                   difference.first, difference.second});
  }
  return out;
}

int Board::rate() {
  const int hz = devices::current_rate_hz(device());
  if (hz == 0) {
    throw ScriptError(ErrorKind::kRegister, devices::kRateUnreadable);
  }
  return hz;
}

void Board::set_rate(int hz) {
  const devices::RateChoice* choice = devices::find_rate(hz);
  if (choice == nullptr) {
    std::string offered;
    for (const devices::RateChoice& rate : devices::rate_choices()) {
      offered += (offered.empty() ? "" : ", ") + std::to_string(rate.hz);
    }
    throw ScriptError(ErrorKind::kUsage, "rate " + std::to_string(hz) + " is not one of " + offered);
  }
  const devices::RateChange change = devices::change_sampling_rate(device(), choice->constant);
  throw_failures(lines_of(devices::rate_messages(change, hz)), change.read_back);
}

}  // namespace veltrix::python
