// Files written whole or not at all, only where write_target.h allows, and
// the temporaries that takes.
//
// The target is checked first (write_target.h: a regular file or a new name,
// links followed).  The content goes to a temporary file in the target's
// folder, named by the first bytes of the target's name, ".tmp-", the
// process id and a number counted per call ("p.png.tmp-4711-0"): short
// enough for any folder however long the target's name, and unique across
// the threads and processes that write beside each other.  It is renamed
// over the target once complete, with the permissions of the file it
// replaces.  On any failure, an exception from the writer or an interruption
// included, the temporary is removed and the target is left as it was.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace support {

// Writes the temporary file at `temp_path`; false when that failed, with
// `problem` saying how ("cannot write the image (out of memory)").
using TemporaryFileWriter = std::function<bool(const std::string &temp_path, std::string &problem)>;

// Writes `path` through `write`, for libraries that write files by name.
// Errors: those of resolve_write_target; "PATH: PROBLEM" when the writer
// failed ("PATH: cannot write the file" when it gave no problem); "PATH:
// cannot replace the file (REASON)" when the rename failed; "PATH: not
// written (interrupted)" when the interruption flag was set before the file
// was complete.
bool write_file_atomically(const std::string &path, const TemporaryFileWriter &write, std::string &error);

// Writes `bytes` as the content of `path`, with the same errors and the
// system's reason where writing the bytes failed ("PATH: cannot write the
// file (No space left on device)").
bool write_file_atomically(const std::string &path, const std::string &bytes, std::string &error);

// The flag, set from a signal handler, that stops every write not yet
// renamed into place; null for none.
void set_write_interrupt_flag(const std::atomic<bool> *flag);

// The longest part of a target's file name that its temporary's name keeps.
constexpr std::size_t kTemporaryNameKept = 32;

// The file name of the temporary for a target named `name`: its first
// kTemporaryNameKept bytes at most (never part of a UTF-8 character), then
// ".tmp-PROCESS-CALL".
std::string temporary_file_name(const std::string &name, unsigned long process, unsigned long call);

// A folder of this process's own under the system's temporary folder
// ("qvhost-XXXXXX", made by mkdtemp where the system has it), removed with
// everything in it when this object ends.
class PrivateFolder {
public:
    // `prefix` begins the folder's name.  path() is empty when the folder
    // could not be made, with `error` saying why.
    PrivateFolder(const std::string &prefix, std::string &error);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;

    const std::string &path() const { return path_; }

private:
    std::string path_;
};

}  // namespace support
