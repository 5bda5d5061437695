#include "support/escaped_text.h"

namespace refhost {

namespace {

// The length of the well-formed UTF-8 sequence (or printing ASCII byte) that
// starts at `i`, or 0.
std::size_t sequence_length(const std::string &text, std::size_t i) {
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

}  // namespace

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
        const std::size_t len = sequence_length(text, i);
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

}  // namespace refhost
