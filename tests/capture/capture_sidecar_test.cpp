// The sidecar beside a logged capture: its content against the capture that
// wrote it, the whole-file replacement it is written with (read while being
// rewritten), and a rewrite that fails.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <thread>

#include "capture/capture_control.h"
#include "capture/capture_settings.h"
#include "capture/capture_sidecar.h"
#include "capture/whole_file.h"
#include "devices/register_operations.h"
#include "tests/capture/capture_fixture.h"

namespace veltrix::capture::test {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

TEST(WholeFileTest, AReaderFindsTheOldTextOrTheNewNeverAPart) {
  char pattern[] = "/tmp/veltrix-whole-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path folder = pattern;
  const std::string path = (folder / "described.json").string();
  // Large enough that a write in place would be seen half done.
  const std::string texts[] = {std::string(300'000, 'a'), std::string(200'000, 'b') + "\n"};

  ASSERT_EQ(replace_file_whole(path, texts[0]), 0);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int i = 1; i <= 300; ++i) {
      EXPECT_EQ(replace_file_whole(path, texts[i % 2]), 0);
    }
    writing = false;
  });
  int reads = 0;
  while (writing) {
    const std::string seen = read_file(path);
    ASSERT_TRUE(seen == texts[0] || seen == texts[1]) << "read " << reads << " found " << seen.size() << " bytes";
    ++reads;
  }
  writer.join();
  EXPECT_GT(reads, 0);
  EXPECT_EQ(read_file(path), texts[0]);

  // A failed replacement leaves the old file and no temporary one.
  std::filesystem::create_directory(path + ".tmp/");
  std::filesystem::create_directory(path + ".tmp/blocks-the-name");
  EXPECT_NE(replace_file_whole(path, texts[1]), 0);
  EXPECT_EQ(read_file(path), texts[0]);
  EXPECT_EQ(replace_file_whole((folder / "absent" / "x.json").string(), "{}"), ENOENT);
  std::filesystem::remove_all(folder);
}

TEST(CaptureSidecarReadTest, WhatIsWrittenReadsBackAndOtherTextIsRefused) {
  char pattern[] = "/tmp/veltrix-sidecar-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path folder = pattern;
  SidecarFacts facts;
  facts.description = {"KOR 23", "kor23", "SPI", "/dev/ttyACM0"};
  facts.paths = {7, (folder / "dataLog7.csv").string(), (folder / "dataLog7_reg.txt").string()};
  facts.rate_hz = 8000;
  facts.components = COMPONENT_GYRO | COMPONENT_COMPASS;
  facts.header = "Gyro_X, Gyro_Y, Gyro_Z,Comp_X, Comp_Y, Comp_Z";
  const CaptureReport report{16000, 1999.875, 8000, 8000.5, 21.25, 3, 170};

  for (const CaptureReport* written : {static_cast<const CaptureReport*>(nullptr), &report}) {
    ASSERT_EQ(write_sidecar(facts, written), 0);
    const SidecarReading reading = read_sidecar(read_file(sidecar_path(facts.paths.data_log)));
    ASSERT_TRUE(reading.sidecar) << reading.error;
    const SidecarContents& read = *reading.sidecar;
    EXPECT_EQ(read.model, "KOR 23");
    EXPECT_EQ(read.device_class, "kor23");
    EXPECT_EQ(read.rate_hz, 8000);
    EXPECT_EQ(read.components, facts.components);
    EXPECT_EQ(read.columns, (std::vector<std::string>{"Gyro_X", "Gyro_Y", "Gyro_Z", "Comp_X", "Comp_Y", "Comp_Z"}));
    EXPECT_EQ(read.data_log, "dataLog7.csv");
    EXPECT_EQ(read.register_log, "dataLog7_reg.txt");
    ASSERT_EQ(read.report.has_value(), written != nullptr);
    if (written != nullptr) {
      EXPECT_EQ(report_json(*read.report), report_json(report));
      EXPECT_EQ(read.report->duration_ms, report.duration_ms);
    }
  }
  std::filesystem::remove_all(folder);

  for (const char* text :
       {"", "[1,2]", "{\"rate_hz\": 100}",
        "{\"rate_hz\": 100, \"components\": [\"sonar\"], \"columns\": [], \"report\": null}",
        "{\"rate_hz\": 100, \"components\": [], \"columns\": [], \"report\": {\"samples\": \"many\"}}"}) {
    const SidecarReading reading = read_sidecar(text);
    EXPECT_FALSE(reading.sidecar) << text;
    EXPECT_FALSE(reading.error.empty()) << text;
  }
}

// Seconds since the epoch of "YYYY-MM-DDTHH:MM:SS.mmm+HH:MM"; nullopt when
// the text has another shape.
std::optional<double> iso8601_seconds(const std::string& text) {
  std::smatch parts;
  if (!std::regex_match(text, parts,
                        std::regex(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)\.(\d{3})([+-])(\d\d):(\d\d))"))) {
    return std::nullopt;
  }
  tm fields{};
  fields.tm_year = std::stoi(parts[1]) - 1900;
  fields.tm_mon = std::stoi(parts[2]) - 1;
  fields.tm_mday = std::stoi(parts[3]);
  fields.tm_hour = std::stoi(parts[4]);
  fields.tm_min = std::stoi(parts[5]);
  fields.tm_sec = std::stoi(parts[6]);
  const int offset_s = (parts[8] == "-" ? -1 : 1) * (std::stoi(parts[9]) * 3600 + std::stoi(parts[10]) * 60);
  return static_cast<double>(timegm(&fields) - offset_s) + std::stoi(parts[7]) / 1000.0;
}

double now_seconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class CaptureSidecarTest : public CaptureTest {
 protected:
  void TearDown() override {
    settings::FastCapture = false;
    CaptureTest::TearDown();
  }

  // The registers read again at the end, as the sidecar of the one data log
  // of the folder writes and reads them; both must agree.
  json registers_at_end() const {
    const std::string text = read_file(only(".json"));
    const SidecarReading reading = read_sidecar(text);
    EXPECT_TRUE(reading.sidecar) << reading.error;
    const json written = json::parse(text, nullptr, false)["registers_at_end"];
    if (reading.sidecar && reading.sidecar->registers_at_end) {
      EXPECT_EQ(json::parse(registers_at_end_json(*reading.sidecar->registers_at_end).dump()), written);
    } else {
      ADD_FAILURE() << "read_sidecar found no registers read again";
    }
    return written;
  }

  // The one file of the folder with `extension`; empty when not exactly one.
  std::filesystem::path only(const std::string& extension) const {
    std::vector<std::filesystem::path> found;
    for (const auto& file : files_in_folder()) {
      if (file.extension() == extension) {
        found.push_back(file);
      }
    }
    EXPECT_EQ(found.size(), 1u) << extension;
    return found.size() == 1 ? found[0] : std::filesystem::path();
  }
};

TEST_F(CaptureSidecarTest, DescribesTheCaptureAtItsStartAndHoldsItsReportAtTheEnd) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO | COMPONENT_TEMP);
  log_to(folder());
  const double started = now_seconds();
  std::optional<json> at_start;
  CaptureRecorder log(20);
  log.after_sample = [&](int count) {
    // On the capture thread: the first sample's sidecar is in place.
    if (count == 2) {
      at_start = json::parse(read_file(only(".json")), nullptr, false);
    }
  };
  veltrix::capture::control::CaptureOptions options = log.options();
  options.description = {"KOR 73", "kor73", "I2C", board_->port_path()};
  ASSERT_TRUE(veltrix::capture::control::start(*device_, std::move(options)));
  ASSERT_TRUE(log.wait_for(20, 10s));
  veltrix::capture::control::wait();
  const double ended = now_seconds();

  ASSERT_TRUE(at_start.has_value());
  ASSERT_FALSE(at_start->is_discarded());
  EXPECT_TRUE((*at_start)["report"].is_null());
  EXPECT_EQ(log.failures(), "");

  const json sidecar = json::parse(read_file(only(".json")), nullptr, false);
  ASSERT_FALSE(sidecar.is_discarded());
  EXPECT_EQ(sidecar["program"], "Veltrix Universal Data Logger");
  EXPECT_FALSE(sidecar["version"].get<std::string>().empty());
  EXPECT_EQ(sidecar["model"], "KOR 73");
  EXPECT_EQ(sidecar["device_class"], "kor73");
  EXPECT_EQ(sidecar["bus"], "I2C");
  EXPECT_EQ(sidecar["port"], board_->port_path());
  EXPECT_EQ(sidecar["rate_hz"], 100);
  EXPECT_EQ(sidecar["components"], json({"gyroscope", "temperature"}));
  // The columns are the data log's header, label by label.
  const std::string header = split_lines(data_log_text(), "\r\n").at(0);
  EXPECT_EQ(header, "Time,Gyro_X, Gyro_Y, Gyro_Z,Temp");
  EXPECT_EQ(sidecar["columns"], json({"Time", "Gyro_X", "Gyro_Y", "Gyro_Z", "Temp"}));
  EXPECT_EQ(sidecar["units"], "raw counts");
  EXPECT_EQ(sidecar["data_log"], only(".csv").filename().string());
  EXPECT_EQ(sidecar["register_log"], only(".txt").filename().string());
  EXPECT_EQ(only(".json").stem(), only(".csv").stem());
  EXPECT_EQ(sidecar["overview"], only(".bin").filename().string());

  const auto start_time = iso8601_seconds(sidecar["start_time"].get<std::string>());
  ASSERT_TRUE(start_time.has_value()) << sidecar["start_time"];
  EXPECT_GE(*start_time, started - 0.001);
  EXPECT_LE(*start_time, ended);

  const std::optional<CaptureReport> report = log.report();
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(report->samples, 20);
  EXPECT_EQ(sidecar["report"], json::parse(report_json(*report).dump()));
  // Nothing left of the rewrites.
  EXPECT_EQ(files_in_folder().size(), 4u);
}

// A fast capture from the FIFO borrows the FIFO's registers and gives them
// back: nothing changed.
TEST_F(CaptureSidecarTest, AFastCaptureThatGaveBackTheFifoListsNoRegisterChanged) {
  connect("kor23", "KOR 23", RATE_8KHZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  settings::FastCapture = true;
  ASSERT_EQ(capture(400)->failures(), "");
  EXPECT_EQ(registers_at_end(), json::parse(R"({"read_again": true, "changed": []})"));
}

// A register the operator writes from another thread while samples are taken
// is listed with its value at each end. A board gone at the end lists nothing
// it could not read.
TEST_F(CaptureSidecarTest, ListsTheRegistersThatChangedDuringTheCapture) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  const std::uint8_t accel_config = board_->reg(0x1C);
  const std::uint8_t written = accel_config ^ 0x18;
  CaptureRecorder disturbed;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, disturbed.options()));
  ASSERT_TRUE(disturbed.wait_for(3, 10s));
  const auto write = veltrix::devices::write_register_value(*device_, 0x1C, written);
  EXPECT_EQ(write.status, 0);
  EXPECT_TRUE(write.read_back.empty());
  ASSERT_TRUE(disturbed.wait_for(6, 10s));
  veltrix::capture::control::request_stop();
  veltrix::capture::control::wait();
  char start_text[8];
  char end_text[8];
  std::snprintf(start_text, sizeof start_text, "0x%02X", accel_config);
  std::snprintf(end_text, sizeof end_text, "0x%02X", written);
  EXPECT_EQ(registers_at_end(),
            json({{"read_again", true},
                  {"changed",
                   {{{"address", "1C"}, {"name", "ACCEL_CONFIG"}, {"at_start", start_text}, {"at_end", end_text}}}}}));

  std::filesystem::remove_all(folder());
  std::filesystem::create_directory(folder());
  CaptureRecorder unplugged;
  ASSERT_TRUE(veltrix::capture::control::start(*device_, unplugged.options()));
  ASSERT_TRUE(unplugged.wait_for(3, 10s));
  // Changed, then gone: the change cannot be seen.
  EXPECT_EQ(veltrix::devices::write_register_value(*device_, 0x1C, accel_config).status, 0);
  veltrix::sim::Faults hangup;
  hangup.hangup_after = 0;
  board_->set_faults(hangup);
  EXPECT_TRUE(ends_by_itself(5s));
  veltrix::capture::control::wait();
  EXPECT_EQ(registers_at_end(),
            json({{"read_again", false},
                  {"why", "The registers could not be read again at the end. The link to the board was lost."}}));
}

// The end's rewrite cannot happen: the operator hears of it, and the sidecar
// of the start stays whole.
TEST_F(CaptureSidecarTest, ARewriteThatFailsIsReportedAndLeavesTheFirstSidecar) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_ACCEL);
  log_to(folder());
  CaptureRecorder log(5);
  std::string blocked;
  log.after_sample = [&](int count) {
    if (count == 1) {
      blocked = only(".json").string() + ".tmp";
      std::filesystem::create_directories(blocked + "/in-the-way");
    }
  };
  ASSERT_TRUE(veltrix::capture::control::start(*device_, log.options()));
  ASSERT_TRUE(log.wait_for(5, 10s));
  veltrix::capture::control::wait();

  const std::string sidecar_path = blocked.substr(0, blocked.size() - 4);
  EXPECT_EQ(log.failures(), "Unable to write the capture description " + sidecar_path + ": Is a directory");
  const json sidecar = json::parse(read_file(sidecar_path), nullptr, false);
  ASSERT_FALSE(sidecar.is_discarded());
  EXPECT_TRUE(sidecar["report"].is_null());
  EXPECT_TRUE(sidecar["model"].is_null());  // no description given
  EXPECT_EQ(sidecar["components"], json({"accelerometer"}));
}

// A full disk (a file-size limit here) refuses the register log and the
// sidecar: each is said once with its reason, and neither is left in part.
TEST_F(CaptureSidecarTest, AFullDiskIsToldOnceForEachFileWithItsReason) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO);
  log_to(folder());
  std::unique_ptr<CaptureRecorder> log;
  {
    veltrix::test::FileSizeLimit limit(512);
    log = capture(5);
  }
  const std::filesystem::path data_log = only(".csv");
  const std::string stem = (data_log.parent_path() / data_log.stem()).string();
  EXPECT_EQ(log->failures(), "Unable to write the register log " + stem +
                                 "_reg.txt: File too large\n"
                                 "Unable to write the capture description " +
                                 stem + ".json: File too large");
  // The data log and its overview: no part of either refused file.
  EXPECT_EQ(files_in_folder().size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(stem + "_overview.bin"));
  EXPECT_EQ(split_lines(read_file(data_log), "\r\n").size(), 6u);
}

// A register the board will not read in a fast capture, whose register log is
// read before the first sample: the message says what became of the log, and
// the sidecar names it only where it exists.
TEST_F(CaptureSidecarTest, ARegisterLogCutShortIsNamedOnlyWhereItExists) {
  connect("kor73", "KOR 73", RATE_100HZ);
  select(COMPONENT_GYRO);
  settings::FastCapture = true;
  log_to(folder());
  veltrix::sim::Faults failing;
  failing.fail_reads = 0x1C;  // ACCEL_CONFIG: in the register log, in no sample
  board_->set_faults(failing);
  const auto log = capture(5);

  const json sidecar = json::parse(read_file(only(".json")), nullptr, false);
  const std::filesystem::path data_log = only(".csv");
  const std::string register_log = data_log.stem().string() + "_reg.txt";
  const std::string path = (data_log.parent_path() / register_log).string();
  if (std::filesystem::exists(path)) {
    EXPECT_EQ(log->failures(), "A register could not be read for the register log " + path + "; it shows 0");
    EXPECT_EQ(sidecar["register_log"], register_log);
  } else {
    EXPECT_EQ(log->failures(), "The register log " + path + " was not written: a register could not be read");
    EXPECT_TRUE(sidecar["register_log"].is_null());
    EXPECT_EQ(registers_at_end(),
              json({{"read_again", false},
                    {"why",
                     "The registers could not be read again at the end. No register log was written to "
                     "compare them with."}}));
  }
}

}  // namespace
}  // namespace veltrix::capture::test
