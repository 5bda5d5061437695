// Text from a file or a command line, as a message shows it: one line, with
// every byte that does not print as \xHH.
#pragma once

#include <string>

namespace refhost {

// Appends `c` as \xHH.
void append_hex_byte(std::string &out, unsigned char c);

// `text` with control bytes and invalid UTF-8 escaped as \xHH, cut after
// `limit` characters (an escape counts as one) with "...".
std::string escaped_text(const std::string &text, std::size_t limit = std::string::npos);

// `text` escaped, in double quotes.
std::string quoted(const std::string &text);

}  // namespace refhost
