// What the commands that write files share: the rule each checks before it
// starts, and how a write's error is shown.
//
// The rule, for every file a command writes:
// - the name fits what is written: a picture ends in its format's extension;
//   a scene never ends in .toml (every .toml file is read as a network) nor
//   in a picture's extension, and a network never in a picture's;
// - the file is none of the command's inputs (its network file, the module),
//   named by the same path or through a link;
// - it may be written at all (support/write_target.h): a regular file or a
//   new name in a folder that exists, a link followed to the file it names;
//   a directory, a device, a FIFO or a socket is refused.
// support's atomic writer checks the last again as it writes.
#pragma once

#include "qvhost/commands/commands.h"
#include "support/escaped_text.h"

#include <string>
#include <vector>

namespace qvhost {

// What a command writes (the rows of output_files.cpp).
enum class Written { image, chart, drawing, preview, scene, network };

// Checks the file `path` that `option` names ("-o", "--scene") against the
// rule.  0, or the exit code after one error line: 2 for a name that does
// not fit or an input, 1 for a file that cannot be written.  `target`, where
// given, receives the file the write lands on (links followed).
int check_output(const Context &ctx, const std::string &option, const std::string &path, Written what,
                 const std::vector<std::string> &inputs, std::string *target = nullptr);

// The inputs of a command on a network file: the file (unless it is standard
// input) and the module.
std::vector<std::string> network_inputs(const Context &ctx, const std::string &network);

using support::shown_path_error;

}  // namespace qvhost
