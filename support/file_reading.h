// Files read whole, one way for every reader on the host side: regular files
// only (a directory, a FIFO or a device is refused before anything opens
// it: opening a FIFO waits for a writer, and /dev/zero never ends), and no
// more than a size limit, so that a wrong file name cannot fill the memory.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace support {

// The largest file read_whole_file reads unless told otherwise.
constexpr std::uintmax_t kFileSizeLimit = std::uintmax_t{256} << 20;

// Reads the whole of `path` into `content`.  False with `problem` saying
// why, without the path, for the caller's message: "cannot open the file",
// "not a regular file", "larger than LIMIT bytes", "cannot read the file",
// "not enough memory to read it", "read only N of its M bytes" (the file
// was cut while it was read).  A read that fails part way never gives a
// shorter text: `content` is untouched unless the whole file was read.
bool read_whole_file(const std::string &path, std::string &content, std::string &problem,
                     std::uintmax_t limit = kFileSizeLimit);

// Reads what a stream holds up to its end (standard input, say), within the
// same limit and with the same guarantees ("cannot read it" when the
// stream fails).
bool read_whole_stream(std::istream &in, std::string &content, std::string &problem,
                       std::uintmax_t limit = kFileSizeLimit);

// The extension of the file a path names, in lower case with its dot
// (".png" for "out/Demo.PNG"); "" for none.  Every check of a file's kind by
// its name compares this.
std::string file_extension(const std::string &path);

}  // namespace support
