// Files written whole or not at all.  The content goes to a temporary file
// beside the target, "PATH.tmp-PID-N" (the process id and a number counted
// per call, so that threads and processes can write beside each other), and
// that file is renamed over the target once it is complete.  On any failure,
// an exception from the writer included, the temporary is removed and the
// target is left as it was.
#pragma once

#include <functional>
#include <string>

namespace support {

// Writes the temporary file at `temp_path`; false when that failed, with
// `problem` saying how ("cannot write the image (out of memory)").
using TemporaryFileWriter = std::function<bool(const std::string &temp_path, std::string &problem)>;

// Writes `path` through `write`, for libraries that write files by name.
// Errors: "PATH: PROBLEM" when the writer failed ("PATH: cannot write the
// file" when it gave no problem), "PATH: cannot replace the file (REASON)"
// when the rename failed.
bool write_file_atomically(const std::string &path, const TemporaryFileWriter &write, std::string &error);

// Writes `bytes` as the content of `path`, with the same errors.
bool write_file_atomically(const std::string &path, const std::string &bytes, std::string &error);

}  // namespace support
