#pragma once
// Opening register-map files for load and save. Only regular files are
// register-map files: a FIFO, a terminal, a device or a folder is refused at
// once, and the open never waits for another program. Why a file could not
// be opened, read or written is given in plain words (the system's error
// text, or "not a regular file") for the operator's message, in the
// `problem` the caller passes.
//
// Thread contract: any thread.

#include <cstdio>
#include <string>

namespace veltrix::devices {

enum class MapFileAccess { kRead, kWrite };

// A stream on `path`: kRead reads it as it is, kWrite creates it when
// missing (`created`, when given, tells whether this open did) and leaves
// what it holds until empty_register_map_file, so that a save can check its
// file before it reads the sensor and still leave the file as it was. Null,
// with the reason in `problem`, when it cannot be opened or is not a regular
// file.
std::FILE* open_register_map_file(const char* path, MapFileAccess access, std::string& problem,
                                  bool* created = nullptr);

// Empties a file opened with kWrite before anything is written to it; false,
// with the reason in `problem`, when it cannot be.
[[nodiscard]] bool empty_register_map_file(std::FILE* stream, std::string& problem);

// Reads all of an open register-map file into `content`, but at most
// kMaxRegisterMapFileBytes + 1 bytes: enough to tell that a file is too large
// to be a register map without reading all of it. False, with the reason in
// `problem`, when the read fails.
[[nodiscard]] bool read_register_map_content(std::FILE* stream, std::string& content, std::string& problem);

// The reason for a read or write of a register-map file that failed with
// `error` (an errno value).
[[nodiscard]] std::string register_map_file_problem(int error);

}  // namespace veltrix::devices
