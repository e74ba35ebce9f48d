// The register-map listing and the register-map file against the simulated
// sensor: listing text, both file forms round trip, refused files write
// nothing, files that cannot be opened or are not regular files are reported
// with their reason.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "devices/device_diagnostics.h"
#include "devices/register_map_file_access.h"
#include "devices/register_operations.h"
#include "devices/register_row.h"
#include "tests/devices/sim_board.h"
#include "tests/support/temp_folder.h"
#include "tests/support/text_files.h"
#include "tests/support/timing.h"

namespace veltrix::devices::test {
namespace {

using veltrix::test::read_file;
using veltrix::test::TempFolder;
using veltrix::test::write_file;
namespace fs = std::filesystem;

// The lines of a text that must end with a line end.
std::vector<std::string> whole_lines(const std::string& text, const std::string& end) {
  EXPECT_TRUE(text.empty() || text.ends_with(end)) << "text after the last line end";
  return veltrix::test::split_lines(text, end);
}

TEST(Listing, ShowsEveryRowWithItsPlantedValue) {
  SimBoard board("hep11");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, 0x13, 0x0A);
  board.set_register(0x68, 0x6B, 0x41);
  const auto lines = whole_lines(device->fetch_register_map(), "\r\n");
  ASSERT_EQ(lines.size(), 28u);
  EXPECT_EQ(lines[0], "13 | 19  | XG_OFFS_USRH       |  00001010\t0a");
  EXPECT_EQ(lines[22], "6B | 107 | PWR_MGMT_1         |  01000001\t41");
  EXPECT_EQ(lines[27], "75 | 117 | WHO_AM_I           |  01101000\t68");
}

TEST(Listing, LongestNameAndSelectedRowsInTheirOrder) {
  SimBoard board("kor24");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, 0x67, 0x03);
  const unsigned char rows[] = {65, 0, 200, 73};
  board.clear_commands();
  EXPECT_EQ(device->fetch_selected_registers(rows, 4),
            "67 | 103 | I2C_MST_DELAY_CTRL |  00000011\t03\r\n"
            "0D | 13  | SELF_TEST_X        |  01001100\t4c\r\n"
            "75 | 117 | WHO_AM_I           |  01101000\t68\r\n");
  EXPECT_EQ(board.lines().size(), 3u) << "the row past the table is not read";
  EXPECT_EQ(device->fetch_selected_registers(rows, 0), "");
  EXPECT_EQ(device->fetch_selected_registers(rows, -1), "");
}

TEST(Listing, FailedReadShowsZero) {
  SimBoard board("naf38");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.go_silent();
  const unsigned char rows[] = {21};
  EXPECT_EQ(device->fetch_selected_registers(rows, 1), "75 | 117 | WHO_AM_I           |  00000000\t00\r\n");
}

// Registers that neither the sample clock nor a read changes.
constexpr std::uint8_t kQuietRegisters[] = {0x1B, 0x1C, 0x6B, 0x6C};

TEST(MapFile, TextFormSavesEveryRowAndLoadsItBack) {
  const TempFolder dir("devices");
  const std::string path = dir.file("kor42.txt");
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  for (const auto reg : kQuietRegisters) {
    board.set_register(0x68, reg, 0xA0 + reg % 16);
  }

  ASSERT_EQ(device->save_register_map(path.c_str()), 0);
  const auto lines = whole_lines(read_file(path), "\n");
  ASSERT_EQ(lines.size(), 87u);
  EXPECT_EQ(lines[0], "01 :   00 ");
  EXPECT_EQ(lines[3], "1B :   AB ");
  EXPECT_EQ(lines[86], "75 :   68 ");

  for (const auto reg : kQuietRegisters) {
    board.set_register(0x68, reg, 0x00);
  }
  board.clear_commands();
  ASSERT_EQ(device->load_register_map(path.c_str()), 0);
  for (const auto reg : kQuietRegisters) {
    EXPECT_EQ(board.reg(reg), 0xA0 + reg % 16) << int(reg);
  }

  const auto writes = board.sensor_writes();
  ASSERT_EQ(writes.size(), 87u);
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].reg, std::stoi(lines[i].substr(0, 2), nullptr, 16)) << i;
    EXPECT_EQ(writes[i].value, std::stoi(lines[i].substr(7, 2), nullptr, 16)) << i;
  }
}

TEST(MapFile, BinaryFormIsOneBytePerRowAndLoadsBack) {
  const TempFolder dir("devices");
  const std::string path = dir.file("kor21.bin");
  SimBoard board("kor21");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, 0x3E, 0x5A);  // PWR_MGM, the last row

  ASSERT_EQ(device->save_register_map(path.c_str()), 0);
  const std::string content = read_file(path);
  ASSERT_EQ(content.size(), 35u);
  EXPECT_EQ(static_cast<unsigned char>(content[0]), 0x68);  // WHO_AM_I
  EXPECT_EQ(static_cast<unsigned char>(content[34]), 0x5A);

  board.set_register(0x68, 0x3E, 0x00);
  board.clear_commands();
  ASSERT_EQ(device->load_register_map(path.c_str()), 0);
  EXPECT_EQ(board.reg(0x3E), 0x5A);
  EXPECT_EQ(board.sensor_writes().size(), 35u);
}

TEST(MapFile, IdenticalTablesShareFiles) {
  const TempFolder dir("devices");
  const std::string path = dir.file("kor46.txt");
  {
    SimBoard board("kor46");
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->save_register_map(path.c_str()), 0);
  }
  SimBoard board("kor73");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->load_register_map(path.c_str()), 0);
}

TEST(MapFile, RefusedFilesWriteNothing) {
  const TempFolder dir("devices");
  const std::string hep11_file = dir.file("hep11.txt");
  {
    SimBoard board("hep11");
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->save_register_map(hep11_file.c_str()), 0);
  }
  const std::string saved = read_file(hep11_file);
  auto with_line = [&](int index, const std::string& line) {
    auto lines = whole_lines(saved, "\n");
    lines[index] = line;
    std::string out;
    for (const auto& l : lines) {
      out += l + "\n";
    }
    return out;
  };

  struct Refused {
    const char* name;
    std::string content;
  };
  const Refused cases[] = {
      {"cut short", saved.substr(0, saved.size() - 11)},      {"one line over", saved + "76 :   00 \n"},
      {"bad third line", with_line(2, "xx :   00 ")},         {"bad last line", with_line(27, "75 :   ")},
      {"address of another row", with_line(5, "19 :   00 ")}, {"empty", ""},
  };
  SimBoard board("hep11");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  for (const Refused& c : cases) {
    const std::string path = dir.file("refused.txt");
    write_file(path, c.content);
    board.clear_commands();
    EXPECT_EQ(device->load_register_map(path.c_str()), kStatusFileRejected) << c.name;
    EXPECT_TRUE(board.lines().empty()) << c.name;
  }

  // Another family's file: other rows, other count.
  SimBoard other("kor24");
  auto kor24 = other.connect();
  ASSERT_NE(kor24, nullptr);
  other.clear_commands();
  EXPECT_EQ(kor24->load_register_map(hep11_file.c_str()), kStatusFileRejected);
  EXPECT_TRUE(other.lines().empty());
}

TEST(MapFile, BinaryFileOfTheWrongSizeWritesNothing) {
  const TempFolder dir("devices");
  SimBoard board("kor21");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  for (const std::size_t size : {0u, 34u, 36u}) {
    const std::string path = dir.file("wrong.bin");
    write_file(path, std::string(size, '\x01'));
    board.clear_commands();
    EXPECT_EQ(device->load_register_map(path.c_str()), kStatusFileRejected) << size;
    EXPECT_TRUE(board.lines().empty()) << size;
  }
}

class DiagnosticCapture {
 public:
  DiagnosticCapture() : file_(std::tmpfile()) { set_device_diagnostic_stream(file_); }
  ~DiagnosticCapture() {
    set_device_diagnostic_stream(stdout);
    std::fclose(file_);
  }
  std::string text() {
    std::rewind(file_);
    std::string out;
    for (int c; (c = std::fgetc(file_)) != EOF;) {
      out.push_back(static_cast<char>(c));
    }
    return out;
  }

 private:
  std::FILE* file_;
};

TEST(MapFile, FilesThatCannotBeOpenedAreReportedWithoutBusTraffic) {
  const TempFolder dir("devices");
  for (const char* family : {"kor42", "kor21"}) {
    SimBoard board(family);
    auto device = board.connect();
    ASSERT_NE(device, nullptr);
    board.clear_commands();
    const std::string missing = dir.file("missing/map.txt");
    RegisterOutcome saved;
    EXPECT_EQ(device->save_register_map_checked(missing.c_str(), saved), kStatusFileOpenFailed) << family;
    EXPECT_EQ(saved.file_problem, "No such file or directory") << family;
    EXPECT_FALSE(fs::exists(missing));

    DiagnosticCapture diagnostics;
    RegisterOutcome loaded;
    EXPECT_EQ(device->load_register_map_checked(missing.c_str(), loaded), kStatusFileOpenFailed) << family;
    EXPECT_EQ(loaded.file_problem, "No such file or directory") << family;
    EXPECT_EQ(diagnostics.text(), "fopen failed") << family;
    EXPECT_TRUE(board.lines().empty()) << family;
  }
}

// Runs `call` on a thread of its own and gives its status and the reason it
// gave. An open that blocks on the FIFO fails the test; opening and closing
// the FIFO's other end then lets it go (its read or write then ends at once),
// so the suite does not hang.
std::pair<long, std::string> within_a_second(const std::string& fifo,
                                             const std::function<long(RegisterOutcome&)>& call) {
  auto result = std::async(std::launch::async, [&] {
    RegisterOutcome outcome;
    const long status = call(outcome);
    return std::pair{status, outcome.file_problem};
  });
  if (result.wait_for(std::chrono::seconds(1)) != std::future_status::ready) {
    ADD_FAILURE() << "the open waited for the FIFO";
    std::signal(SIGPIPE, SIG_IGN);
    close(open(fifo.c_str(), O_RDWR | O_NONBLOCK));
    return result.get();
  }
  return result.get();
}

TEST(MapFile, OnlyRegularFilesAreOpenedAndAFifoIsRefusedAtOnce) {
  const TempFolder dir("devices");
  const std::string fifo = dir.file("map.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.clear_commands();
  const std::pair<long, std::string> refused{kStatusFileOpenFailed, "not a regular file"};

  DiagnosticCapture diagnostics;
  const auto load = [&](RegisterOutcome& outcome) { return device->load_register_map_checked(fifo.c_str(), outcome); };
  const auto save = [&](RegisterOutcome& outcome) { return device->save_register_map_checked(fifo.c_str(), outcome); };
  EXPECT_EQ(within_a_second(fifo, load), refused);
  EXPECT_EQ(diagnostics.text(), "fopen failed");
  EXPECT_EQ(within_a_second(fifo, save), refused);

  // With a reader waiting on the FIFO, the save still sends it nothing.
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(within_a_second(fifo, save), refused);
  char byte = 0;
  EXPECT_LE(read(reader, &byte, 1), 0);
  close(reader);

  RegisterOutcome null_device;
  EXPECT_EQ(device->save_register_map_checked("/dev/null", null_device), kStatusFileOpenFailed);
  EXPECT_EQ(null_device.file_problem, "not a regular file");
  EXPECT_TRUE(board.lines().empty()) << "the sensor was touched";
}

TEST(MapFile, ALostBoardStopsTheSaveAndLeavesNoFileClaimingItsValues) {
  const TempFolder dir("devices");
  const std::string saved = dir.file("naf38.txt");
  SimBoard board("naf38");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(device->save_register_map(saved.c_str()), 0);
  const std::string before = read_file(saved);

  sim::Faults faults;
  faults.hangup_after = 0;
  board.set_faults(faults);
  const std::string lost = dir.file("lost.txt");
  EXPECT_EQ(device->save_register_map(lost.c_str()), kStatusWriteOrTimeout);
  EXPECT_FALSE(fs::exists(lost));
  EXPECT_EQ(device->save_register_map(saved.c_str()), kStatusWriteOrTimeout);
  EXPECT_EQ(read_file(saved), before);

  EXPECT_EQ(device->load_register_map(saved.c_str()), kStatusWriteOrTimeout);
}

TEST(MapFile, LoadStopsAtTheFirstWriteLeftUnanswered) {
  const TempFolder dir("devices");
  const std::string path = dir.file("naf38.txt");
  SimBoard board("naf38");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  board.set_register(0x68, 0x6B, 0x41);  // PWR_MGMT_1, near the end of the table
  ASSERT_EQ(device->save_register_map(path.c_str()), 0);
  board.set_register(0x68, 0x6B, 0x00);

  board.go_silent();
  board.clear_commands();
  auto loaded = std::async(std::launch::async, [&] { return device->load_register_map(path.c_str()); });
  // The first write goes unanswered; the board would answer the rest.
  EXPECT_TRUE(veltrix::test::eventually([&] { return !board.lines().empty(); }));
  board.set_faults({});

  EXPECT_EQ(loaded.get(), kStatusWriteOrTimeout);
  EXPECT_EQ(board.sensor_writes().size(), 1u);
  EXPECT_EQ(board.reg(0x6B), 0x00);
}

// A read-back answered one byte too long fails its register: a load goes on
// with every row after it, a rate change (whose writes make a rate only
// together) stops there, and each says so in the known sentence first.
TEST(MapFile, AMalformedReadBackFailsItsRegisterAndOnlyTheRateStopsThere) {
  const TempFolder dir("devices");
  const std::string path = dir.file("kor42.txt");
  SimBoard board("kor42");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  ASSERT_EQ(save_register_values(*device, path).status, 0);
  const RegisterRow* smplrt_div = row_of(*device, device->lookup_address("SMPLRT_DIV"));
  ASSERT_NE(smplrt_div, nullptr);
  sim::Faults malformed;
  malformed.long_reads = {row_address(*smplrt_div)};
  board.set_faults(malformed);

  board.clear_commands();
  const MapFileTransfer loaded = load_register_values(*device, path);
  EXPECT_EQ(loaded.status, kStatusNoReply);
  EXPECT_FALSE(loaded.stopped);
  ASSERT_EQ(loaded.bad_replies.size(), 1u);
  EXPECT_EQ(loaded.bad_replies[0].row, smplrt_div);
  EXPECT_EQ(static_cast<int>(board.sensor_writes().size()), device->get_register_list_size());
  ASSERT_EQ(load_messages(loaded).size(), 1u);
  EXPECT_EQ(message_line(load_messages(loaded)[0]),
            std::string(kSensorWriteError) +
                " The board gave a malformed reply for register 19 (SMPLRT_DIV); the load went on past it.");

  const RateChange change = change_sampling_rate(*device, RATE_100HZ);
  EXPECT_EQ(change.status, kStatusNoReply);
  ASSERT_TRUE(change.stopped);
  EXPECT_TRUE(change.stopped->written);
  EXPECT_EQ(message_line(rate_messages(change, 100).at(0)),
            std::string(kSensorWriteError) +
                " The board gave a malformed reply. Register 19 (SMPLRT_DIV) was written but could not be read back; "
                "the sampling rate is not known.");
}

TEST(MapFile, WriteFailureIsReported) {
  SimBoard board("naf38");
  auto device = board.connect();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->save_register_map("/dev/full"), kStatusFileOpenFailed);

  // A regular file that cannot take the whole map: the write fails and says why.
  const TempFolder dir("devices");
  const std::string path = dir.file("big.txt");
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  RegisterOutcome too_large;
  const long status = device->save_register_map_checked(path.c_str(), too_large);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(status, kStatusFileOpenFailed);
  EXPECT_EQ(too_large.file_problem, "File too large");

  RegisterOutcome saved;
  EXPECT_EQ(device->save_register_map_checked(path.c_str(), saved), 0);
  EXPECT_EQ(saved.file_problem, "");
}

}  // namespace
}  // namespace veltrix::devices::test
