// The data log read back: whatever the capture's writer writes comes back
// equal, also fed as a log still being written; bad input gives an error
// value naming the line.

#include "capture/data_log_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "capture/sample_format.h"

namespace veltrix::capture {
namespace {

struct WrittenSample {
  int time_ms = 0;
  int components = 0;  // 0: a gap
  SampleValues values;
};

struct WrittenLog {
  int rate_hz = 0;
  int components = 0;
  std::vector<WrittenSample> samples;
  int total_time_ms = 0;
  std::string text;
};

// A capture's log as its writer writes it, with random values that include
// the 16-bit extremes, times that may repeat, and the odd gap.
WrittenLog random_log(std::mt19937& random) {
  constexpr int kRates[] = {20, 100, 200, 500, 1000, 8000};
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_int_distribution<int> count(-32768, 32767);
  WrittenLog log;
  log.rate_hz = kRates[pick(random) % std::size(kRates)];
  log.components = 1 + pick(random) % veltrix::devices::kAllComponents;
  const bool timed = data_log_has_time(log.rate_hz);
  SampleText line;
  format_header(line, timed, log.components);
  log.text.append(line.view()).append(kLineEnd);
  int time_ms = pick(random);
  for (int n = pick(random) % 40; n > 0; --n) {
    WrittenSample sample;
    time_ms += pick(random) % 3 == 0 ? 0 : pick(random) * 1000;
    sample.time_ms = time_ms;
    sample.components = pick(random) < 5 ? 0 : log.components;
    for (const int component : kColumnOrder) {
      for (int axis = 0; axis < 3; ++axis) {
        const int choice = pick(random);
        sample.values.of(component)[axis] = static_cast<float>(choice < 10   ? -32768
                                                               : choice < 20 ? 32767
                                                                             : count(random));
      }
    }
    format_sample_line(line, sample.components, sample.values, timed ? std::optional<double>(time_ms) : std::nullopt);
    log.text.append(line.view()).append(kLineEnd);
    log.samples.push_back(sample);
  }
  if (!timed) {
    log.total_time_ms = time_ms;
    format_summary(line, time_ms, static_cast<int>(log.samples.size()));
    log.text.append(line.view());
  }
  return log;
}

// Reads `text` as a log being written: the reader sees it grow by random
// pieces, and goes on from where a cut line stopped it.
std::vector<DataLogRecord> read_growing(const std::string& text, DataLogReader& reader, std::mt19937& random) {
  std::uniform_int_distribution<std::size_t> piece(1, 120);
  std::size_t visible = std::min(text.size(), piece(random));
  std::size_t read = 0;
  std::vector<DataLogRecord> records;
  bool started = false;
  for (;;) {
    std::string_view rest(text.data() + read, visible - read);
    DataLogRecord record;
    const DataLogStatus status = started ? reader.next(rest, record) : reader.start(rest);
    read = visible - rest.size();
    if (status == DataLogStatus::kRead) {
      if (started) {
        records.push_back(record);
      }
      started = true;
    } else if (visible < text.size()) {
      EXPECT_TRUE(status == DataLogStatus::kCutLine || status == DataLogStatus::kEnd) << reader.error_message();
      visible = std::min(text.size(), visible + piece(random));
    } else {
      EXPECT_EQ(status, DataLogStatus::kEnd) << reader.error_message();
      EXPECT_EQ(read, text.size());
      return records;
    }
  }
}

TEST(DataLogReaderTest, WhatTheWriterWritesReadsBackEqualAtEveryRateAndComponentSet) {
  std::mt19937 random(20240501);
  for (int round = 0; round < 300; ++round) {
    const WrittenLog log = random_log(random);
    SCOPED_TRACE(testing::Message() << "round " << round << ", " << log.rate_hz << " Hz, components " << log.components
                                    << "\n"
                                    << log.text);
    DataLogReader reader;
    const std::vector<DataLogRecord> records = read_growing(log.text, reader, random);
    const bool timed = data_log_has_time(log.rate_hz);
    EXPECT_EQ(reader.columns().has_time, timed);
    EXPECT_EQ(reader.columns().components, log.components);
    ASSERT_EQ(records.size(), log.samples.size() + (timed ? 0 : 1));
    for (std::size_t i = 0; i < log.samples.size(); ++i) {
      const WrittenSample& written = log.samples[i];
      const DataLogRecord& record = records[i];
      ASSERT_EQ(record.kind, written.components == 0 ? DataLogLine::kGap : DataLogLine::kSample) << i;
      if (timed) {
        EXPECT_EQ(record.time_ms, written.time_ms) << i;
      }
      int column = 0;
      for (const int component : kColumnOrder) {
        const int axes = component == COMPONENT_TEMP ? 1 : 3;
        for (int axis = 0; axis < axes && (written.components & component) != 0; ++axis, ++column) {
          const auto at = static_cast<std::size_t>(column);
          EXPECT_EQ(reader.columns().channels[at],
                    static_cast<PlotChannel>(PlotSample::first_channel_of(component) + axis));
          EXPECT_EQ(record.values[at], written.values.of(component)[axis]) << "sample " << i << ", column " << column;
        }
      }
    }
    if (!timed) {
      EXPECT_EQ(records.back().kind, DataLogLine::kSummary);
      EXPECT_EQ(records.back().total_time_ms, log.total_time_ms);
      EXPECT_EQ(records.back().total_samples, static_cast<int>(log.samples.size()));
    }
  }
}

TEST(DataLogReaderTest, BadInputIsAnErrorValueNamingTheLine) {
  const std::string timed = "Time,Gyro_X, Gyro_Y, Gyro_Z\r\n";
  const std::string untimed = "Gyro_X, Gyro_Y, Gyro_Z\r\n";
  const std::string line = "     12,    -1,     2,     3\r\n";
  const struct {
    const char* name;
    std::string text;
    std::size_t shown;  // bytes the reader is given; the rest lies beyond its view
    DataLogStatus status;
    const char* message;
  } cases[] = {
      {"no bytes", "", 0, DataLogStatus::kEmpty, "The file is empty."},
      {"foreign header", "name,value\r\nspeed,12\r\n", 22, DataLogStatus::kForeignHeader, "not a data log header"},
      {"binary", std::string("\x89PNG\0\0\n", 7), 7, DataLogStatus::kForeignHeader, "not a data log header"},
      {"header cut short", timed, 10, DataLogStatus::kCutLine, "line 1 is cut short"},
      {"line cut before its line end", timed + line, timed.size() + line.size() - 1, DataLogStatus::kCutLine,
       "line 2 is cut short"},
      {"line cut inside a number", timed + line, timed.size() + line.size() - 3, DataLogStatus::kCutLine,
       "line 2 is cut short"},
      {"word in a value", timed + line + "     22,    -1,  high,     3\r\n", std::string::npos,
       DataLogStatus::kNotANumber, "line 3: \"high\" is not a number."},
      {"sign inside a value", timed + "     12,   1-2,     2,     3\r\n", std::string::npos, DataLogStatus::kNotANumber,
       "line 2: \"1-2\" is not a number."},
      {"empty field", timed + "     12,      ,     2,     3\r\n", std::string::npos, DataLogStatus::kNotANumber,
       "line 2: \"\" is not a number."},
      {"beyond a 16-bit count", timed + "     12, 32768,     2,     3\r\n", std::string::npos,
       DataLogStatus::kOutOfRange, "line 2: \"32768\" is out of range"},
      {"time backwards", timed + line + "     11,    -1,     2,     3\r\n", std::string::npos,
       DataLogStatus::kTimeBackwards, "line 3: the time goes backwards."},
      {"summary cut short", untimed + "    -1,     2,     3\r\nTotal Time       9 ms\r\n", std::string::npos,
       DataLogStatus::kCutLine, "line 4: the closing summary is incomplete."},
      {"summary without number", untimed + "Total Time    many ms\r\n Total Sample recorded 1 \r\n", std::string::npos,
       DataLogStatus::kSummaryIncomplete, "line 2: the closing summary is incomplete."},
      {"text after the summary",
       untimed + "Total Time       9 ms\r\n Total Sample recorded       0 \r\n        \r\nmore\r\n", std::string::npos,
       DataLogStatus::kTextAfterSummary, "line 5: text after the closing summary."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string_view text = std::string_view(c.text).substr(0, c.shown);
    DataLogReader reader;
    DataLogStatus status = reader.start(text);
    DataLogRecord record;
    while (status == DataLogStatus::kRead) {
      const std::string_view before = text;
      status = reader.next(text, record);
      if (status != DataLogStatus::kRead) {
        EXPECT_EQ(text, before) << "a line that fails is left unread";
      }
    }
    EXPECT_EQ(status, c.status);
    EXPECT_NE(reader.error_message().find(c.message), std::string::npos) << reader.error_message();
  }
}

// Lines of one width are read from the layout of the last; those that only
// look alike, and a log read in parts by readers that resume, read as they
// do read whole, errors naming the same lines.
TEST(DataLogReaderTest, ResumedPartsAndLinesOfOneWidthReadAsTheWholeDoes) {
  const std::string timed = "Time,Gyro_X, Gyro_Y, Gyro_Z\r\n";
  const std::string lines =
      "     10,     1,    -2,     3\r\n"
      "     11,   -4 ,     5,     6\r\n"   // a blank after a number
      "     12, -32768, 32767,     0\r\n"  // wider: read field by field
      "     13,-32768, 32767,    -0\r\n"
      "     14\r\n"  // a gap
      "     15,     7,     8,     9\r\n";
  const auto read_all = [](DataLogReader& reader, std::string_view text, std::vector<DataLogRecord>& records) {
    DataLogRecord record;
    DataLogStatus status;
    while ((status = reader.next(text, record)) == DataLogStatus::kRead) {
      records.push_back(record);
    }
    return status;
  };
  std::string_view whole(timed);
  DataLogReader reader;
  ASSERT_EQ(reader.start(whole), DataLogStatus::kRead);
  std::vector<DataLogRecord> records;
  ASSERT_EQ(read_all(reader, lines, records), DataLogStatus::kEnd) << reader.error_message();
  ASSERT_EQ(records.size(), 6u);
  EXPECT_EQ(records[1].values[0], -4);
  EXPECT_EQ(records[2].values[0], -32768);
  EXPECT_EQ(records[3].values[1], 32767);
  EXPECT_EQ(records[4].kind, DataLogLine::kGap);
  EXPECT_EQ(records[5].values[2], 9);

  for (std::size_t split = 0; split <= 6; ++split) {
    SCOPED_TRACE(split);
    std::size_t at = 0;
    for (std::size_t i = 0; i < split; ++i) {
      at = lines.find('\n', at) + 1;
    }
    std::string_view header(timed);
    DataLogReader second;
    ASSERT_EQ(second.start(header), DataLogStatus::kRead);
    second.resume(1 + static_cast<long long>(split),
                  split == 0 ? std::nullopt : std::optional<int>(records[split - 1].time_ms));
    std::vector<DataLogRecord> rest;
    EXPECT_EQ(read_all(second, std::string_view(lines).substr(at), rest), DataLogStatus::kEnd);
    ASSERT_EQ(rest.size(), 6 - split);
    for (std::size_t i = 0; i < rest.size(); ++i) {
      EXPECT_EQ(rest[i].kind, records[split + i].kind);
      EXPECT_EQ(rest[i].time_ms, records[split + i].time_ms);
      if (rest[i].kind == DataLogLine::kSample) {
        EXPECT_EQ(rest[i].values, records[split + i].values);
      }
    }
    EXPECT_EQ(second.lines_read(), 7);
  }

  // Resumed after time 15, a line of the same width going back is refused
  // by the number the whole log gives it.
  std::string_view header(timed);
  DataLogReader resumed;
  ASSERT_EQ(resumed.start(header), DataLogStatus::kRead);
  resumed.resume(7, 15);
  std::vector<DataLogRecord> none;
  EXPECT_EQ(read_all(resumed, "     14,     1,     2,     3\r\n", none), DataLogStatus::kTimeBackwards);
  EXPECT_EQ(resumed.error_message(), "line 8: the time goes backwards.");
}

}  // namespace
}  // namespace veltrix::capture
