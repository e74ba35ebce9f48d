#include "cli/register_commands.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/exit_status.h"
#include "devices/device_diagnostics.h"
#include "devices/device_status.h"
#include "devices/register_listing.h"
#include "devices/register_map_file_access.h"
#include "link/board_protocol.h"

namespace veltrix::cli {

namespace {

void print_message(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

// " (reason)" for a register-map file that could not be used, "" when none is known.
std::string file_problem() {
  const std::string& problem = veltrix::devices::register_map_file_problem();
  return problem.empty() ? "" : " (" + problem + ")";
}

// 0 when the rate cannot be read back.
int current_rate(ikor& device) {
  unsigned char divider = 0;
  unsigned char filter = 0;
  return device.get_current_sampling_rate(divider, filter);
}

constexpr const char* kRateUnreadable = "Unable to read the sampling rate back from the sensor.";
constexpr const char* kLinkLost = "The link to the board was lost.";
constexpr const char* kReadError = "Sensor Read Error. There was an error while reading register value.";
constexpr const char* kWriteError = "Sensor Write Error. There was an error while updating register value.";

std::string join_offered_rates(int offered) {
  std::string text;
  for (const RateChoice& rate : rate_choices()) {
    if ((offered & rate.constant) != 0) {
      text += text.empty() ? "" : ",";
      text += std::to_string(rate.hz);
    }
  }
  return text;
}

std::string join_offered_components(int offered) {
  std::string text;
  for (const ComponentChoice& component : component_choices()) {
    if ((offered & component.id) != 0) {
      text += text.empty() ? "" : ",";
      text += component.name;
    }
  }
  return text;
}

}  // namespace

int run_info(ikor& device) {
  const int rate = current_rate(device);
  if (rate == 0) {
    print_message(kRateUnreadable);
    return kExitFailure;
  }
  const int modes = device.get_available_modes();
  std::printf("modes: i2c%s\n", (modes & MODE_SPI) != 0 ? ",spi" : "");
  std::printf("rates: %s\n", join_offered_rates(device.get_available_sampling_rates()).c_str());
  std::printf("components: %s\n", join_offered_components(device.get_available_components()).c_str());
  std::printf("rate: %d\n", rate);
  return kExitOk;
}

int run_map(ikor& device) {
  // Row by row rather than fetch_register_map, which shows a register it
  // cannot read as 0: a board that went away midway must not pass for a
  // sensor full of zeros.
  const RegisterRow* rows = device.get_register_list();
  std::string line;
  for (int i = 0; i < device.get_register_list_size(); ++i) {
    unsigned char value = 0;
    if (device.read_from_register(static_cast<char>(device.lookup_address(rows[i].name)), value) != 0) {
      std::fflush(stdout);
      print_message(std::string(vtx_serial_lost() ? kLinkLost : kReadError) + " The listing stops at register " +
                    rows[i].address + ", which could not be read.");
      return kExitFailure;
    }
    line.clear();
    veltrix::devices::append_listing_line(line, rows[i], value);
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return kExitOk;
}

int run_read(ikor& device, const std::string& address_text, unsigned char address, int length) {
  std::printf("Read Burst Addr:%s Length %d\r\n", address_text.c_str(), length);
  int status = kExitOk;
  for (int i = 0; i < length; ++i) {
    unsigned char value = 0;
    if (device.read_from_register(static_cast<char>((address + i) % 256), value) != 0) {
      print_message(kReadError);
      status = kExitFailure;
      continue;
    }
    std::printf("0x%02X ", value);
  }
  std::printf("\r\n");
  return status;
}

int run_write(ikor& device, unsigned char address, unsigned char value) {
  if (device.write_to_register(static_cast<char>(address), static_cast<char>(value)) != 0) {
    print_message(kWriteError);
    return kExitFailure;
  }
  return kExitOk;
}

int run_save(ikor& device, const std::string& file) {
  switch (device.save_register_map(file.c_str())) {
    case 0:
      return kExitOk;
    case kStatusFileOpenFailed:
      print_message("Unable to write the register-map file " + file + file_problem() + ".");
      return kExitFailure;
    default:
      print_message(std::string(kReadError) + " The register-map file " + file + " holds 0 for it.");
      return kExitFailure;
  }
}

int run_load(ikor& device, const std::string& file) {
  // The device reports a file it cannot open with its own text and no line
  // end; catch it so that it leads our message on one line.
  char* diagnostic = nullptr;
  std::size_t diagnostic_size = 0;
  std::FILE* diagnostic_stream = open_memstream(&diagnostic, &diagnostic_size);
  if (diagnostic_stream != nullptr) {
    veltrix::devices::set_device_diagnostic_stream(diagnostic_stream);
  }
  const long status = device.load_register_map(file.c_str());
  veltrix::devices::set_device_diagnostic_stream(stderr);
  std::string prefix;
  if (diagnostic_stream != nullptr) {
    std::fclose(diagnostic_stream);
    prefix.assign(diagnostic, diagnostic_size);
    std::free(diagnostic);
  }
  if (!prefix.empty()) {
    prefix += ": ";
  }

  switch (status) {
    case 0:
      return kExitOk;
    case kStatusFileRejected:
      print_message(prefix + "The register-map file " + file +
                    " does not match this sensor's register table; nothing was written.");
      return kExitFailure;
    case kStatusFileOpenFailed:
      print_message(prefix + "Unable to read the register-map file " + file + file_problem() +
                    "; nothing was written.");
      return kExitFailure;
    default:
      print_message(kWriteError);
      return kExitFailure;
  }
}

int apply_rate(ikor& device, const RateChoice& rate) {
  if (device.set_sampling_rate(rate.constant) != 0) {
    print_message("The sensor does not offer " + std::to_string(rate.hz) + " Hz.");
    return kExitFailure;
  }
  return kExitOk;
}

int run_rate(ikor& device, const RateChoice& rate) {
  if (const int status = apply_rate(device, rate); status != kExitOk) {
    return status;
  }
  const int read_back = current_rate(device);
  if (read_back == 0) {
    print_message(kRateUnreadable);
    return kExitFailure;
  }
  std::printf("%d\n", read_back);
  return kExitOk;
}

int run_selftest(ikor& device) {
  std::printf("supported: %s\n", device.is_self_test_supported() ? "yes" : "no");
  const bool passed = device.perform_self_test() != 0;
  std::printf("result: %s\n", passed ? "pass" : "fail");
  return passed ? kExitOk : kExitFailure;
}

}  // namespace veltrix::cli
