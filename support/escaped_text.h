// Text from a file or a command line, as a message shows it: one line, with
// every byte that does not print as \xHH.
#pragma once

#include <cstddef>
#include <string>

namespace support {

// Appends `c` as \xHH.
void append_hex_byte(std::string &out, unsigned char c);

// The length of the well-formed UTF-8 sequence (or printing ASCII byte) that
// starts at `i` of `text`, or 0 for a byte escaped_text escapes.
std::size_t utf8_sequence_length(const std::string &text, std::size_t i);

// `text` with control bytes and invalid UTF-8 escaped as \xHH, cut after
// `limit` characters (an escape counts as one) with "...".
std::string escaped_text(const std::string &text, std::size_t limit = std::string::npos);

// `text` escaped, in double quotes.
std::string quoted(const std::string &text);

// How many characters of the user's text a message shows.
constexpr std::size_t kShownLimit = 60;

// The user's text as an error message shows it: escaped, cut to about
// kShownLimit characters.
std::string shown(const std::string &text);
// shown(text) in double quotes.
std::string shown_quoted(const std::string &text);
// A file name as a message shows it: escaped the same way, never cut.
std::string shown_path(const std::string &path);

// A message of the reference host that repeats the user's text, as qvhost
// prints it: `given` (a path or name the user gave, where the message holds
// it) and every quoted item ("..." anywhere, '...' where a word starts) as
// shown() shows them, and the rest with control bytes and invalid UTF-8
// escaped.
std::string shown_message(const std::string &message, const std::string &given = "");
// A message that starts with a file's path ("PATH: reason"): the path
// whole, as shown_path shows it, and the rest as shown_message shows it.
std::string shown_path_error(const std::string &error, const std::string &path);

}  // namespace support
