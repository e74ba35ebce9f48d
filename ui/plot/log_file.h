#pragma once
// A data log on disk, read in pieces with pread: never whole, never mapped.
//
// A mapping would save one copy per byte, but a file that shrinks under its
// mapping (a capture cut back to its last whole line, a removable disk pulled
// out) turns the next access into SIGBUS, which only a process-wide signal
// handler could survive. pread turns the same events into a short read or an
// errno, which the indexer reports as a message; the copy into a 4 MB buffer
// costs far less than parsing the bytes. The page cache holds what the
// kernel likes, so a log bigger than memory reads like any other.
//
// Thread contract: open and close on one thread while no read runs; size and
// read_at may run on several threads at once (pread keeps no file position).

#include <cstdint>
#include <span>
#include <string>

namespace veltrix::ui::plot {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // "" when open, else why not: the system's error text, or "not a regular
  // file" for a FIFO, a device or a folder (refused at once, never waited on).
  std::string open(const std::string& path);
  void close();
  bool is_open() const { return fd_ >= 0; }

  // The file's size now (it may grow or shrink between calls), or -errno.
  std::int64_t size() const;
  // Fills `buffer` from `offset` up to the end of the file: the bytes read
  // (fewer at the end), or -errno.
  std::int64_t read_at(std::int64_t offset, std::span<char> buffer) const;

 private:
  int fd_ = -1;
};

}  // namespace veltrix::ui::plot
