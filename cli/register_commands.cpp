#include "cli/register_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "devices/device_diagnostics.h"
#include "devices/device_status.h"
#include "devices/register_comparison.h"
#include "devices/register_operations.h"
#include "devices/register_sentences.h"

namespace veltrix::cli {

namespace {

void print_message(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

// Prints each message on a line of its own; true when there was one.
bool print_messages(const std::vector<veltrix::devices::OperatorMessage>& messages, const std::string& prefix = "") {
  for (const auto& message : messages) {
    print_message(prefix + veltrix::devices::message_line(message));
  }
  return !messages.empty();
}

// Names each register that read back otherwise; true when there was one.
bool report_read_back(const std::vector<veltrix::devices::ReadBackDifference>& differences) {
  for (const auto& difference : differences) {
    print_message(veltrix::devices::read_back_sentence(difference));
  }
  return !differences.empty();
}

int report_comparison(const veltrix::devices::RegisterComparison& comparison) {
  const bool compared =
      comparison.status != kStatusFileOpenFailed && comparison.status != kStatusFileRejected && !comparison.stopped;
  if (compared) {
    for (const auto& difference : comparison.differences) {
      std::printf("%s\n", veltrix::devices::difference_line(difference).c_str());
    }
    std::fflush(stdout);
  }
  if (print_messages(veltrix::devices::comparison_messages(comparison))) {
    return kExitDiffFailure;
  }
  return comparison.differences.empty() ? kExitOk : kExitDifferent;
}

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
  const int rate = veltrix::devices::current_rate_hz(device);
  if (rate == 0) {
    print_message(veltrix::devices::kRateUnreadable);
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
  // A board that went away midway must not pass for a sensor full of zeros.
  const auto listing = veltrix::devices::list_register_map(device);
  std::fwrite(listing.text.data(), 1, listing.text.size(), stdout);
  std::fflush(stdout);
  return print_messages(veltrix::devices::listing_messages(listing)) ? kExitFailure : kExitOk;
}

int run_read(ikor& device, const std::string& address_text, unsigned char address, int length) {
  const auto burst = veltrix::devices::read_register_burst(device, address_text, address, length);
  std::fwrite(burst.text.data(), 1, burst.text.size(), stdout);
  std::printf("\r\n");
  std::fflush(stdout);
  return print_messages(veltrix::devices::burst_messages(burst)) ? kExitFailure : kExitOk;
}

int run_write(ikor& device, unsigned char address, unsigned char value) {
  const auto write = veltrix::devices::write_register_value(device, address, value);
  if (print_messages(veltrix::devices::write_messages(write))) {
    return kExitFailure;
  }
  return report_read_back(write.read_back) ? kExitFailure : kExitOk;
}

int run_save(ikor& device, const std::string& file) {
  const auto saved = veltrix::devices::save_register_values(device, file);
  return print_messages(veltrix::devices::save_messages(saved)) ? kExitFailure : kExitOk;
}

int run_load(ikor& device, const std::string& file) {
  // The device reports a file it cannot open with its own text and no line
  // end; catch it so that it leads our message on one line.
  veltrix::devices::MapFileTransfer loaded;
  std::string prefix =
      veltrix::devices::diagnostic_of([&] { loaded = veltrix::devices::load_register_values(device, file); });
  if (!prefix.empty()) {
    prefix += ": ";
  }
  const bool differs = report_read_back(loaded.read_back);
  if (print_messages(veltrix::devices::load_messages(loaded), prefix)) {
    return kExitFailure;
  }
  return differs ? kExitFailure : kExitOk;
}

int apply_rate(ikor& device, const RateChoice& rate) {
  const auto change = veltrix::devices::change_sampling_rate(device, rate.constant);
  const bool differs = report_read_back(change.read_back);
  if (print_messages(veltrix::devices::rate_messages(change, rate.hz))) {
    return kExitFailure;
  }
  return differs ? kExitFailure : kExitOk;
}

int run_rate(ikor& device, const RateChoice& rate) {
  if (const int status = apply_rate(device, rate); status != kExitOk) {
    return status;
  }
  const int read_back = veltrix::devices::current_rate_hz(device);
  if (read_back == 0) {
    print_message(veltrix::devices::kRateUnreadable);
    return kExitFailure;
  }
  std::printf("%d\n", read_back);
  return kExitOk;
}

int run_diff(ikor& device, const std::string& second) {
  return report_comparison(veltrix::devices::compare_sensor_with_file(device, second));
}

int run_diff_files(ikor& device, const std::string& first, const std::string& second) {
  return report_comparison(veltrix::devices::compare_files(device, first, second));
}

int run_selftest(ikor& device) {
  std::printf("supported: %s\n", device.is_self_test_supported() ? "yes" : "no");
  const bool passed = device.perform_self_test() != 0;
  std::printf("result: %s\n", passed ? "pass" : "fail");
  return passed ? kExitOk : kExitFailure;
}

}  // namespace veltrix::cli
