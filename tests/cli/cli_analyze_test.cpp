// veltrix-cli analyze end to end against data logs written by the capture's
// writer: a simulated sensor at rest, a log with gaps, refused input, and
// files that are no log or sidecar (a hole, a device, a FIFO, a giant).

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "analysis/allan_deviation.h"
#include "sim/noise_model.h"
#include "sim/sample_formula.h"
#include "tests/analysis/test_log.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/text_files.h"

namespace veltrix::cli::test {
namespace {

using nlohmann::json;
using veltrix::analysis::test::TestLog;
using veltrix::analysis::test::write_test_sidecar;
using veltrix::sim::Channel;

constexpr double kSigma = 20;

// What the simulated board sends at rest with --white-noise kSigma: sample 1's
// values plus the noise of each sample; 60 s at 1 kHz (no time column).
void write_at_rest_log(const std::string& path, int rate_hz, int samples) {
  veltrix::sim::NoiseModel noise({kSigma, 0, 7});
  const int components = COMPONENT_GYRO | COMPONENT_TEMP;
  TestLog log(path, false, components);
  capture::SampleValues values;
  for (int n = 0; n < samples; ++n) {
    for (int axis = 0; axis < 3; ++axis) {
      const auto channel = static_cast<Channel>(static_cast<int>(Channel::GyroX) + axis);
      values.gyro[axis] = noise.apply(channel, static_cast<std::uint64_t>(n), veltrix::sim::sample_value(channel, 1));
    }
    values.temp[0] =
        noise.apply(Channel::Temp, static_cast<std::uint64_t>(n), veltrix::sim::sample_value(Channel::Temp, 1));
    log.sample(values, n * 1000.0 / rate_hz);
  }
  log.close(samples);
  write_test_sidecar(path, rate_hz, components, samples);
}

TEST(CliAnalyzeTest, ASimulatedSensorAtRestGivesItsWhiteNoise) {
  TempFolder folder("analyze");
  const std::string log = folder.file("dataLog5.csv");
  const int rate = 1000;
  const int samples = 60 * rate;
  write_at_rest_log(log, rate, samples);
  const std::string report = folder.file("report.json");
  write_file(report, "an older report");

  ProgramRun run = run_program(VELTRIX_CLI, {"analyze", log, "--json", report});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* text : {"60000 samples at 1000 Hz (sidecar)", "Gyro_X (counts)", "Gyro_Z (counts)", "Temp (counts)",
                           "Allan deviation", "white noise:", "bias instability:", "upper bound", "noise density:"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  }
  EXPECT_FALSE(std::filesystem::exists(report + ".tmp"));
  const json document = json::parse(read_file(report));
  EXPECT_EQ(document["rate_hz"], 1000.0);
  EXPECT_EQ(document["segments"], 1);
  ASSERT_EQ(document["channels"].size(), 4u);
  const char* names[] = {"Gyro_X", "Gyro_Y", "Gyro_Z", "Temp"};
  for (std::size_t c = 0; c < 4; ++c) {
    const json& channel = document["channels"][c];
    SCOPED_TRACE(names[c]);
    EXPECT_EQ(channel["name"], names[c]);
    EXPECT_EQ(channel["samples"], samples);
    EXPECT_NEAR(channel["std"].get<double>(), kSigma, 0.03 * kSigma);
    EXPECT_NEAR(channel["mean"].get<double>(), veltrix::sim::sample_value(static_cast<Channel>(c == 3 ? 6 : c), 1),
                0.5);
    const json& adev = channel["adev"];
    ASSERT_GE(adev.size(), 12u);  // 1 ms to 6 s: 13 octaves
    EXPECT_DOUBLE_EQ(adev[0][0].get<double>(), 0.001);
    EXPECT_LE(adev.back()[0].get<double>(), samples / 10.0 / rate);
    // White noise: σ at one sample, falling as 1/√τ.
    EXPECT_NEAR(adev[0][1].get<double>(), kSigma, 0.03 * kSigma);
    EXPECT_NEAR(adev[10][1].get<double>(), kSigma / 32, 0.15 * kSigma / 32);
    EXPECT_NEAR(channel["white_noise"].get<double>(), kSigma / std::sqrt(rate), 0.05 * kSigma / std::sqrt(rate));
    EXPECT_NEAR(channel["noise_density"].get<double>(), kSigma * std::sqrt(2.0 / rate),
                0.05 * kSigma * std::sqrt(2.0 / rate));
    EXPECT_TRUE(channel["bias_instability"]["upper_bound"].get<bool>());
    EXPECT_TRUE(channel["rate_random_walk"].is_null());
    EXPECT_FALSE(channel.contains("unit"));
  }

  // Scaled: the gyroscope's figures in its unit, the temperature's in counts;
  // the JSON alone on stdout.
  run = run_program(VELTRIX_CLI, {"analyze", log, "--scale", "Gyro=4:deg/s", "--json", "-"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const json scaled = json::parse(run.out);
  EXPECT_EQ(scaled["channels"][1]["unit"], "deg/s");
  EXPECT_EQ(scaled["channels"][1]["scale"], 4.0);
  EXPECT_DOUBLE_EQ(scaled["channels"][1]["std"].get<double>(), document["channels"][1]["std"].get<double>() / 4);
  EXPECT_DOUBLE_EQ(scaled["channels"][1]["white_noise"].get<double>(),
                   document["channels"][1]["white_noise"].get<double>() / 4);
  EXPECT_EQ(scaled["channels"][3], document["channels"][3]);

  // A unit in Latin-1 (a degree sign) still gives valid JSON.
  const char latin1_celsius[] = {'\xb0', 'C', '\0'};
  run = run_program(VELTRIX_CLI, {"analyze", log, "--scale", std::string("temp=340:") + latin1_celsius, "--json", "-"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(json::parse(run.out)["channels"][3]["unit"], "\uFFFDC");
}

// Three gap-free runs with different biases, parted by a line with no
// component, a line with other columns and a time step of three periods.
TEST(CliAnalyzeTest, ALogWithGapsEqualsItsSegmentsPooled) {
  TempFolder folder("analyze");
  const std::string log_path = folder.file("dataLog2.csv");
  const int rate = 200;
  const std::vector<int> lengths = {3000, 2500, 4000, 1200};
  std::vector<std::vector<std::int16_t>> runs;
  {
    TestLog log(log_path, true, COMPONENT_GYRO);
    veltrix::sim::NoiseModel noise({5, 0, 11});
    double ms = 0;
    std::uint64_t n = 0;
    for (std::size_t r = 0; r < lengths.size(); ++r) {
      if (r == 1) {
        log.line(0, {}, ms);
      } else if (r == 2) {
        log.line(COMPONENT_GYRO | COMPONENT_TEMP, {}, ms);
      } else if (r == 3) {
        ms += 2 * 1000.0 / rate;
      }
      runs.emplace_back();
      capture::SampleValues values;
      for (int i = 0; i < lengths[r]; ++i, ++n, ms += 1000.0 / rate) {
        // A bias far apart per run: bridging any gap would show at once.
        values.gyro[0] = noise.apply(Channel::GyroX, n, static_cast<std::int16_t>(4000 * r));
        runs.back().push_back(static_cast<std::int16_t>(values.gyro[0]));
        log.sample(values, ms);
      }
    }
    log.close();
  }

  const ProgramRun run = run_program(VELTRIX_CLI, {"analyze", log_path, "--rate", "200", "--json", "-"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  const json document = json::parse(run.out);
  EXPECT_EQ(document["segments"], 4);
  const json& channel = document["channels"][0];
  EXPECT_EQ(channel["samples"], 3000 + 2500 + 4000 + 1200);

  std::vector<veltrix::analysis::Segment> segments(runs.begin(), runs.end());
  const auto pooled = veltrix::analysis::allan_deviation(segments, rate);
  ASSERT_TRUE(pooled);
  ASSERT_EQ(channel["adev"].size(), pooled->size());
  for (std::size_t i = 0; i < pooled->size(); ++i) {
    EXPECT_DOUBLE_EQ(channel["adev"][i][0].get<double>(), (*pooled)[i].tau_s);
    EXPECT_DOUBLE_EQ(channel["adev"][i][1].get<double>(), (*pooled)[i].adev);
  }
  EXPECT_NEAR(channel["adev"][0][1].get<double>(), 5, 0.5);

  const ProgramRun text = run_program(VELTRIX_CLI, {"analyze", log_path, "--rate", "200"});
  EXPECT_NE(text.out.find("in 4 gap-free segments"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("Split at 1 lines with no component, 1 lines with other columns, 1 time steps"),
            std::string::npos)
      << text.out;
}

TEST(CliAnalyzeTest, HelpDescribesTheCommandAndItNeedsNoModel) {
  const ProgramRun run = run_program(VELTRIX_CLI, {"--help"});
  EXPECT_EQ(run.exit_status, 0);
  for (const char* word : {"analyze LOG.csv [--json FILE] [--scale LIST] [--rate HZ]", "--scale", "--json",
                           "COMPONENT=COUNTS_PER_UNIT:UNIT", "needs no board and no --model", "not a data log"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
  }
  const ProgramRun info = run_program(VELTRIX_CLI, {"info"});
  EXPECT_EQ(info.exit_status, 2);
  EXPECT_EQ(info.err.rfind("--model is required\n", 0), 0u) << info.err;
}

TEST(CliAnalyzeTest, BadInputIsRefusedWithItsReason) {
  TempFolder folder("analyze");
  const std::string log = folder.file("dataLog1.csv");
  write_at_rest_log(log, 1000, 200);
  const std::string bare = folder.file("bare.csv");
  std::filesystem::copy_file(log, bare);
  const std::string text = folder.file("notes.csv");
  write_file(text, "hello\r\nworld\r\n");
  const std::string short_log = folder.file("short.csv");
  {
    TestLog few(short_log, true, COMPONENT_GYRO);
    for (int i = 0; i < 8; ++i) {
      few.sample({}, i * 10.0);
    }
    few.close();
  }

  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"analyze", text, "--rate", "100"}, 2, text + " is not a data log: The first line is not a data log header"},
      {{"analyze", short_log, "--rate", "100"}, 2, short_log + " is too short for the smallest tau"},
      {{"analyze", log, "--scale", "gyro=131:deg/s,foo=1:x"}, 2, "--scale: \"foo\" is not a component"},
      {{"analyze", log, "--scale", "gyro=0:deg/s"}, 2, "--scale: \"0\" is not a number of counts per unit"},
      {{"analyze", log, "--scale", "gyro=131"}, 2, "--scale: \"gyro=131\" is not COMPONENT=COUNTS_PER_UNIT:UNIT"},
      {{"analyze", log, "--scale", "gyro=1:a,GYRO=2:b"}, 2, "--scale: gyro is given twice"},
      {{"analyze", bare}, 2, "No sample rate is known: there is no sidecar " + folder.file("bare.json")},
      {{"analyze", log, "--rate", "200"}, 2, "The rate given, 200 Hz, disagrees with the sidecar"},
      {{"analyze", bare, "--rate", "0x10"}, 2, "--rate: \"0x10\" is not a rate in Hz"},
      {{"analyze", log, "--json", folder.path().string()}, 2, "--json: \"" + folder.path().string() + "\" is not"},
      {{"analyze", log, "--json", log}, 2, "--json: \"" + log + "\" is " + log + ", which it would overwrite"},
      {{"analyze", log, "--json", folder.file("dataLog1.json")}, 2, "--json: \"" + folder.file("dataLog1.json")},
      {{"analyze", folder.file("missing.csv"), "--rate", "100"}, 1, "Unable to read " + folder.file("missing.csv")},
      {{"analyze", log, "--json", folder.file("no/such.json")}, 1, "Unable to write " + folder.file("no/such.json")},
  };
  for (const Case& c : cases) {
    const ProgramRun run = run_program(VELTRIX_CLI, c.args);
    SCOPED_TRACE(c.args[1] + " " + (c.args.size() > 2 ? c.args[2] + " " + c.args[3] : ""));
    EXPECT_EQ(run.exit_status, c.status) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << run.err;
  }
  EXPECT_EQ(read_file(bare), read_file(log));
}

// Neither a log nor its sidecar is read beyond what it could be: a sparse
// file of 64 GB whose header is followed by a hole, a link to /dev/zero and a
// FIFO nobody writes are refused at once (and not taken in whole, which
// aborted the command or hung it), as are a sidecar far larger than any, one
// whose rate is not a whole number, and one whose rate the time column
// contradicts.
TEST(CliAnalyzeTest, WhatIsNoLogOrSidecarIsRefusedWithoutReadingItAll) {
  TempFolder folder("analyze-files");
  const std::string hole = folder.file("hole.csv");
  write_file(hole, "Time,Gyro_X, Gyro_Y, Gyro_Z\r\n");
  ASSERT_EQ(truncate(hole.c_str(), off_t{64} << 30), 0);
  const std::string zero = folder.file("zero.csv");
  std::filesystem::create_symlink("/dev/zero", zero);
  const std::string fifo = folder.file("fifo.csv");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  // Logs at 100 Hz with a time column, each with a sidecar of its own.
  auto log_with_sidecar = [&](const std::string& name, int sidecar_hz) {
    const std::string path = folder.file(name + ".csv");
    TestLog log(path, true, COMPONENT_GYRO);
    for (int i = 0; i < 100; ++i) {
      log.sample({}, i * 10.0);
    }
    log.close();
    write_test_sidecar(path, sidecar_hz, COMPONENT_GYRO, 100);
    return path;
  };
  auto set_rate = [&](const std::string& log, const json& rate) {
    json sidecar = json::parse(read_file(folder.file(std::filesystem::path(log).stem().string() + ".json")));
    sidecar["rate_hz"] = rate;
    write_file(folder.file(std::filesystem::path(log).stem().string() + ".json"), sidecar.dump(2));
  };
  const std::string zero_sidecar = log_with_sidecar("zero_sidecar", 100);
  std::filesystem::remove(folder.file("zero_sidecar.json"));
  std::filesystem::create_symlink("/dev/zero", folder.file("zero_sidecar.json"));
  const std::string fifo_sidecar = log_with_sidecar("fifo_sidecar", 100);
  std::filesystem::remove(folder.file("fifo_sidecar.json"));
  ASSERT_EQ(mkfifo(folder.file("fifo_sidecar.json").c_str(), 0600), 0);
  const std::string giant_sidecar = log_with_sidecar("giant_sidecar", 100);
  ASSERT_EQ(truncate(folder.file("giant_sidecar.json").c_str(), off_t{100} << 20), 0);
  const std::string text_rate = log_with_sidecar("text_rate", 100);
  set_rate(text_rate, "100");
  const std::string fraction_rate = log_with_sidecar("fraction_rate", 100);
  set_rate(fraction_rate, 100.5);
  const std::string twice = log_with_sidecar("twice", 200);
  const std::string given_twice = log_with_sidecar("given_twice", 100);
  std::filesystem::remove(folder.file("given_twice.json"));

  auto not_a_sidecar = [&](const std::string& log) {
    return "The sidecar " + folder.file(std::filesystem::path(log).stem().string() + ".json") +
           " is not a capture's description: ";
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"analyze", hole, "--rate", "100"},
       hole + " is not a data log: line 2 holds NUL bytes, which no data log has (a hole where lines should be).\n"},
      {{"analyze", zero, "--rate", "100"}, zero + " is not a data log: It is not a regular file.\n"},
      {{"analyze", fifo, "--rate", "100"}, fifo + " is not a data log: It is not a regular file.\n"},
      {{"analyze", zero_sidecar}, not_a_sidecar(zero_sidecar) + "It is not a regular file.\n"},
      {{"analyze", fifo_sidecar}, not_a_sidecar(fifo_sidecar) + "It is not a regular file.\n"},
      {{"analyze", giant_sidecar}, not_a_sidecar(giant_sidecar) + "It is larger than any sidecar (over 1 MiB).\n"},
      {{"analyze", text_rate}, not_a_sidecar(text_rate) + "\"rate_hz\" is \"100\", not a number.\n"},
      {{"analyze", fraction_rate},
       not_a_sidecar(fraction_rate) + "\"rate_hz\" is 100.5, not a whole number of hertz.\n"},
      {{"analyze", twice},
       twice +
           ": Its time column steps by 10 ms between samples at the median, which does not fit 200 Hz (a step "
           "of 5 ms). The rate is the sidecar's, " +
           folder.file("twice.json") + ".\n"},
      {{"analyze", given_twice, "--rate", "50"},
       given_twice + ": Its time column steps by 10 ms between samples at the median, which does not fit 50 Hz (a "
                     "step of 20 ms). Give the log's rate with --rate HZ.\n"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args[1]);
    const ProgramRun run = run_program(VELTRIX_CLI, args, {}, std::chrono::seconds(30));
    EXPECT_EQ(run.exit_status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, message);
  }
}

}  // namespace
}  // namespace veltrix::cli::test
