#include "support/escaped_text.h"

namespace support {

std::size_t utf8_sequence_length(const std::string &text, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) return 1;
    if (c < 0xC2 || c > 0xF4) return 0;
    const std::size_t want = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + want > text.size()) return 0;
    for (std::size_t k = 1; k < want; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
    const unsigned char c1 = static_cast<unsigned char>(text[i + 1]);
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
        return 0;
    return want;
}

void append_hex_byte(std::string &out, unsigned char c) {
    static const char kHexDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
}

std::string escaped_text(const std::string &text, std::size_t limit) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++chars) {
        if (chars == limit) {
            out += "...";
            break;
        }
        const std::size_t len = utf8_sequence_length(text, i);
        if (len == 0) {
            append_hex_byte(out, static_cast<unsigned char>(text[i]));
            i += 1;
        } else {
            out.append(text, i, len);
            i += len;
        }
    }
    return out;
}

std::string quoted(const std::string &text) { return "\"" + escaped_text(text) + "\""; }

std::string shown(const std::string &text) { return escaped_text(text, kShownLimit); }
std::string shown_quoted(const std::string &text) { return "\"" + shown(text) + "\""; }
std::string shown_path(const std::string &path) { return escaped_text(path); }

std::string shown_message(const std::string &message, const std::string &given) {
    std::string out;
    std::size_t i = 0;
    const std::size_t at = given.empty() ? std::string::npos : message.find(given);
    while (i < message.size()) {
        if (i == at) {
            out += shown(given);
            i += given.size();
            continue;
        }
        // A quoted item: "..." anywhere, '...' where a word starts.
        const char c = message[i];
        const bool opens = c == '"' || (c == '\'' && (i == 0 || message[i - 1] == ' ' || message[i - 1] == '('));
        const std::size_t close = opens ? message.find(c, i + 1) : std::string::npos;
        if (close != std::string::npos && (at == std::string::npos || at < i || at > close)) {
            out += c + shown(message.substr(i + 1, close - i - 1)) + c;
            i = close + 1;
            continue;
        }
        // Up to the next quote or the given text, escaped but not cut.
        std::size_t next = message.find_first_of("\"'", i + 1);
        if (at != std::string::npos && at > i && at < next) next = at;
        if (next == std::string::npos) next = message.size();
        out += escaped_text(message.substr(i, next - i));
        i = next;
    }
    return out;
}

std::string shown_path_error(const std::string &error, const std::string &path) {
    if (!path.empty() && error.compare(0, path.size(), path) == 0)
        return shown_path(path) + shown_message(error.substr(path.size()));
    return shown_message(error, path);
}

}  // namespace support
