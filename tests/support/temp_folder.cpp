#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace veltrix::test {

TempFolder::TempFolder(const std::string& tag) {
  std::string pattern = "/tmp/veltrix-" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
    return;
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  if (path_.empty()) {
    return;
  }
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace veltrix::test
