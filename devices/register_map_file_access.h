#pragma once
// Opening register-map files for load and save. Only regular files are
// register-map files: a FIFO, a terminal, a device or a folder is refused at
// once, and the open never waits for another program. Why the last load or
// save could not open, read or write its file is kept in plain words (the
// system's error text, or "not a regular file") for the operator's message.
//
// Thread contract: any thread. The reason is kept per thread, like errno:
// ask on the thread that ran the load or save.

#include <cstdio>
#include <string>

namespace veltrix::devices {

enum class MapFileAccess { kRead, kWrite };

// A stream on `path`: kRead reads it as it is, kWrite creates it when
// missing (`created`, when given, tells whether this open did) and leaves
// what it holds until empty_register_map_file, so that a save can check its
// file before it reads the sensor and still leave the file as it was. Null,
// with the reason kept, when it cannot be opened or is not a regular file.
// Clears the reason.
std::FILE* open_register_map_file(const char* path, MapFileAccess access, bool* created = nullptr);

// Empties a file opened with kWrite before anything is written to it; false,
// with the reason kept, when it cannot be.
[[nodiscard]] bool empty_register_map_file(std::FILE* stream);

// Reads all of an open register-map file into `content`, but at most
// kMaxRegisterMapFileBytes + 1 bytes: enough to tell that a file is too large
// to be a register map without reading all of it. False, with the reason
// kept, when the read fails.
[[nodiscard]] bool read_register_map_content(std::FILE* stream, std::string& content);

// Keeps the reason for a read or write of an open register-map file that
// failed with `error` (an errno value).
void keep_register_map_file_problem(int error);

// The reason kept by the last call on this thread of either function above;
// "" after an open that succeeded with nothing failing since.
const std::string& register_map_file_problem();

}  // namespace veltrix::devices
