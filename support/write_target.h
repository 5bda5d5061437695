// Where a file may be written: the rule every write on the host side
// follows, checked before anything is written.
//
// - A regular file is replaced; a new name is created in a folder that
//   exists.
// - A symbolic link is followed to the file it names (through any number of
//   links, up to a loop): that file is replaced, or created where the link
//   names a new file, and the link itself stays as it was.
// - A directory, a device, a FIFO or a socket is refused, named or linked to.
#pragma once

#include <string>

namespace support {

// The file a write to `path` lands on, links followed: `target` is `path`
// itself where no link is met.  False with `error` as "PATH: cannot replace
// the file (it is a directory, not a regular file)", "PATH: cannot replace
// the file (it links to TARGET, a device, not a regular file)", "PATH: cannot
// write the file (the folder DIR does not exist)", or the system's reason
// ("PATH: cannot write the file (File name too long)").
bool resolve_write_target(const std::string &path, std::string &target, std::string &error);

// Whether two paths name one existing file (links followed, hard links
// alike); false where either does not exist.
bool same_file(const std::string &a, const std::string &b);

}  // namespace support
