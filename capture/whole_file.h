#pragma once
// Replacing a small file so that a reader finds the old content or the new,
// never a part: the text goes to "<path>.tmp" beside it and is renamed over
// `path`.
//
// Thread contract: a pure function of its arguments and the file system; two
// writers of the same path at once are not supported.

#include <string>
#include <string_view>

namespace veltrix::capture {

// 0, or the errno of the step that failed; the temporary file is then gone
// and `path` is as it was.
int replace_file_whole(const std::string& path, std::string_view text);

}  // namespace veltrix::capture
