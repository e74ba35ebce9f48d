#pragma once
// A fresh folder under /tmp for one test, removed with everything in it when
// the object goes (write permission is given back first, so a test may leave
// it read-only).
//
// Thread contract: one owner; path() may be read from any thread.

#include <filesystem>
#include <string>

namespace veltrix::test {

class TempFolder {
 public:
  // `tag` becomes part of the name: /tmp/veltrix-<tag>-XXXXXX.
  explicit TempFolder(const std::string& tag = "test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Empty when the folder could not be made (the test has then failed).
  const std::filesystem::path& path() const { return path_; }
  bool made() const { return !path_.empty(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace veltrix::test
