#include "capture/log_overview.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace veltrix::capture {

namespace {

constexpr char kMagic[8] = {'V', 'X', 'O', 'V', 'R', 'V', 'W', '\0'};
constexpr char kEndMagic[8] = {'V', 'X', 'O', 'V', 'R', 'E', 'N', 'D'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 24;
constexpr std::size_t kTrailerBytes = 80;
constexpr std::size_t kCheckedBytes = 64 * 1024;
constexpr std::size_t kWriteBytes = 4096;
// An overview is a few percent of its log; a file far larger is not one.
constexpr std::int64_t kLargestOverview = std::int64_t{1} << 31;

constexpr std::uint64_t kCheckBasis = 0xcbf29ce484222325ULL;
constexpr std::uint64_t kCheckPrime = 0x100000001b3ULL;

std::uint64_t check(std::uint64_t hash, const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ static_cast<unsigned char>(data[i])) * kCheckPrime;
  }
  return hash;
}

void put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  }
}

std::uint64_t get(const char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(at[i]);
  }
  return value;
}

int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Fills `buffer` from `offset`; false on an error or a short read.
bool read_exactly(int fd, std::int64_t offset, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n =
        ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The check of `size` bytes of the file from `offset`, or nullopt when they
// cannot be read.
std::optional<std::uint64_t> check_of_file(int fd, std::int64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  if (!read_exactly(fd, offset, bytes.data(), size)) {
    return std::nullopt;
  }
  return check(kCheckBasis, bytes.data(), size);
}

bool later(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// An open file, closed when it goes.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
};

LogOverviewReading refuse(std::string why) { return {std::nullopt, std::move(why)}; }

}  // namespace

void LogOverviewWriter::Block::clear() {
  lines = 0;
  for (std::size_t c = 0; c < kDataLogMaxValues; ++c) {
    ranges[2 * c] = INT16_MAX;
    ranges[2 * c + 1] = INT16_MIN;
  }
}

std::string log_overview_path(const std::string& data_log_path) {
  std::filesystem::path path(data_log_path);
  return (path.parent_path() / (path.stem().string() + "_overview.bin")).string();
}

int LogOverviewWriter::open(const std::string& path) {
  abandon();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    return errno;
  }
  path_ = path;
  failed_ = false;
  reader_ = DataLogReader();
  started_ = false;
  pending_.clear();
  pending_from_ = 0;
  size_ = 0;
  first_line_ = 0;
  summary_at_.reset();
  lines_ = 0;
  other_lines_ = 0;
  time_ms_ = 0;
  head_check_ = kCheckBasis;
  body_check_ = kCheckBasis;
  if (!tail_) {
    tail_ = std::make_unique<char[]>(kCheckedBytes);
  }
  block_.clear();
  out_.clear();
  return 0;
}

void LogOverviewWriter::add(std::string_view bytes) {
  if (fd_ < 0 || bytes.empty()) {
    return;
  }
  if (size_ < kCheckedBytes) {
    head_check_ = check(head_check_, bytes.data(), std::min<std::size_t>(bytes.size(), kCheckedBytes - size_));
  }
  // Only the last kCheckedBytes count; byte i of the log lives at i modulo that.
  const std::size_t skip = bytes.size() > kCheckedBytes ? bytes.size() - kCheckedBytes : 0;
  const std::size_t at = static_cast<std::size_t>((size_ + skip) % kCheckedBytes);
  const std::size_t kept = bytes.size() - skip;
  const std::size_t first = std::min(kept, kCheckedBytes - at);
  std::memcpy(tail_.get() + at, bytes.data() + skip, first);
  std::memcpy(tail_.get(), bytes.data() + skip + first, kept - first);
  size_ += bytes.size();
  if (failed_) {
    return;
  }
  pending_.append(bytes);
  read_lines();
}

void LogOverviewWriter::read_lines() {
  std::string_view text(pending_);
  if (!started_) {
    const DataLogStatus status = reader_.start(text);
    if (status == DataLogStatus::kCutLine) {
      return;
    }
    if (status != DataLogStatus::kRead) {
      failed_ = true;
      return;
    }
    started_ = true;
    first_line_ = pending_from_ + (pending_.size() - text.size());
    out_.append(kMagic, sizeof kMagic);
    put(out_, kVersion, 4);
    put(out_, kOverviewBlockLines, 4);
    put(out_, static_cast<std::uint64_t>(reader_.columns().value_count), 4);
    put(out_, reader_.columns().has_time ? 1 : 0, 4);
  }
  DataLogRecord record;
  for (;;) {
    const std::uint64_t at = pending_from_ + (pending_.size() - text.size());
    const DataLogStatus status = reader_.next(text, record);
    if (status != DataLogStatus::kRead) {
      failed_ = status != DataLogStatus::kEnd && status != DataLogStatus::kCutLine;
      break;
    }
    if (record.kind == DataLogLine::kSummary) {
      summary_at_ = at;
    } else {
      add_line(at, pending_from_ + (pending_.size() - text.size()), record);
    }
  }
  const std::size_t consumed = pending_.size() - text.size();
  pending_.erase(0, consumed);
  pending_from_ += consumed;
  if (out_.size() >= kWriteBytes) {
    write_out();
  }
}

void LogOverviewWriter::add_line(std::uint64_t offset, std::uint64_t end, const DataLogRecord& record) {
  if (record.kind != DataLogLine::kOtherColumns && reader_.columns().has_time) {
    time_ms_ = record.time_ms;
  }
  Block& block = block_;
  if (block.lines == 0) {
    block.offset = offset;
    block.time_ms = time_ms_;
  }
  if (record.kind == DataLogLine::kSample) {
    for (std::size_t c = 0; c < static_cast<std::size_t>(reader_.columns().value_count); ++c) {
      block.ranges[2 * c] = std::min(block.ranges[2 * c], record.values[c]);
      block.ranges[2 * c + 1] = std::max(block.ranges[2 * c + 1], record.values[c]);
    }
  }
  block.end = end;
  ++block.lines;
  ++lines_;
  other_lines_ += record.kind == DataLogLine::kOtherColumns ? 1 : 0;
  if (block.lines == kOverviewBlockLines) {
    end_block();
  }
}

void LogOverviewWriter::end_block() {
  Block& block = block_;
  put(out_, block.end - block.offset, 4);
  if (reader_.columns().has_time) {
    put(out_, static_cast<std::uint32_t>(block.time_ms), 4);
  }
  for (std::size_t c = 0; c < 2 * static_cast<std::size_t>(reader_.columns().value_count); ++c) {
    put(out_, static_cast<std::uint16_t>(block.ranges[c]), 2);
  }
  block.clear();
}

void LogOverviewWriter::write_out() {
  if (failed_ || out_.empty()) {
    return;
  }
  body_check_ = check(body_check_, out_.data(), out_.size());
  failed_ = write_all(fd_, out_.data(), out_.size()) != 0;
  out_.clear();
}

int LogOverviewWriter::finish() {
  if (fd_ < 0) {
    return EBADF;
  }
  // A last line without its end, or anything the reader refused, is no
  // log read to its end.
  if (failed_ || !started_ || !pending_.empty()) {
    abandon();
    return EINVAL;
  }
  if (block_.lines > 0) {
    end_block();
  }
  write_out();
  const std::size_t tail_size = static_cast<std::size_t>(std::min<std::uint64_t>(size_, kCheckedBytes));
  const std::size_t tail_start = static_cast<std::size_t>((size_ - tail_size) % kCheckedBytes);
  const std::size_t tail_first = std::min(tail_size, kCheckedBytes - tail_start);
  const std::uint64_t tail_check =
      check(check(kCheckBasis, tail_.get() + tail_start, tail_first), tail_.get(), tail_size - tail_first);
  std::string trailer;
  put(trailer, size_, 8);
  put(trailer, summary_at_.value_or(size_), 8);
  put(trailer, first_line_, 8);
  put(trailer, lines_, 8);
  put(trailer, other_lines_, 8);
  put(trailer, static_cast<std::uint64_t>(static_cast<std::int64_t>(time_ms_)), 8);
  put(trailer, head_check_, 8);
  put(trailer, tail_check, 8);
  put(trailer, body_check_, 8);
  trailer.append(kEndMagic, sizeof kEndMagic);
  int error = failed_ ? EIO : write_all(fd_, trailer.data(), trailer.size());
  if (::close(fd_) != 0 && error == 0) {
    error = errno;
  }
  fd_ = -1;
  if (error != 0) {
    (void)::unlink(path_.c_str());
  }
  return error;
}

void LogOverviewWriter::abandon() {
  if (fd_ < 0) {
    return;
  }
  ::close(fd_);
  fd_ = -1;
  (void)::unlink(path_.c_str());
}

LogOverviewReading read_log_overview(const std::string& path, const std::string& log_path) {
  const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  const Fd log{::open(log_path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat file_info {};
  struct stat log_info {};
  if (file.fd < 0 || ::fstat(file.fd, &file_info) != 0) {
    return refuse(std::string("The overview cannot be read: ") + std::strerror(errno) + ".");
  }
  if (log.fd < 0 || ::fstat(log.fd, &log_info) != 0) {
    return refuse(std::string("The log cannot be read: ") + std::strerror(errno) + ".");
  }
  const std::int64_t size = file_info.st_size;
  // Every block holds 64 lines of at least a line end each: its record is
  // smaller than they are.
  const auto frame = static_cast<std::int64_t>(kHeaderBytes + kTrailerBytes);
  if (size < frame || size > std::min<std::int64_t>(kLargestOverview, log_info.st_size + frame)) {
    return refuse("The overview is not one, or was never finished.");
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!read_exactly(file.fd, 0, bytes.data(), bytes.size())) {
    return refuse("The overview cannot be read whole.");
  }
  const char* header = bytes.data();
  const char* trailer = bytes.data() + bytes.size() - kTrailerBytes;
  if (std::memcmp(header, kMagic, sizeof kMagic) != 0 || std::memcmp(trailer + 72, kEndMagic, sizeof kEndMagic) != 0) {
    return refuse("The overview is not one, or was never finished.");
  }
  const std::uint64_t block_lines = get(header + 12, 4);
  const std::uint64_t columns = get(header + 16, 4);
  const std::uint64_t flags = get(header + 20, 4);
  if (get(header + 8, 4) != kVersion || block_lines != kOverviewBlockLines || columns == 0 ||
      columns > kDataLogMaxValues || flags > 1) {
    return refuse("The overview is of another version.");
  }
  if (check(kCheckBasis, bytes.data(), bytes.size() - kTrailerBytes) != get(trailer + 64, 8)) {
    return refuse("The overview is damaged.");
  }
  if (later(log_info.st_mtim, file_info.st_mtim)) {
    return refuse("The log was changed after its overview was written.");
  }
  LogOverview overview;
  overview.value_columns = static_cast<int>(columns);
  overview.has_time = flags == 1;
  const std::uint64_t log_size = get(trailer, 8);
  overview.lines_end = get(trailer + 8, 8);
  overview.first_line = get(trailer + 16, 8);
  overview.lines = get(trailer + 24, 8);
  overview.other_lines = get(trailer + 32, 8);
  const auto last_time = static_cast<std::int64_t>(get(trailer + 40, 8));
  if (log_size != static_cast<std::uint64_t>(log_info.st_size)) {
    return refuse("The log's size is not the one its overview describes.");
  }
  const std::size_t record = 4 + (overview.has_time ? 4 : 0) + 4 * columns;
  const std::size_t body = bytes.size() - kHeaderBytes - kTrailerBytes;
  const std::uint64_t blocks = (overview.lines + kOverviewBlockLines - 1) / kOverviewBlockLines;
  if (body % record != 0 || body / record != blocks || overview.first_line > overview.lines_end ||
      overview.lines_end > log_size || overview.other_lines > overview.lines || last_time < INT_MIN ||
      last_time > INT_MAX) {
    return refuse("The overview contradicts itself.");
  }
  const std::size_t head = static_cast<std::size_t>(std::min<std::uint64_t>(log_size, kCheckedBytes));
  const std::optional<std::uint64_t> head_check = check_of_file(log.fd, 0, head);
  const std::optional<std::uint64_t> tail_check =
      check_of_file(log.fd, static_cast<std::int64_t>(log_size - head), head);
  if (head_check != get(trailer + 48, 8) || tail_check != get(trailer + 56, 8)) {
    return refuse("The log's first or last bytes are not the ones its overview describes.");
  }
  overview.block_offsets.reserve(blocks);
  if (overview.has_time) {
    overview.block_times.reserve(blocks);
  }
  overview.ranges.reserve(blocks * 2 * columns);
  std::uint64_t offset = overview.first_line;
  for (const char* at = header + kHeaderBytes; at < trailer;) {
    overview.block_offsets.push_back(offset);
    offset += get(at, 4);
    at += 4;
    if (overview.has_time) {
      overview.block_times.push_back(static_cast<std::int32_t>(get(at, 4)));
      at += 4;
    }
    for (std::size_t c = 0; c < 2 * columns; ++c, at += 2) {
      overview.ranges.push_back(static_cast<std::int16_t>(get(at, 2)));
    }
  }
  if (offset != overview.lines_end) {
    return refuse("The overview's blocks do not span the log's lines.");
  }
  if (overview.has_time && overview.lines > 0) {
    overview.last_time_ms = static_cast<int>(last_time);
  }
  return {std::move(overview), {}};
}

}  // namespace veltrix::capture
